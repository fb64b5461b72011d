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

// Writes the flattened picture through a work file: Unreadable when ImageMagick cannot
// read the file, Failed when the output cannot be written.
Outcome flatten_into(RunContext& ctx, const std::string& input, const std::string& output) {
    Outcome outcome{Result::Unreadable, {}};
    InputFile in;
    if (!in.open(input, outcome.reason)) return outcome;
    outcome.result = Result::Failed;
    OutputWork work(output);
    if (!work.open(outcome.reason)) return outcome;
    ArgVector args("Tarvik");
    args.push_back(in.item("PSD"));
    args.push_back("-flatten");
    build_output_options(ctx.job, args);
    args.push_back("JPEG:" + work.descriptor_path());
    if (!magick::convert_command(args.count(), args.argv(), outcome.reason)) {
        return {Result::Unreadable, in.named(outcome.reason)};
    }
    outcome.result = work.commit(replaces_outputs(ctx.job), outcome.reason);
    return outcome;
}

}  // namespace

Outcome convert_photoshop(RunContext& ctx, const std::string& source, const OutputName& output) {
    // One picture per source: a numbered name is written as its first number.
    const std::string path = output.for_number(0);
    const std::string input = absolute_path(source);
    if (auto settled = settle_output(ctx.job, path, input)) return std::move(*settled);
    ctx.link.status("Reading...");
    const Outcome outcome = flatten_into(ctx, input, path);
    if (outcome.result == Result::Written) report_full_progress(ctx);
    return outcome;
}

}  // namespace morvane
