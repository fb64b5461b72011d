// bench_floor: the benchmark's codec floor, the lowest cost at which libjpeg-turbo and libpng
// alone can do the engine's conversions, making the same codec choices as its ImageMagick 6.
//
//   bench_floor [--quality N] [--progressive] [--fit WxH] OUTDIR FILE...
//
// Every FILE (JPEG or PNG, told by its first bytes) becomes OUTDIR/<base name>.jpg, quality 75
// unless told. --fit point-samples the picture to fit WxH with its aspect kept; a JPEG is first
// decoded at the scale ImageMagick's size hint picks. Rows stream from decoder to encoder, so
// only a row is held (a whole picture only for an interlaced PNG). Exit status 0 when every
// file was converted, 1 otherwise with one line on stderr per failure, 2 for a bad command line.

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <malloc.h>

#include <jpeglib.h>
#include <png.h>

namespace {

// The DCTs ImageMagick 6 picks (6.9.11, checked byte for byte): the accurate integer one for
// decoding; for encoding the fast one up to quality 90 and the accurate one above.
constexpr J_DCT_METHOD kDecodeDct = JDCT_ISLOW;

J_DCT_METHOD encode_dct(int quality) {
    return quality > 90 ? JDCT_ISLOW : JDCT_IFAST;
}

// Point sampling takes the source pixel under each output pixel's centre, nudged down a hair
// as ImageMagick's -sample does, so that an exact 2:1 takes the first of each pair.
constexpr double kSampleOffset = 0.5 - 1e-12;

struct JpegErr {
    jpeg_error_mgr mgr;
    jmp_buf jb;
    char* msg;
};

struct Options {
    int quality = 75;
    bool progressive = false;
    unsigned fit_w = 0, fit_h = 0;  // 0: no resize
};

// Everything a conversion touches; the codec objects and buffers outlive single files.
struct Ctx {
    Options opt;
    JpegErr jerr;
    jpeg_decompress_struct jd;
    jpeg_compress_struct jc;
    char msg[JMSG_LENGTH_MAX + 256];
    FILE* in = nullptr;
    FILE* out = nullptr;
    bool is_png = false, interlaced = false;
    png_structp png = nullptr;
    png_infop info = nullptr;
    unsigned src_w = 0, src_h = 0, out_w = 0, out_h = 0, next_row = 0;
    int comps = 0;
    std::vector<JSAMPLE> row, out_row, image;
    std::vector<long> xmap;
    std::string out_path;
};

void jpeg_fail(j_common_ptr cinfo) {
    auto* err = reinterpret_cast<JpegErr*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, err->msg);
    longjmp(err->jb, 1);
}

void jpeg_quiet(j_common_ptr) {}

void png_fail(png_structp png, png_const_charp text) {
    std::snprintf(static_cast<char*>(png_get_error_ptr(png)), JMSG_LENGTH_MAX, "%s", text);
    png_longjmp(png, 1);  // to png_jmpbuf, before libpng's own handler prints anything
}

void png_quiet(png_structp, png_const_charp) {}

void open_jpeg(Ctx& c) {
    jpeg_decompress_struct& d = c.jd;
    jpeg_stdio_src(&d, c.in);
    jpeg_read_header(&d, TRUE);
    d.dct_method = kDecodeDct;
    d.out_color_space = d.jpeg_color_space == JCS_GRAYSCALE ? JCS_GRAYSCALE : JCS_RGB;
    if (c.opt.fit_w) {
        // As ImageMagick asks for a size hint: 1/floor(ratio), which libjpeg rounds to an
        // eighth it has; a picture smaller than the box (ratio below 1) decodes at twice size.
        double r =
            std::min(double(d.image_width) / c.opt.fit_w, double(d.image_height) / c.opt.fit_h);
        d.scale_num = 1;
        d.scale_denom = unsigned(r);
    }
    jpeg_calc_output_dimensions(&d);
    jpeg_start_decompress(&d);
    c.src_w = d.output_width;
    c.src_h = d.output_height;
    c.comps = d.output_components;
}

void open_png(Ctx& c) {
    png_init_io(c.png, c.in);
    png_read_info(c.png, c.info);
    int type = png_get_color_type(c.png, c.info);
    if (type == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(c.png);
    if (type == PNG_COLOR_TYPE_GRAY) png_set_expand_gray_1_2_4_to_8(c.png);
    if (png_get_bit_depth(c.png, c.info) == 16) png_set_scale_16(c.png);
    png_set_strip_alpha(c.png);
    int passes = png_set_interlace_handling(c.png);
    c.interlaced = passes > 1;
    png_read_update_info(c.png, c.info);
    c.src_w = png_get_image_width(c.png, c.info);
    c.src_h = png_get_image_height(c.png, c.info);
    c.comps = png_get_channels(c.png, c.info);
    if (c.comps != 1 && c.comps != 3) png_error(c.png, "unexpected channel count");
    if (!c.interlaced) return;
    size_t stride = size_t(c.src_w) * c.comps;
    c.image.resize(stride * c.src_h);
    for (; passes > 0; --passes)
        for (unsigned y = 0; y < c.src_h; ++y) png_read_row(c.png, &c.image[y * stride], nullptr);
}

// Decodes the next source row; returns where it is.
const JSAMPLE* next_row(Ctx& c) {
    size_t stride = size_t(c.src_w) * c.comps;
    unsigned y = c.next_row++;
    if (c.is_png && c.interlaced) return &c.image[y * stride];
    JSAMPLE* p = c.row.data();
    if (c.is_png)
        png_read_row(c.png, p, nullptr);
    else
        jpeg_read_scanlines(&c.jd, &p, 1);
    return p;
}

void size_output(Ctx& c) {
    c.out_w = c.src_w;
    c.out_h = c.src_h;
    c.row.resize(size_t(c.src_w) * c.comps);
    if (!c.opt.fit_w) return;
    double s = std::min(double(c.opt.fit_w) / c.src_w, double(c.opt.fit_h) / c.src_h);
    c.out_w = std::max(1u, unsigned(std::floor(c.src_w * s + 0.5)));
    c.out_h = std::max(1u, unsigned(std::floor(c.src_h * s + 0.5)));
    c.xmap.resize(c.out_w);
    for (unsigned x = 0; x < c.out_w; ++x)
        c.xmap[x] = std::min(long(c.src_w) - 1, long((x + kSampleOffset) * c.src_w / c.out_w));
    c.out_row.resize(size_t(c.out_w) * c.comps);
}

void start_encoder(Ctx& c) {
    jpeg_compress_struct& e = c.jc;
    jpeg_stdio_dest(&e, c.out);
    e.image_width = c.out_w;
    e.image_height = c.out_h;
    e.input_components = c.comps;
    e.in_color_space = c.comps == 3 ? JCS_RGB : JCS_GRAYSCALE;
    jpeg_set_defaults(&e);
    jpeg_set_quality(&e, c.opt.quality, TRUE);
    e.dct_method = encode_dct(c.opt.quality);
    e.optimize_coding = TRUE;
    if (c.is_png && c.opt.quality >= 90) {
        for (int i = 0; i < e.num_components; ++i)
            e.comp_info[i].h_samp_factor = e.comp_info[i].v_samp_factor = 1;
    } else if (!c.is_png) {
        for (int i = 0; i < std::min(e.num_components, c.jd.num_components); ++i) {
            e.comp_info[i].h_samp_factor = c.jd.comp_info[i].h_samp_factor;
            e.comp_info[i].v_samp_factor = c.jd.comp_info[i].v_samp_factor;
        }
    }
    if (c.opt.progressive) jpeg_simple_progression(&e);
    jpeg_start_compress(&e, TRUE);
}

void sample_row(Ctx& c, const JSAMPLE* src) {
    JSAMPLE* dst = c.out_row.data();
    for (unsigned x = 0; x < c.out_w; ++x, dst += c.comps)
        std::memcpy(dst, src + c.xmap[x] * c.comps, size_t(c.comps));
}

void stream_rows(Ctx& c) {
    const JSAMPLE* src = nullptr;
    for (unsigned y = 0; y < c.out_h; ++y) {
        unsigned sy = c.opt.fit_w ? unsigned((y + kSampleOffset) * c.src_h / c.out_h) : y;
        sy = std::min(sy, c.src_h - 1);
        while (c.next_row <= sy) src = next_row(c);
        JSAMPLE* line = const_cast<JSAMPLE*>(src);
        if (c.opt.fit_w) {
            sample_row(c, src);
            line = c.out_row.data();
        }
        jpeg_write_scanlines(&c.jc, &line, 1);
    }
    while (c.next_row < c.src_h) next_row(c);
    if (c.is_png)
        png_read_end(c.png, nullptr);
    else
        jpeg_finish_decompress(&c.jd);
    jpeg_finish_compress(&c.jc);
}

void close_file(Ctx& c, bool ok) {
    jpeg_abort_decompress(&c.jd);
    jpeg_abort_compress(&c.jc);
    if (c.png) png_destroy_read_struct(&c.png, &c.info, nullptr);
    c.png = nullptr;
    c.info = nullptr;
    if (c.in) std::fclose(c.in);
    if (c.out && std::fclose(c.out) != 0 && ok) {
        std::snprintf(c.msg, sizeof c.msg, "cannot write %s", c.out_path.c_str());
        ok = false;
    }
    if (c.out && !ok) std::remove(c.out_path.c_str());
    c.in = c.out = nullptr;
}

// The codec work of one file; holds the setjmp frames, so no C++ objects with destructors.
bool run_codecs(Ctx& c) {
    if (setjmp(c.jerr.jb)) return false;
    if (c.png) {
        if (setjmp(png_jmpbuf(c.png))) return false;
    }
    if (c.is_png)
        open_png(c);
    else
        open_jpeg(c);
    size_output(c);
    if (!(c.out = std::fopen(c.out_path.c_str(), "wb"))) {
        std::snprintf(c.msg, sizeof c.msg, "cannot create %s", c.out_path.c_str());
        return false;
    }
    start_encoder(c);
    stream_rows(c);
    return true;
}

bool fail(Ctx& c, const char* text) {
    std::snprintf(c.msg, sizeof c.msg, "%s", text);
    return false;
}

bool open_input(Ctx& c, const char* path) {
    unsigned char head[4] = {0, 0, 0, 0};
    if (!(c.in = std::fopen(path, "rb"))) return fail(c, "cannot open");
    size_t n = std::fread(head, 1, 4, c.in);
    std::rewind(c.in);
    c.is_png = n == 4 && std::memcmp(head, "\x89PNG", 4) == 0;
    if (!c.is_png && !(n >= 3 && head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF))
        return fail(c, "neither JPEG nor PNG");
    if (!c.is_png) return true;
    c.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, c.msg, png_fail, png_quiet);
    if (c.png) c.info = png_create_info_struct(c.png);
    return c.info ? true : fail(c, "out of memory");
}

std::string output_path(const std::string& dir, const std::string& file) {
    std::string base = file.substr(file.find_last_of('/') + 1);
    size_t dot = base.find_last_of('.');
    if (dot != std::string::npos && dot > 0) base.erase(dot);
    return dir + "/" + base + ".jpg";
}

bool convert(Ctx& c, const std::string& dir, const char* path) {
    c.msg[0] = '\0';
    c.next_row = 0;
    c.out_path = output_path(dir, path);
    bool ok = open_input(c, path) && run_codecs(c);
    close_file(c, ok);
    if (!ok) std::fprintf(stderr, "bench_floor: %s: %s\n", path, c.msg);
    return ok;
}

bool init_codecs(Ctx& c) {
    c.jd.err = c.jc.err = jpeg_std_error(&c.jerr.mgr);
    c.jerr.mgr.error_exit = jpeg_fail;
    c.jerr.mgr.output_message = jpeg_quiet;
    c.jerr.msg = c.msg;
    if (setjmp(c.jerr.jb)) return false;
    jpeg_create_decompress(&c.jd);
    jpeg_create_compress(&c.jc);
    return true;
}

bool parse_options(int argc, char** argv, Options& opt, int& first) {
    int i = 1;
    for (; i < argc && argv[i][0] == '-' && argv[i][1] == '-'; ++i) {
        std::string a = argv[i];
        if (a == "--progressive") {
            opt.progressive = true;
        } else if (a == "--quality" && i + 1 < argc) {
            opt.quality = std::atoi(argv[++i]);
            if (opt.quality < 1 || opt.quality > 100) return false;
        } else if (a == "--fit" && i + 1 < argc) {
            if (std::sscanf(argv[++i], "%ux%u", &opt.fit_w, &opt.fit_h) != 2) return false;
            if (!opt.fit_w || !opt.fit_h) return false;
        } else {
            return false;
        }
    }
    first = i;
    return argc - i >= 2;
}

}  // namespace

int main(int argc, char** argv) {
    static Ctx c;  // large and long-lived; its buffers are reused for every file
    // libjpeg frees a progressive picture's coefficients after each file; kept by malloc,
    // the next file reuses them instead of the kernel clearing fresh pages (the engine's
    // workers do the same), so the floor measures the codecs alone.
    (void)mallopt(M_MMAP_THRESHOLD, 256 * 1024 * 1024);
    (void)mallopt(M_TRIM_THRESHOLD, 256 * 1024 * 1024);
    int first = 0;
    if (!parse_options(argc, argv, c.opt, first)) {
        std::fprintf(
            stderr,
            "usage: bench_floor [--quality N] [--progressive] [--fit WxH] OUTDIR FILE...\n");
        return 2;
    }
    if (!init_codecs(c)) {
        std::fprintf(stderr, "bench_floor: %s\n", c.msg);
        return 1;
    }
    std::string dir = argv[first];
    bool all = true;
    for (int i = first + 1; i < argc; ++i) all = convert(c, dir, argv[i]) && all;
    jpeg_destroy_decompress(&c.jd);
    jpeg_destroy_compress(&c.jc);
    return all ? 0 : 1;
}
