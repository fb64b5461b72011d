#include "plain_png_source.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <csetjmp>
#include <cstdio>
#include <string_view>

#include <strings.h>

#include <png.h>

// libjpeg and libpng report errors by longjmp. Every call that may jump is made from a
// function of its own that holds the setjmp and nothing with a destructor.

namespace morvane::codec {

namespace {

struct PngIn {
    png_structp png = nullptr;
    png_infop info = nullptr;
    png_infop end = nullptr;
    bool warned = false;
};

[[noreturn]] void png_error_exit(png_structp png, png_const_charp /*message*/) {
    png_longjmp(png, 1);
}

void png_warning_seen(png_structp png, png_const_charp /*message*/) {
    static_cast<PngIn*>(png_get_error_ptr(png))->warned = true;
}

bool png_open(PngIn* in, std::FILE* file) {
    in->png = png_create_read_struct(PNG_LIBPNG_VER_STRING, in, png_error_exit, png_warning_seen);
    if (in->png == nullptr) return false;
    in->info = png_create_info_struct(in->png);
    in->end = png_create_info_struct(in->png);
    if (in->info == nullptr || in->end == nullptr) return false;
    if (setjmp(png_jmpbuf(in->png)) != 0) return false;
    png_init_io(in->png, file);
    png_read_info(in->png, in->info);
    return !in->warned;
}

bool png_begin(PngIn* in) {
    if (setjmp(png_jmpbuf(in->png)) != 0) return false;
    if (png_get_color_type(in->png, in->info) == PNG_COLOR_TYPE_PALETTE) {
        png_set_palette_to_rgb(in->png);
    }
    png_read_update_info(in->png, in->info);
    return !in->warned;
}

bool png_rows(PngIn* in, unsigned char* rows, unsigned count, std::size_t stride) {
    if (setjmp(png_jmpbuf(in->png)) != 0) return false;
    for (unsigned i = 0; i < count; ++i) png_read_row(in->png, rows + i * stride, nullptr);
    return !in->warned;
}

bool png_end(PngIn* in) {
    if (setjmp(png_jmpbuf(in->png)) != 0) return false;
    png_read_end(in->png, in->end);
    return !in->warned;
}

// Text that ImageMagick keeps as a property and never writes into a JPEG file, nor
// reads as a setting of the picture (a key such as "density" or "comment" would be).
bool harmless_text_key(const char* key) {
    static constexpr std::array<std::string_view, 10> kKeys = {
        "title",    "author",     "description", "copyright", "creation time",
        "software", "disclaimer", "warning",     "source",    "signature"};
    if (::strncasecmp(key, "date:", 5) == 0) return true;
    return std::any_of(kKeys.begin(), kKeys.end(), [key](std::string_view k) {
        return std::strlen(key) == k.size() && ::strncasecmp(key, k.data(), k.size()) == 0;
    });
}

bool harmless_texts(png_structp png, png_infop info) {
    png_textp texts = nullptr;
    int count = 0;
    (void)png_get_text(png, info, &texts, &count);
    for (int i = 0; i < count; ++i) {
        if (!harmless_text_key(texts[i].key)) return false;
    }
    return true;
}

class PngSource final : public Source {
  public:
    explicit PngSource(File file) : file_(std::move(file)) {}
    ~PngSource() override { png_destroy_read_struct(&in_.png, &in_.info, &in_.end); }
    PngSource(const PngSource&) = delete;
    PngSource& operator=(const PngSource&) = delete;

    bool open() {
        if (!png_open(&in_, file_.get()) || !plain_header() || !plain_chunks()) return false;
        take_resolution();
        take_profile();
        if (!png_begin(&in_)) return false;
        info_.width = png_get_image_width(in_.png, in_.info);
        info_.height = png_get_image_height(in_.png, in_.info);
        info_.components = png_get_channels(in_.png, in_.info);
        stride_ = png_get_rowbytes(in_.png, in_.info);
        return (info_.components == 1 || info_.components == 3) &&
               stride_ == std::size_t{info_.width} * static_cast<std::size_t>(info_.components);
    }

    bool read_rows(unsigned char* rows, unsigned count) override {
        return png_rows(&in_, rows, count, stride_);
    }
    bool finish() override { return png_end(&in_) && harmless_texts(in_.png, in_.end); }

  private:
    // 8-bit gray or RGB, or a palette, without transparency and not interlaced.
    bool plain_header() const {
        const int type = png_get_color_type(in_.png, in_.info);
        const int depth = png_get_bit_depth(in_.png, in_.info);
        if (png_get_interlace_type(in_.png, in_.info) != PNG_INTERLACE_NONE) return false;
        if (png_get_valid(in_.png, in_.info, PNG_INFO_tRNS) != 0) return false;
        if (type == PNG_COLOR_TYPE_PALETTE) return depth <= 8;
        return depth == 8 && (type == PNG_COLOR_TYPE_GRAY || type == PNG_COLOR_TYPE_RGB);
    }
    bool plain_chunks() const {
        if (png_get_valid(in_.png, in_.info, PNG_INFO_sBIT) != 0) return false;
        if (png_get_valid(in_.png, in_.info, PNG_INFO_eXIf) != 0) return false;
        double gamma = 0;
        if (png_get_gAMA(in_.png, in_.info, &gamma) != 0 && std::fabs(gamma - 0.45455) > 1e-4) {
            return false;
        }
        return harmless_texts(in_.png, in_.info);
    }
    void take_resolution() {
        png_uint_32 x = 0;
        png_uint_32 y = 0;
        int unit = 0;
        if (png_get_pHYs(in_.png, in_.info, &x, &y, &unit) == 0) return;
        info_.x_resolution = x;
        info_.y_resolution = y;
        if (unit == PNG_RESOLUTION_METER) {
            info_.units = 2;
            info_.x_resolution = x / 100.0;
            info_.y_resolution = y / 100.0;
        }
    }
    void take_profile() {
        png_charp name = nullptr;
        int compression = 0;
        png_bytep data = nullptr;
        png_uint_32 length = 0;
        if (png_get_iCCP(in_.png, in_.info, &name, &compression, &data, &length) != 0) {
            info_.icc.assign(reinterpret_cast<const char*>(data), length);
        }
    }

    File file_;
    PngIn in_;
    std::size_t stride_ = 0;
};

}  // namespace

std::unique_ptr<Source> open_png_source(File file) {
    auto source = std::make_unique<PngSource>(std::move(file));
    if (!source->open()) return nullptr;
    return source;
}

}  // namespace morvane::codec
