#include "plain_codecs.h"

#include <array>
#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>
#include <png.h>

#include "plain_codecs_pvt.h"
#include "plain_jpeg_source.h"
#include "plain_png_source.h"

namespace morvane::codec {

namespace {

[[noreturn]] void jpeg_error_exit(j_common_ptr cinfo) {
    std::longjmp(reinterpret_cast<JpegError*>(cinfo->err)->jump, 1);
}

void jpeg_message(j_common_ptr cinfo, int level) {
    // A warning (level -1) means ImageMagick might read the file otherwise.
    if (level < 0) std::longjmp(reinterpret_cast<JpegError*>(cinfo->err)->jump, 1);
}

// A resolution beyond the JFIF header's 16 bits is written by ImageMagick in a way not
// reproduced here.
bool fits_jfif(const SourceInfo& info) {
    return info.x_resolution < 65536 && info.y_resolution < 65536;
}

}  // namespace

void quiet_errors(JpegError& error) {
    (void)jpeg_std_error(&error.manager);
    error.manager.error_exit = jpeg_error_exit;
    error.manager.emit_message = jpeg_message;
}

std::unique_ptr<Source> open_source(const std::string& path, std::optional<Box> jpeg_scale_box) {
    File file(std::fopen(path.c_str(), "rbe"));
    if (!file) return nullptr;
    std::array<unsigned char, 8> head{};
    const std::size_t got = std::fread(head.data(), 1, head.size(), file.get());
    if (got < 3 || std::fseek(file.get(), 0, SEEK_SET) != 0) return nullptr;
    std::unique_ptr<Source> source;
    if (head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF) {
        source = open_jpeg_source(std::move(file), jpeg_scale_box);
    } else if (got == head.size() && png_sig_cmp(head.data(), 0, head.size()) == 0) {
        source = open_png_source(std::move(file));
    }
    if (source && fits_jfif(source->info())) return source;
    return nullptr;
}

}  // namespace morvane::codec
