#include "plain_jpeg_writer.h"

#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <strings.h>

#include <jpeglib.h>
#include <jerror.h>

#include "fd_io.h"
#include "plain_codecs_pvt.h"

// libjpeg and libpng report errors by longjmp. Every call that may jump is made from a
// function of its own that holds the setjmp and nothing with a destructor.

namespace morvane::codec {

namespace {

constexpr std::size_t kIccChunk = 65519;
constexpr std::size_t kOutputBuffer = 64 * 1024;

}  // namespace

struct JpegWriter::State {
    jpeg_compress_struct cinfo{};
    JpegError error;
    jpeg_destination_mgr destination{};
    int fd = -1;
    int write_errno = 0;
    bool created = false;
    std::vector<JOCTET> buffer = std::vector<JOCTET>(kOutputBuffer);
    std::vector<JOCTET> icc_chunk = std::vector<JOCTET>(14 + kIccChunk);
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
    std::vector<JOCTET>& chunk = state_of(&c).icc_chunk;
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
void write_metadata(jpeg_compress_struct& c, const SourceInfo& source,
                    const std::vector<Profile>& profiles) {
    if (source.comment) write_chunked(c, JPEG_COM, *source.comment);
    for (const Profile& profile : profiles) {
        if (profile.marker == kIccMarker) {
            write_icc(c, profile.data);
        } else {
            write_chunked(c, profile.marker, profile.data);
        }
    }
}

bool writer_start(State* s, const SourceInfo* source, int components,
                  const EncoderSettings* settings, const std::vector<Profile>* profiles) {
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
    write_metadata(c, *source, *profiles);
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
    // Made here: nothing with a destructor may live where libjpeg can jump.
    const std::vector<Profile> profiles = profiles_of(source);
    return writer_start(state_.get(), &source, components, &settings, &profiles);
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
