#include "plain_codecs.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <string_view>

#include <strings.h>
#include <unistd.h>

#include <jpeglib.h>
#include <jerror.h>
#include <png.h>

#include "exif_resolution.h"
#include "fd_io.h"

// libjpeg and libpng report errors by longjmp. Every call that may jump is made from a
// function of its own that holds the setjmp and nothing with a destructor.

namespace morvane::codec {

namespace {

constexpr int kIccMarker = JPEG_APP0 + 2;
constexpr int kIptcMarker = JPEG_APP0 + 13;
constexpr std::size_t kMarkerMax = 65533;
constexpr std::size_t kIccChunk = 65519;
constexpr std::size_t kOutputBuffer = 64 * 1024;

struct Closer {
    void operator()(std::FILE* file) const { (void)std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, Closer>;

bool starts_with_word(const unsigned char* data, std::size_t length, const char* word) {
    const std::size_t n = std::strlen(word);
    return length > n && ::strncasecmp(reinterpret_cast<const char*>(data), word, n) == 0;
}

// --- JPEG errors ------------------------------------------------------------------------

// The error manager of both JPEG directions: an error or a warning ends the work.
struct JpegError {
    jpeg_error_mgr manager{};
    std::jmp_buf jump{};
};

[[noreturn]] void jpeg_error_exit(j_common_ptr cinfo) {
    std::longjmp(reinterpret_cast<JpegError*>(cinfo->err)->jump, 1);
}

void jpeg_message(j_common_ptr cinfo, int level) {
    // A warning (level -1) means ImageMagick might read the file otherwise.
    if (level < 0) std::longjmp(reinterpret_cast<JpegError*>(cinfo->err)->jump, 1);
}

void quiet_errors(JpegError& error) {
    (void)jpeg_std_error(&error.manager);
    error.manager.error_exit = jpeg_error_exit;
    error.manager.emit_message = jpeg_message;
}

// --- JPEG source ------------------------------------------------------------------------

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

// --- PNG source -------------------------------------------------------------------------

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

// A resolution beyond the JFIF header's 16 bits is written by ImageMagick in a way not
// reproduced here.
bool fits_jfif(const SourceInfo& info) {
    return info.x_resolution < 65536 && info.y_resolution < 65536;
}

}  // namespace

std::unique_ptr<Source> open_source(const std::string& path, std::optional<Box> jpeg_scale_box) {
    File file(std::fopen(path.c_str(), "rbe"));
    if (!file) return nullptr;
    std::array<unsigned char, 8> head{};
    const std::size_t got = std::fread(head.data(), 1, head.size(), file.get());
    if (got < 3 || std::fseek(file.get(), 0, SEEK_SET) != 0) return nullptr;
    if (head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF) {
        auto source = std::make_unique<JpegSource>(std::move(file));
        if (source->open(jpeg_scale_box) && fits_jfif(source->info())) return source;
        return nullptr;
    }
    if (got == head.size() && png_sig_cmp(head.data(), 0, head.size()) == 0) {
        auto source = std::make_unique<PngSource>(std::move(file));
        if (source->open() && fits_jfif(source->info())) return source;
    }
    return nullptr;
}

// --- JPEG output ------------------------------------------------------------------------

struct JpegWriter::State {
    jpeg_compress_struct cinfo{};
    JpegError error;
    jpeg_destination_mgr destination{};
    int fd = -1;
    int write_errno = 0;
    bool created = false;
    std::vector<JOCTET> buffer = std::vector<JOCTET>(kOutputBuffer);
};

namespace {

using State = JpegWriter::State;

State& state_of(j_compress_ptr cinfo) {
    return *static_cast<State*>(cinfo->client_data);
}

// Writes to the descriptor, keeping the system's reason of a failure for the log.
bool write_out(State& s, const JOCTET* data, std::size_t size) {
    errno = 0;
    if (write_all(s.fd, data, size)) return true;
    s.write_errno = errno != 0 ? errno : EIO;
    return false;
}

void start_destination(j_compress_ptr cinfo) {
    State& s = state_of(cinfo);
    s.destination.next_output_byte = s.buffer.data();
    s.destination.free_in_buffer = s.buffer.size();
}

boolean empty_destination(j_compress_ptr cinfo) {
    State& s = state_of(cinfo);
    if (!write_out(s, s.buffer.data(), s.buffer.size())) ERREXIT(cinfo, JERR_FILE_WRITE);
    start_destination(cinfo);
    return TRUE;
}

void end_destination(j_compress_ptr cinfo) {
    State& s = state_of(cinfo);
    const std::size_t used = s.buffer.size() - s.destination.free_in_buffer;
    if (!write_out(s, s.buffer.data(), used)) ERREXIT(cinfo, JERR_FILE_WRITE);
}

// ImageMagick's rule: a JPEG source's own chroma sampling when the output keeps its
// colour space, else 1x1 from quality 90 and libjpeg's default below.
void set_sampling(jpeg_compress_struct& c, const SourceInfo& source, int components, int quality) {
    const bool keeps_source = !source.sampling.empty() && source.components == components;
    if (!keeps_source && quality < 90) return;
    for (int i = 0; i < MAX_COMPONENTS; ++i) {
        const std::size_t at = static_cast<std::size_t>(i) * 2;
        const bool given = keeps_source && at + 1 < source.sampling.size();
        c.comp_info[i].h_samp_factor = given ? source.sampling[at] : 1;
        c.comp_info[i].v_samp_factor = given ? source.sampling[at + 1] : 1;
    }
}

void set_density(jpeg_compress_struct& c, const SourceInfo& source) {
    if (source.x_resolution == 0 || source.y_resolution == 0) return;
    c.write_JFIF_header = TRUE;
    // Cut, not rounded, as ImageMagick does.
    c.X_density = static_cast<UINT16>(source.x_resolution);
    c.Y_density = static_cast<UINT16>(source.y_resolution);
    c.density_unit = static_cast<UINT8>(source.units);
}

void write_chunked(jpeg_compress_struct& c, int marker, const std::string& data) {
    for (std::size_t at = 0; at < data.size(); at += kMarkerMax) {
        const std::size_t n = std::min(data.size() - at, kMarkerMax);
        jpeg_write_marker(&c, marker, reinterpret_cast<const JOCTET*>(data.data()) + at,
                          static_cast<unsigned>(n));
    }
}

void write_icc(jpeg_compress_struct& c, const std::string& icc) {
    std::vector<JOCTET> chunk(14 + kIccChunk);
    std::memcpy(chunk.data(), "ICC_PROFILE", 12);
    for (std::size_t at = 0; at < icc.size(); at += kIccChunk) {
        const std::size_t n = std::min(icc.size() - at, kIccChunk);
        chunk[12] = static_cast<JOCTET>(at / kIccChunk + 1);
        chunk[13] = static_cast<JOCTET>(icc.size() / kIccChunk + 1);
        std::memcpy(chunk.data() + 14, icc.data() + at, n);
        jpeg_write_marker(&c, kIccMarker, chunk.data(), static_cast<unsigned>(n + 14));
    }
}

// One profile to write: its name, the marker and the data.
struct Profile {
    std::string name;
    int marker;
    std::string data;
};

// The profiles in ImageMagick's order: by name, whatever the case ("APP1" < "APP12" <
// "APP3" < "exif" < "icc" < "xmp").
std::vector<Profile> profiles_of(const SourceInfo& source) {
    std::vector<Profile> profiles;
    for (const auto& [n, data] : source.app_blocks) {
        profiles.push_back({"APP" + std::to_string(n), JPEG_APP0 + n, data});
    }
    if (!source.exif.empty()) profiles.push_back({"exif", JPEG_APP0 + 1, source.exif});
    if (!source.icc.empty()) profiles.push_back({"icc", kIccMarker, source.icc});
    if (source.xmp) {
        std::string packet("http://ns.adobe.com/xap/1.0/");
        packet.push_back('\0');
        profiles.push_back({"xmp", JPEG_APP0 + 1, packet + *source.xmp});
    }
    std::sort(profiles.begin(), profiles.end(), [](const Profile& a, const Profile& b) {
        return ::strcasecmp(a.name.c_str(), b.name.c_str()) < 0;
    });
    return profiles;
}

// The comment, then the profiles.
void write_metadata(jpeg_compress_struct& c, const SourceInfo& source) {
    if (source.comment) write_chunked(c, JPEG_COM, *source.comment);
    for (const Profile& profile : profiles_of(source)) {
        if (profile.marker == kIccMarker) {
            write_icc(c, profile.data);
        } else {
            write_chunked(c, profile.marker, profile.data);
        }
    }
}

bool writer_start(State* s, const SourceInfo* source, int components,
                  const EncoderSettings* settings) {
    if (setjmp(s->error.jump) != 0) return false;
    jpeg_compress_struct& c = s->cinfo;
    jpeg_create_compress(&c);
    s->created = true;
    c.client_data = s;
    c.dest = &s->destination;
    c.image_width = source->width;
    c.image_height = source->height;
    c.input_components = components;
    c.in_color_space = components == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&c);
    set_density(c, *source);
    // ImageMagick's encoder: the fast DCT up to quality 90, the accurate one above.
    c.dct_method = settings->quality > 90 ? JDCT_ISLOW : JDCT_IFAST;
    c.optimize_coding = settings->optimize ? TRUE : FALSE;
    if (settings->progressive) jpeg_simple_progression(&c);
    jpeg_set_quality(&c, settings->quality, TRUE);
    set_sampling(c, *source, components, settings->quality);
    jpeg_start_compress(&c, TRUE);
    write_metadata(c, *source);
    return true;
}

bool writer_rows(State* s, const unsigned char* rows, unsigned count) {
    if (setjmp(s->error.jump) != 0) return false;
    const std::size_t stride =
        std::size_t{s->cinfo.image_width} * static_cast<std::size_t>(s->cinfo.input_components);
    for (unsigned i = 0; i < count; ++i) {
        auto* row = const_cast<JSAMPROW>(rows + i * stride);
        if (jpeg_write_scanlines(&s->cinfo, &row, 1) != 1) return false;
    }
    return true;
}

bool writer_finish(State* s) {
    if (setjmp(s->error.jump) != 0) return false;
    jpeg_finish_compress(&s->cinfo);
    return true;
}

}  // namespace

JpegWriter::JpegWriter(int fd) : state_(std::make_unique<State>()) {
    state_->fd = fd;
    quiet_errors(state_->error);
    state_->cinfo.err = &state_->error.manager;
    state_->destination.init_destination = start_destination;
    state_->destination.empty_output_buffer = empty_destination;
    state_->destination.term_destination = end_destination;
}

JpegWriter::~JpegWriter() {
    if (state_->created) jpeg_destroy_compress(&state_->cinfo);
}

bool JpegWriter::start(const SourceInfo& source, int components, const EncoderSettings& settings) {
    return writer_start(state_.get(), &source, components, &settings);
}

bool JpegWriter::write_rows(const unsigned char* rows, unsigned count) {
    return writer_rows(state_.get(), rows, count);
}

bool JpegWriter::finish() {
    return writer_finish(state_.get());
}

int JpegWriter::write_error() const {
    return state_->write_errno;
}

}  // namespace morvane::codec
