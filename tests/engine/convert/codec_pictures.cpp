#include "codec_pictures.h"

#include <cstdio>
#include <stdexcept>

#include <jpeglib.h>
#include <png.h>

#include "test_support.h"

namespace morvane::test {

namespace {

// A smooth pattern with a little noise: real work for the codecs, the same every run.
std::vector<unsigned char> pixel_rows(unsigned width, unsigned height, int channels,
                                      Pixels pixels) {
    std::vector<unsigned char> rows(std::size_t{width} * height * channels);
    std::uint32_t noise = 12345;
    std::size_t i = 0;
    for (unsigned y = 0; y < height; ++y) {
        for (unsigned x = 0; x < width; ++x) {
            noise = noise * 1103515245U + 12345U;
            const unsigned base = x * 5 + y * 3 + ((noise >> 16) & 15);
            for (int c = 0; c < channels; ++c) {
                const unsigned shift = pixels == Pixels::Gray ? 0 : static_cast<unsigned>(c) * 70;
                rows[i++] = static_cast<unsigned char>((base + shift) & 0xFF);
            }
        }
    }
    return rows;
}

std::FILE* open_for_writing(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) throw std::runtime_error("cannot write " + path);
    return f;
}

void set_jpeg_colour(jpeg_compress_struct& c, const JpegSpec& spec) {
    c.input_components = spec.components;
    c.in_color_space = spec.components == 1   ? JCS_GRAYSCALE
                       : spec.components == 4 ? JCS_CMYK
                                              : JCS_RGB;
    jpeg_set_defaults(&c);
    if (spec.rgb) jpeg_set_colorspace(&c, JCS_RGB);
    if (spec.components == 4) jpeg_set_colorspace(&c, JCS_YCCK);
}

void set_jpeg_options(jpeg_compress_struct& c, const JpegSpec& spec) {
    jpeg_set_quality(&c, spec.quality, TRUE);
    for (std::size_t i = 0; i + 1 < spec.sampling.size(); i += 2) {
        c.comp_info[i / 2].h_samp_factor = spec.sampling[i];
        c.comp_info[i / 2].v_samp_factor = spec.sampling[i + 1];
    }
    if (spec.progressive) jpeg_simple_progression(&c);
    c.write_JFIF_header = spec.jfif ? TRUE : FALSE;
    c.density_unit = static_cast<UINT8>(spec.density_unit);
    c.X_density = static_cast<UINT16>(spec.x_density);
    c.Y_density = static_cast<UINT16>(spec.y_density);
}

}  // namespace

void write_jpeg(const std::string& path, const JpegSpec& spec) {
    std::vector<unsigned char> rows =
        pixel_rows(spec.width, spec.height, spec.components, spec.pixels);
    std::FILE* f = open_for_writing(path);
    jpeg_compress_struct c{};
    jpeg_error_mgr error{};
    c.err = jpeg_std_error(&error);
    jpeg_create_compress(&c);
    jpeg_stdio_dest(&c, f);
    c.image_width = spec.width;
    c.image_height = spec.height;
    set_jpeg_colour(c, spec);
    set_jpeg_options(c, spec);
    jpeg_start_compress(&c, TRUE);
    for (const auto& [marker, data] : spec.markers) {
        jpeg_write_marker(&c, marker, reinterpret_cast<const JOCTET*>(data.data()),
                          static_cast<unsigned>(data.size()));
    }
    const std::size_t stride = std::size_t{spec.width} * spec.components;
    for (unsigned y = 0; y < spec.height; ++y) {
        JSAMPROW row = rows.data() + y * stride;
        (void)jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    (void)std::fclose(f);
    if (spec.cut > 0) {
        std::string bytes = read_file(path);
        bytes.resize(bytes.size() - spec.cut);
        write_file(path, bytes);
    }
}

namespace {

int png_channels(int color_type) {
    switch (color_type) {
        case PNG_COLOR_TYPE_GRAY:
        case PNG_COLOR_TYPE_PALETTE:
            return 1;
        case PNG_COLOR_TYPE_GRAY_ALPHA:
            return 2;
        case PNG_COLOR_TYPE_RGB_ALPHA:
            return 4;
        default:
            return 3;
    }
}

void set_png_chunks(png_structp png, png_infop info, const PngSpec& spec) {
    if (spec.color_type == PNG_COLOR_TYPE_PALETTE) {
        std::vector<png_color> palette(16);
        for (int i = 0; i < 16; ++i) {
            const auto v = static_cast<png_byte>(i * 17);
            palette[i] = spec.pixels == Pixels::Gray
                             ? png_color{v, v, v}
                             : png_color{v, static_cast<png_byte>(255 - v), 90};
        }
        png_set_PLTE(png, info, palette.data(), 16);
    }
    if (spec.transparent_colour) {
        png_color_16 colour{0, 10, 10, 10, 10};
        png_byte alpha = 0;
        png_set_tRNS(png, info, &alpha, 1, &colour);
    }
    if (spec.gamma) png_set_gAMA(png, info, *spec.gamma);
    if (spec.srgb) png_set_sRGB(png, info, PNG_sRGB_INTENT_PERCEPTUAL);
    if (spec.phys) png_set_pHYs(png, info, spec.phys->first, spec.phys->first, spec.phys->second);
    if (!spec.icc.empty()) {
        png_set_iCCP(png, info, "icc", 0, reinterpret_cast<png_const_bytep>(spec.icc.data()),
                     static_cast<png_uint_32>(spec.icc.size()));
    }
    std::vector<png_text> texts;
    for (const auto& [key, value] : spec.texts) {
        png_text t{};
        t.compression = PNG_TEXT_COMPRESSION_NONE;
        t.key = const_cast<char*>(key.c_str());
        t.text = const_cast<char*>(value.c_str());
        texts.push_back(t);
    }
    if (!texts.empty()) png_set_text(png, info, texts.data(), static_cast<int>(texts.size()));
}

// Palette rows hold indexes 0 to 15, packed as the bit depth asks.
std::vector<unsigned char> png_rows(const PngSpec& spec, std::size_t& stride) {
    const int channels = png_channels(spec.color_type);
    std::vector<unsigned char> rows = pixel_rows(spec.width, spec.height, channels, spec.pixels);
    if (spec.color_type == PNG_COLOR_TYPE_PALETTE) {
        for (auto& v : rows) v = static_cast<unsigned char>(v % 16);
        if (spec.bit_depth == 4) {
            const std::size_t packed_stride = (spec.width + 1) / 2;
            std::vector<unsigned char> packed(packed_stride * spec.height, 0);
            for (unsigned y = 0; y < spec.height; ++y) {
                for (unsigned x = 0; x < spec.width; ++x) {
                    const unsigned char v = rows[std::size_t{y} * spec.width + x];
                    packed[y * packed_stride + x / 2] |= (x % 2 == 0) ? (v << 4) : v;
                }
            }
            stride = packed_stride;
            return packed;
        }
    }
    if (spec.bit_depth == 16) {
        std::vector<unsigned char> wide(rows.size() * 2);
        for (std::size_t i = 0; i < rows.size(); ++i) {
            wide[2 * i] = rows[i];
            wide[2 * i + 1] = static_cast<unsigned char>(rows[i] ^ 0x5A);
        }
        stride = std::size_t{spec.width} * channels * 2;
        return wide;
    }
    stride = std::size_t{spec.width} * channels;
    return rows;
}

}  // namespace

void write_png(const std::string& path, const PngSpec& spec) {
    std::size_t stride = 0;
    std::vector<unsigned char> rows = png_rows(spec, stride);
    std::FILE* f = open_for_writing(path);
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, f);
    png_set_IHDR(png, info, spec.width, spec.height, spec.bit_depth, spec.color_type,
                 spec.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    set_png_chunks(png, info, spec);
    std::vector<png_bytep> pointers(spec.height);
    for (unsigned y = 0; y < spec.height; ++y) pointers[y] = rows.data() + y * stride;
    png_set_rows(png, info, pointers.data());
    png_write_png(png, info, PNG_TRANSFORM_IDENTITY, nullptr);
    png_destroy_write_struct(&png, &info);
    (void)std::fclose(f);
}

namespace {

class TiffWriter {
  public:
    explicit TiffWriter(bool little) : little_(little) {}
    void u16(std::uint32_t v) { put(v, 2); }
    void u32(std::uint32_t v) { put(v, 4); }
    void entry(std::uint16_t tag, std::uint16_t type, std::uint32_t value) {
        u16(tag);
        u16(type);
        u32(1);
        if (type == 3) {
            u16(value);
            u16(0);
        } else {
            u32(value);
        }
    }
    [[nodiscard]] std::size_t size() const { return bytes_.size(); }
    [[nodiscard]] const std::string& bytes() const { return bytes_; }

  private:
    void put(std::uint32_t v, int n) {
        for (int i = 0; i < n; ++i) {
            const int shift = little_ ? 8 * i : 8 * (n - 1 - i);
            bytes_.push_back(static_cast<char>((v >> shift) & 0xFF));
        }
    }
    bool little_;
    std::string bytes_;
};

}  // namespace

std::string exif_block(const ExifSpec& spec) {
    TiffWriter t(spec.little_endian);
    const int entries =
        2 + (spec.unit ? 1 : 0) + (spec.orientation ? 1 : 0) + (spec.pixel_size ? 1 : 0);
    const std::uint32_t ifd0_end = 8 + 2 + entries * 12 + 4;
    const std::uint32_t rationals = ifd0_end;
    const std::uint32_t exif_ifd = rationals + 16;
    t.u32(0);  // the byte-order mark, put in below
    t.u32(8);
    t.u16(static_cast<std::uint32_t>(entries));
    if (spec.orientation) t.entry(0x0112, 3, *spec.orientation);
    t.entry(282, 5, rationals);
    t.entry(283, 5, rationals + 8);
    if (spec.unit) t.entry(296, 3, *spec.unit);
    if (spec.pixel_size) t.entry(0x8769, 4, exif_ifd);
    t.u32(0);
    for (int i = 0; i < 2; ++i) {
        t.u32(spec.numerator);
        t.u32(spec.denominator);
    }
    if (spec.pixel_size) {
        t.u16(2);
        t.entry(0xA002, 4, spec.pixel_size->first);
        t.entry(0xA003, 4, spec.pixel_size->second);
        t.u32(0);
    }
    std::string tiff = t.bytes();
    tiff.replace(0, 4, spec.little_endian ? std::string("II*\0", 4) : std::string("MM\0*", 4));
    return std::string("Exif\0\0", 6) + tiff;
}

std::string sample_icc_profile() {
    return read_file("/usr/share/color/icc/ghostscript/srgb.icc");
}

}  // namespace morvane::test
