#include "watermark.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

#include "fd_io.h"
#include "fonts.h"
#include "job_settings.h"
#include "magick_adapter.h"
#include "output_options.h"
#include "path_util.h"
#include "watermark_locations.h"

namespace morvane {
namespace {

// "#rrggbbe6": the Windows colour layout (red in the lowest byte) at 90 % opacity.
std::string fill_colour(std::uint32_t colour) {
    char text[16];
    std::snprintf(text, sizeof text, "#%02x%02x%02xe6", colour & 0xFF, (colour >> 8) & 0xFF,
                  (colour >> 16) & 0xFF);
    return text;
}

// The watermark step's own copy of a picture, "tmp.jpg" in the temporary folder,
// created afresh (never through a link or over a file someone else left there) and
// removed on every way out.
class TempPicture {
  public:
    explicit TempPicture(RunContext& ctx) {
        if (ctx.temp.folder.empty()) return;
        path_ = ctx.temp.folder + "/tmp.jpg";
        tidy_path(path_);
        ctx.temp.add(path_);
    }
    TempPicture(const TempPicture&) = delete;
    TempPicture& operator=(const TempPicture&) = delete;
    ~TempPicture() {
        if (!path_.empty()) (void)::unlink(path_.c_str());
    }

    [[nodiscard]] const std::string& path() const { return path_; }

    // Writes the bytes; false with `reason` set.
    bool write(const void* data, std::size_t size, std::string& reason) {
        if (path_.empty()) {
            reason = "there is no temporary folder for the watermark work file";
            return false;
        }
        (void)::unlink(path_.c_str());
        UniqueFd fd(
            ::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        const bool done = fd && write_all(fd.get(), data, size) && fd.close();
        if (!done) {
            reason =
                "the watermark work file " + path_ + " cannot be written: " + std::strerror(errno);
        }
        return done;
    }

  private:
    std::string path_;
};

// Composites the watermark over `picture` into `output` through a work file beside it.
Outcome composite_into(RunContext& ctx, const std::string& picture, const std::string& output,
                       bool replace) {
    Outcome outcome;
    OutputWork work(output);
    if (!work.open(outcome.reason)) return outcome;
    ArgVector args = composite_arguments(ctx.job, absolute_path(ctx.job.watermark_file), picture,
                                         "JPEG:" + work.descriptor_path());
    if (!magick::composite_command(args.count(), args.argv(), outcome.reason)) {
        outcome.reason = "the watermark cannot be put on " + output + ": " + outcome.reason;
        return outcome;
    }
    outcome.result = work.commit(replace, outcome.reason);
    return outcome;
}

}  // namespace

const char* location_name(int location) {
    if (location < 0 || location >= static_cast<int>(kWatermarkLocations.size())) location = 0;
    return kWatermarkLocations[static_cast<std::size_t>(location)];
}

const std::string& watermark_font_file() {
    static const std::string file = font_file_for("Arial");
    return file;
}

std::string draw_text_item(const std::string& text) {
    std::string item = "text 50,50 '";
    for (const char c : text) {
        if (c == '\'' || c == '\\') item.push_back('\\');
        item.push_back(c);
    }
    item.push_back('\'');
    return item;
}

void append_text_watermark(const JobSettings& job, ArgVector& args) {
    // A grayscale picture would turn the coloured text gray; alpha stays for the white
    // background it gets later.
    args.push_back("-type");
    args.push_back("TrueColorMatte");
    if (!watermark_font_file().empty()) {
        args.push_back("-font");
        args.push_back(watermark_font_file());
    }
    args.push_back("-pointsize");
    args.push_back("48");
    args.push_back("-fill");
    args.push_back(fill_colour(job.watermark_color));
    args.push_back("-gravity");
    args.push_back(location_name(job.watermark_location));
    args.push_back("-draw");
    args.push_back(draw_text_item(job.watermark_txt));
}

ArgVector composite_arguments(const JobSettings& job, const std::string& watermark,
                              const std::string& picture, const std::string& output) {
    ArgVector args("Tarvik_morvane");
    if (job.watermark_tile == 1) args.push_back("-tile");
    args.push_back("-compose");
    args.push_back("Over");
    args.push_back("-dissolve");
    args.push_back(std::to_string(100 - std::clamp(job.watermark_dissolve, 0, 100)));
    if (job.watermark_tile != 1) {
        args.push_back("-gravity");
        args.push_back(location_name(job.watermark_location));
    }
    // The composite writes the output itself: in colour, whatever the picture was, and
    // with the job's JPEG settings.
    args.push_back("-type");
    args.push_back("TrueColor");
    append_quality(job, "Line", args);
    args.push_back(watermark);
    args.push_back(picture);
    args.push_back(output);
    return args;
}

Outcome watermark_output_file(RunContext& ctx, const std::string& output) {
    if (!magick::can_read(absolute_path(ctx.job.watermark_file))) {
        return {Result::Skipped,
                "the watermark image " + ctx.job.watermark_file + " cannot be read"};
    }
    TempPicture copy(ctx);
    std::FILE* in = std::fopen(output.c_str(), "rb");
    if (in == nullptr) {
        return {Result::Failed,
                "the output " + output + " cannot be read: " + std::strerror(errno)};
    }
    std::string bytes;
    char buffer[65536];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, in)) > 0;) {
        bytes.append(buffer, got);
    }
    std::fclose(in);
    Outcome outcome;
    if (!copy.write(bytes.data(), bytes.size(), outcome.reason)) return outcome;
    return composite_into(ctx, copy.path(), output, true);
}

Outcome write_watermarked_image(RunContext& ctx, _Image* image, const std::string& output) {
    if (!magick::can_read(absolute_path(ctx.job.watermark_file))) return {Result::Skipped, {}};
    // A coloured watermark keeps its colour on a grayscale picture; a transparent area
    // becomes white before the picture is a JPEG.
    magick::make_rgb(image);
    magick::flatten_onto_white(image);
    const magick::Exception exception = magick::new_exception();
    std::size_t size = 0;
    const magick::Blob jpeg = magick::encode_default_jpeg(image, size, exception);
    if (!jpeg) {
        return {Result::Failed,
                "the image cannot be encoded as JPEG: " + magick::reason_text(exception)};
    }
    Outcome outcome;
    TempPicture picture(ctx);
    if (!picture.write(jpeg.get(), size, outcome.reason)) return outcome;
    return composite_into(ctx, picture.path(), output, replaces_outputs(ctx.job));
}

}  // namespace morvane
