#include "raster.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <utility>

#include <unistd.h>

#include "converters.h"
#include "job_settings.h"
#include "log_file.h"
#include "magick_adapter.h"
#include "monitor_link.h"
#include "output_files.h"
#include "output_options.h"
#include "path_util.h"
#include "plain_path.h"
#include "text_util.h"
#include "watermark.h"

namespace morvane {

namespace {

constexpr const char* kPathTooLong = "the path is longer than Linux allows";
// Some readers give up on a damaged file without saying why.
constexpr const char* kNothingRead =
    "no picture could be read; the file may be truncated or damaged";

// One raster conversion: the records, the image list and the names it works with.
struct Raster {
    Raster(RunContext& context, const std::string& given, const OutputName& name)
        : ctx(context), source(given), input(absolute_path(given)), output(name) {}

    RunContext& ctx;
    const std::string& source;  // as given; the log names it so
    std::string input;          // the absolute path ImageMagick reads
    OutputName output;
    std::size_t counted = 0;  // images counted before reading, 0 when not counted
    bool report_progress = true;
    bool image_watermark = true;  // the job's image watermark applies to the outputs
    magick::Exception exception = magick::new_exception();
    magick::ImageInfo info = magick::new_image_info();
    magick::ImageList images;
};

// A GIF or ICO source of several images gets one numbered output per image.
void name_image_series(Raster& r) {
    const std::string ext = split_path(r.source).ext;
    if (r.output.has_placeholder()) return;
    if (!starts_with_ignoring_case(ext, ".gif") && !starts_with_ignoring_case(ext, ".ico")) return;
    const std::size_t count = magick::count_images(r.input);
    if (count <= 1) return;
    r.output = r.output.image_series();
    r.counted = count;
}

// A JPEG source that is to be made smaller is decoded at the smallest of libjpeg's
// scales that still covers the size asked for: the sampling then starts from fewer
// pixels and the result has the same size, at a fraction of the decoding time.
void hint_decode_size(Raster& r) {
    if (const auto box = jpeg_decode_box(r.ctx.job, r.source)) {
        magick::set_jpeg_decode_size(r.info, box->width, box->height);
    }
}

// The overwrite rule and the source's own name, where they settle the source before
// anything is decoded: its one output, or every output of a series counted beforehand.
std::optional<Outcome> settled_before_reading(const Raster& r) {
    if (!r.output.has_placeholder()) return settle_output(r.ctx.job, r.output.path, r.input);
    if (replaces_outputs(r.ctx.job) || r.counted == 0) return std::nullopt;
    for (std::size_t n = 0; n < r.counted; ++n) {
        if (!output_exists(r.output.for_number(static_cast<unsigned>(n)))) return std::nullopt;
    }
    return Outcome{Result::Kept, {}};
}

magick::Interlace interlace_named(const std::string& value) {
    if (magick::same_word(value, "None")) return magick::Interlace::None;
    if (magick::same_word(value, "Line")) return magick::Interlace::Line;
    if (magick::same_word(value, "Plane")) return magick::Interlace::Plane;
    if (magick::same_word(value, "Partition")) return magick::Interlace::Partition;
    return magick::Interlace::Undefined;
}

// Reads one input name of the vector; the options before it apply to what it gives.
void read_input(Raster& r, ArgVector& args, int index) {
    magick::set_file_name(r.info, args[index], r.exception);
    // Without a number in the output name there is one output: the first image.
    if (!r.output.has_placeholder()) magick::read_first_image_only(r.info);
    magick::ImageList read = magick::read_image(r.info, r.exception);
    if (!read) return;  // the exception stays for the failure lines
    // An animated GIF may store a frame as the part that changed; each output is a whole
    // frame. (Icon sets hold pictures of different sizes and stay as they are.)
    if (starts_with_ignoring_case(split_path(r.source).ext, ".gif")) {
        magick::coalesce(read, r.exception);
    }
    if (r.report_progress) r.ctx.link.progress(70);
    magick::apply_options(r.info, index, args.argv(), read, r.exception);
    if (r.report_progress) r.ctx.link.progress(80);
    magick::append_images(r.images, std::move(read));
}

// One option of the walk with its value; false when the value is refused.
bool take_option(Raster& r, const std::string& option, const std::string& value) {
    if (option == "-quality") {
        if (!magick::is_geometry(value)) return false;
        magick::set_quality(r.info, std::strtoul(value.c_str(), nullptr, 10));
    } else if (option == "-interlace") {
        magick::set_interlace(r.info, interlace_named(value));
    } else if (option == "-sample") {
        return magick::is_geometry(value);
    }
    // Any other option (the text-watermark group) takes effect in the closing pass.
    return true;
}

// Walks the items between the program word and the output name; false when an option
// has a bad or missing value.
bool walk_options(Raster& r, ArgVector& args) {
    const int last = args.count() - 1;  // the output name
    for (int i = 1; i < last; ++i) {
        const std::string& item = args[i];
        if (item.size() < 2 || (item[0] != '-' && item[0] != '+')) {
            read_input(r, args, i);
            continue;
        }
        if (i + 1 >= last) return false;
        const std::string& value = args[++i];
        if (!take_option(r, item, value)) return false;
    }
    return true;
}

// ImageMagick names the file it could not write as `JPEG:/proc/self/fd/N'; the log
// names the output instead.
std::string with_output_name(std::string reason, const std::string& descriptor,
                             const std::string& path) {
    for (const std::string& name : {"JPEG:" + descriptor + "'", descriptor + "'"}) {
        for (auto at = reason.find(name); at != std::string::npos; at = reason.find(name, at)) {
            reason.replace(at, name.size(), path + "'");
            at += path.size() + 1;
        }
    }
    return reason;
}

Outcome write_image(Raster& r, _Image* image, const std::string& path) {
    if (auto settled = settle_output(r.ctx.job, path, r.input)) return std::move(*settled);
    if (r.image_watermark && r.ctx.job.watermark_mode == 2) {
        return write_watermarked_image(r.ctx, image, path);
    }
    // A transparent area becomes white, never black.
    magick::flatten_onto_white(image);
    // Encoded straight into a work file beside the output: no copy of the JPEG in memory.
    Outcome outcome;
    OutputWork work(path);
    if (!work.open(outcome.reason)) return outcome;
    errno = 0;
    if (!magick::write_jpeg(r.info, image, work.descriptor_path(), outcome.reason)) {
        // A full disk or a file-size limit is the file's fault, not the picture's.
        const int error = errno;
        if (error == EFBIG || error == ENOSPC || error == EDQUOT || error == EIO) {
            outcome.reason = write_failure(path, error);
        } else {
            outcome.reason =
                with_output_name(std::move(outcome.reason), work.descriptor_path(), path);
        }
        return outcome;
    }
    outcome.result = work.commit(replaces_outputs(r.ctx.job), outcome.reason);
    return outcome;
}

Outcome write_outputs(Raster& r) {
    // A plain name has one output; a numbered one, one per image in list order.
    const std::size_t count = r.output.has_placeholder() ? magick::list_length(r.images) : 1;
    std::size_t written = 0;
    std::size_t kept = 0;
    std::string failure;
    for (std::size_t n = 0; n < count; ++n) {
        r.ctx.link.status("Writing image # " + std::to_string(n + 1) + "...");
        const std::string path = r.output.for_number(static_cast<unsigned>(n));
        const Outcome image = write_image(r, magick::image_at(r.images, n), path);
        // An image left out for an unreadable watermark image still counts as done.
        if (image.done()) ++written;
        if (image.result == Result::Kept) ++kept;
        if (image.result == Result::Failed && failure.empty()) failure = image.reason;
    }
    r.ctx.link.progress(90);
    return outputs_outcome(written, kept, count, {Result::Failed, failure});
}

// "-quality" N, ["-interlace" "Line"], ["-sample" size, with "!" unless the aspect
// ratio is kept].
void push_output_options(const JobSettings& job, ArgVector& args) {
    append_quality(job, "Line", args);
    if (!job.size.empty()) {
        args.push_back("-sample");
        args.push_back(job.aspect_ratio != 0 ? job.size : job.size + "!");
    }
}

}  // namespace

ArgVector raster_arguments(const JobSettings& job, const std::string& source,
                           const std::string& output) {
    ArgVector args("Tarvik");
    args.push_back(source);
    push_output_options(job, args);
    if (job.watermark_mode == 1) append_text_watermark(job, args);
    args.push_back(output);
    return args;
}

ArgVector picture_arguments(const JobSettings& job, const std::string& input,
                            const std::string& output) {
    ArgVector args("Tarvik");
    args.push_back(input);
    push_output_options(job, args);
    args.push_back(output);
    return args;
}

Outcome convert_raster(RunContext& ctx, const std::string& source, const OutputName& output,
                       RasterCodecs codecs) {
    Raster r(ctx, source, output);
    if (r.input.size() > kMaxPathLength) return {Result::Failed, kPathTooLong};
    magick::set_file_name(r.info, r.input, r.exception);
    name_image_series(r);
    hint_decode_size(r);
    ArgVector args = raster_arguments(ctx.job, r.input, r.output.path);
    if (auto settled = settled_before_reading(r)) return std::move(*settled);
    ctx.link.status("Reading...");
    // A plain format change of a JPEG or PNG source needs nothing of ImageMagick.
    if (codecs == RasterCodecs::PlainWhenPossible && !r.output.has_placeholder()) {
        if (auto plain = convert_plain(ctx, r.input, r.output.path)) return std::move(*plain);
    }
    if (!walk_options(r, args)) return {Result::Refused, {}};
    if (!r.images) return {Result::Unreadable, magick::reason_text(r.exception, kNothingRead)};
    // The closing pass: the vector's options on every image read.
    magick::apply_options(r.info, args.count() - 1, args.argv(), r.images, r.exception);
    return write_outputs(r);
}

Outcome convert_picture(RunContext& ctx, const std::string& input, const std::string& output,
                        bool image_watermark) {
    Raster r(ctx, input, OutputName::plain(output));
    r.report_progress = false;
    r.image_watermark = image_watermark;
    if (auto settled = settle_output(ctx.job, output, r.input)) return std::move(*settled);
    magick::set_file_name(r.info, r.input, r.exception);
    ArgVector args = picture_arguments(ctx.job, r.input, output);
    if (!walk_options(r, args)) return {Result::Refused, {}};
    if (!r.images) return {Result::Unreadable, magick::reason_text(r.exception, kNothingRead)};
    magick::apply_options(r.info, args.count() - 1, args.argv(), r.images, r.exception);
    return write_image(r, r.images.get(), output);
}

}  // namespace morvane
