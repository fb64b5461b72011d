#include "plain_jpeg_source.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <string>

#include <strings.h>

#include <jpeglib.h>

#include "exif_resolution.h"

// libjpeg and libpng report errors by longjmp. Every call that may jump is made from a
// function of its own that holds the setjmp and nothing with a destructor.

namespace morvane::codec {

namespace {

constexpr int kIptcMarker = JPEG_APP0 + 13;

bool starts_with_word(const unsigned char* data, std::size_t length, const char* word) {
    const std::size_t n = std::strlen(word);
    return length > n && ::strncasecmp(reinterpret_cast<const char*>(data), word, n) == 0;
}

struct JpegIn {
    jpeg_decompress_struct cinfo{};
    JpegError error;
    bool created = false;
};

bool jpeg_open(JpegIn* in, std::FILE* file) {
    if (setjmp(in->error.jump) != 0) return false;
    jpeg_create_decompress(&in->cinfo);
    in->created = true;
    jpeg_stdio_src(&in->cinfo, file);
    jpeg_save_markers(&in->cinfo, JPEG_COM, 0xFFFF);
    for (int app = 1; app < 16; ++app) {
        if (app != 14) jpeg_save_markers(&in->cinfo, JPEG_APP0 + app, 0xFFFF);
    }
    (void)jpeg_read_header(&in->cinfo, TRUE);
    return true;
}

bool jpeg_begin(JpegIn* in) {
    if (setjmp(in->error.jump) != 0) return false;
    in->cinfo.dct_method = JDCT_ISLOW;  // ImageMagick's decoder, for the same pixels
    return jpeg_start_decompress(&in->cinfo) != FALSE;
}

bool jpeg_rows(JpegIn* in, unsigned char* rows, unsigned count) {
    if (setjmp(in->error.jump) != 0) return false;
    const std::size_t stride =
        std::size_t{in->cinfo.output_width} * static_cast<std::size_t>(in->cinfo.output_components);
    unsigned done = 0;
    while (done < count) {
        JSAMPROW row = rows + std::size_t{done} * stride;
        if (jpeg_read_scanlines(&in->cinfo, &row, 1) != 1) return false;
        ++done;
    }
    return true;
}

bool jpeg_end(JpegIn* in) {
    if (setjmp(in->error.jump) != 0) return false;
    return jpeg_finish_decompress(&in->cinfo) != FALSE;
}

// An APPn block that ImageMagick keeps under the name "APPn" and writes out again; one
// too long for a single marker is declined.
bool take_app_block(int n, const unsigned char* data, std::size_t length, SourceInfo& info) {
    if (length == 0) return true;
    std::string& block = info.app_blocks[n];
    block.append(reinterpret_cast<const char*>(data), length);
    return block.size() <= kMarkerMax;
}

// One saved marker as ImageMagick reads it; false when the source is declined for it.
bool take_marker(const jpeg_saved_marker_ptr marker, SourceInfo& info, bool& seen_exif) {
    const unsigned char* data = marker->data;
    const std::size_t length = marker->data_length;
    if (marker->marker == JPEG_COM) {
        if (length == 0) return true;
        // Several comments, or one with a NUL, are read in ways not reproduced here.
        if (info.comment || std::memchr(data, 0, length) != nullptr) return false;
        info.comment = std::string(reinterpret_cast<const char*>(data), length);
        return true;
    }
    if (marker->marker == JPEG_APP0 + 1) {
        if (starts_with_word(data, length, "exif")) {
            if (seen_exif) return false;
            seen_exif = true;
            info.exif.assign(reinterpret_cast<const char*>(data), length);
            return true;
        }
        if (starts_with_word(data, length, "http:")) {
            if (info.xmp) return false;
            const auto* end = static_cast<const unsigned char*>(std::memchr(data, 0, length));
            const std::size_t skip = end == nullptr ? 0 : static_cast<std::size_t>(end - data) + 1;
            info.xmp = std::string(reinterpret_cast<const char*>(data) + skip, length - skip);
            return !info.xmp->empty();
        }
        return take_app_block(1, data, length, info);
    }
    if (marker->marker == kIccMarker) {
        static constexpr char kTag[12] = "ICC_PROFILE";
        if (length <= 14 || ::strncasecmp(reinterpret_cast<const char*>(data), kTag, 12) != 0) {
            return true;  // not a profile: not written out
        }
        info.icc.append(reinterpret_cast<const char*>(data) + 14, length - 14);
        return true;
    }
    // A Photoshop block is rewritten by ImageMagick.
    if (marker->marker == kIptcMarker) return false;
    return take_app_block(marker->marker - JPEG_APP0, data, length, info);
}

class JpegSource final : public Source {
  public:
    explicit JpegSource(File file) : file_(std::move(file)) {}
    ~JpegSource() override {
        if (in_.created) jpeg_destroy_decompress(&in_.cinfo);
    }
    JpegSource(const JpegSource&) = delete;
    JpegSource& operator=(const JpegSource&) = delete;

    bool open(std::optional<Box> scale_box) {
        quiet_errors(in_.error);
        in_.cinfo.err = &in_.error.manager;
        if (!jpeg_open(&in_, file_.get())) return false;
        const jpeg_decompress_struct& c = in_.cinfo;
        const bool gray = c.num_components == 1 && c.jpeg_color_space == JCS_GRAYSCALE;
        const bool colour = c.num_components == 3 &&
                            (c.jpeg_color_space == JCS_YCbCr || c.jpeg_color_space == JCS_RGB);
        if ((!gray && !colour) || c.data_precision != 8) return false;
        if (!take_markers()) return false;
        take_density();
        if (!take_exif()) return false;
        if (scale_box) scale_for(*scale_box);
        if (!jpeg_begin(&in_)) return false;
        info_.width = in_.cinfo.output_width;
        info_.height = in_.cinfo.output_height;
        info_.components = in_.cinfo.output_components;
        for (int i = 0; i < in_.cinfo.num_components; ++i) {
            info_.sampling.push_back(in_.cinfo.comp_info[i].h_samp_factor);
            info_.sampling.push_back(in_.cinfo.comp_info[i].v_samp_factor);
        }
        return info_.components == (gray ? 1 : 3);
    }

    bool read_rows(unsigned char* rows, unsigned count) override {
        return jpeg_rows(&in_, rows, count);
    }
    bool finish() override { return jpeg_end(&in_); }

  private:
    bool take_markers() {
        bool seen_exif = false;
        for (jpeg_saved_marker_ptr m = in_.cinfo.marker_list; m != nullptr; m = m->next) {
            if (!take_marker(m, info_, seen_exif)) return false;
        }
        return true;
    }
    // ImageMagick takes a JFIF density other than 1 as the picture's resolution.
    void take_density() {
        const jpeg_decompress_struct& c = in_.cinfo;
        if (c.saw_JFIF_marker == 0 || c.X_density == 1 || c.Y_density == 1) return;
        info_.x_resolution = c.X_density;
        info_.y_resolution = c.Y_density;
        info_.units = c.density_unit <= 2 ? c.density_unit : 0;
    }
    // Below a ratio of 1 the scale is 1 / 0, which libjpeg takes as twice the size, as it
    // does for ImageMagick.
    void scale_for(Box box) {
        jpeg_decompress_struct& c = in_.cinfo;
        const double ratio = std::min(static_cast<double>(c.image_width) / box.width,
                                      static_cast<double>(c.image_height) / box.height);
        c.scale_num = 1;
        c.scale_denom = static_cast<unsigned>(ratio);
    }
    // ImageMagick then takes the EXIF block's resolution and unit over the JFIF ones.
    bool take_exif() {
        if (info_.exif.empty()) return true;
        const auto exif = exif_resolution(info_.exif);
        if (!exif) return false;
        if (exif->x) info_.x_resolution = *exif->x;
        if (exif->y) info_.y_resolution = *exif->y;
        if (exif->units) info_.units = *exif->units;
        return true;
    }

    File file_;
    JpegIn in_;
};

}  // namespace

std::unique_ptr<Source> open_jpeg_source(File file, std::optional<Box> scale_box) {
    auto source = std::make_unique<JpegSource>(std::move(file));
    if (!source->open(scale_box)) return nullptr;
    return source;
}

}  // namespace morvane::codec
