// Camera-raw sources: the decoder module Tcrw.so turns the file into a portable anymap
// at half size, ImageMagick makes a JPEG of it at its default settings. Nothing else of
// the job (quality, progressive, size, watermark) applies to these sources.

#include <optional>
#include <string>

#include "arg_vector.h"
#include "converters.h"
#include "job_settings.h"
#include "magick_adapter.h"
#include "modules.h"
#include "output_files.h"
#include "tcrw.h"

namespace morvane {

namespace {

// The decoder's entry, or null with the reason for the log.
tcrw_decode_fn find_decoder(RunContext& ctx, std::string& reason) {
    std::string error = "no module folder is known to this run";
    void* entry =
        ctx.modules != nullptr ? ctx.modules->entry(kTcrwModule, kTcrwEntry, error) : nullptr;
    if (entry == nullptr) {
        reason =
            std::string("the camera-raw decoder ") + kTcrwModule + " cannot be loaded: " + error;
    }
    return reinterpret_cast<tcrw_decode_fn>(entry);
}

// The decoded picture, or null with the reason set.
magick::ImageList decode(tcrw_decode_fn decoder, const std::string& source, std::string& reason) {
    ArgVector args("Tarvik");
    args.push_back("-h");  // half size: each side halved
    args.push_back(source);
    unsigned char* data = nullptr;
    const std::size_t length = decoder(args.count(), args.argv(), &data);
    if (length == 0 || data == nullptr) {
        reason = "the camera-raw decoder cannot read the file";
        return nullptr;
    }
    // The bytes belong to the module and stay valid until its next call.
    const magick::Exception exception = magick::new_exception();
    magick::ImageList image = magick::read_anymap(data, length, exception);
    if (!image) reason = "the decoded picture cannot be read: " + magick::reason_text(exception);
    return image;
}

Outcome write_jpeg(const RunContext& ctx, const magick::ImageList& image,
                   const std::string& output) {
    const magick::ImageInfo defaults = magick::new_image_info();
    const magick::Exception exception = magick::new_exception();
    std::size_t size = 0;
    const magick::Blob jpeg = magick::encode_jpeg(defaults, image.get(), size, exception);
    if (!jpeg) {
        return {Result::Failed,
                "the image cannot be encoded as JPEG: " + magick::reason_text(exception)};
    }
    Outcome outcome;
    outcome.result =
        write_output_file(output, jpeg.get(), size, replaces_outputs(ctx.job), outcome.reason);
    return outcome;
}

}  // namespace

Outcome convert_camera_raw(RunContext& ctx, const std::string& source, const OutputName& output) {
    // One picture per source: a numbered name is written as its first number.
    const std::string path = output.for_number(0);
    if (auto settled = settle_output(ctx.job, path, source)) return std::move(*settled);
    std::string reason;
    const tcrw_decode_fn decoder = find_decoder(ctx, reason);
    if (decoder == nullptr) return {Result::Failed, reason};
    const magick::ImageList image = decode(decoder, source, reason);
    if (!image) return {Result::Failed, reason};
    return write_jpeg(ctx, image, path);
}

}  // namespace morvane
