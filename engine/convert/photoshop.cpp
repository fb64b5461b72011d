// Photoshop sources: ImageMagick reads the file and flattens its layers onto one picture
// that becomes the JPEG, with the job's output options, in one convert command.

#include <string>

#include "arg_vector.h"
#include "converters.h"
#include "documents.h"
#include "job_settings.h"
#include "magick_adapter.h"
#include "monitor_link.h"
#include "output_files.h"
#include "output_options.h"
#include "path_util.h"

namespace morvane {

namespace {

// Writes the flattened picture through a work file; `unreadable` tells ImageMagick's
// failures from those of the output file.
WriteStatus flatten_into(RunContext& ctx, const std::string& input, const std::string& output,
                         std::string& reason, bool& unreadable) {
    InputFile in;
    unreadable = true;
    if (!in.open(input, reason)) return WriteStatus::Failed;
    unreadable = false;
    OutputWork work(output);
    if (!work.open(reason)) return WriteStatus::Failed;
    ArgVector args("Tarvik");
    args.push_back(in.item("PSD"));
    args.push_back("-flatten");
    build_output_options(ctx.job, args);
    args.push_back("JPEG:" + work.descriptor_path());
    if (!magick::convert_command(args.count(), args.argv(), reason)) {
        reason = in.named(reason);
        unreadable = true;
        return WriteStatus::Failed;
    }
    return work.commit(ctx.job.erase != 0, reason);
}

}  // namespace

ConvertOutcome convert_photoshop(RunContext& ctx, const std::string& source,
                                 const OutputName& output) {
    // One picture per source: a numbered name is written as its first number.
    const std::string path = output.for_number(0);
    const std::string input = absolute_path(source);
    if (ctx.job.erase == 0 && output_exists(path)) return {kOutputExists, {}};
    if (is_same_file(path, input)) return {kNotConverted, kReplacesSource};
    ctx.link.status("Reading...");
    std::string reason;
    bool unreadable = false;
    const WriteStatus status = flatten_into(ctx, input, path, reason, unreadable);
    if (status == WriteStatus::Exists) return {kOutputExists, {}};
    if (status != WriteStatus::Written) {
        if (!unreadable) return {kNotConverted, reason};
        log_unreadable(ctx, source, reason);
        return {kNotConverted, {}};
    }
    report_full_progress(ctx);
    return {kConverted, {}};
}

}  // namespace morvane
