// The camera-raw decoder module: LibRaw decodes the file, the module hands the picture
// back as one portable anymap in a buffer it keeps for the next call.

#include "tcrw.h"

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <libraw/libraw.h>

namespace {

// The one buffer handed out; reused by the next call and freed when the module unloads.
std::vector<unsigned char> anymap;

struct Request {
    const char* path = nullptr;
    bool half_size = false;
};

// "Tarvik", optionally "-h", then the path; anything else is refused.
bool parse_request(int count, char** vector, Request& request) {
    if (vector == nullptr || count < 2 || count > 3) return false;
    for (int i = 0; i < count; ++i) {
        if (vector[i] == nullptr) return false;
    }
    if (count == 3) {
        if (std::strcmp(vector[1], "-h") != 0) return false;
        request.half_size = true;
    }
    request.path = vector[count - 1];
    return *request.path != '\0';
}

struct ProcessedDeleter {
    void operator()(libraw_processed_image_t* image) const { LibRaw::dcraw_clear_mem(image); }
};
using Processed = std::unique_ptr<libraw_processed_image_t, ProcessedDeleter>;

// Opens, unpacks and develops the file at 8 bits per sample; null on any failure.
Processed develop(LibRaw& raw, const Request& request) {
    // LibRaw prints damaged-data notes on stderr; the failure itself comes back as a status.
    raw.set_dataerror_handler(nullptr, nullptr);
    raw.imgdata.params.half_size = request.half_size ? 1 : 0;
    raw.imgdata.params.output_bps = 8;
    if (raw.open_file(request.path) != LIBRAW_SUCCESS) return nullptr;
    if (raw.unpack() != LIBRAW_SUCCESS) return nullptr;
    if (raw.dcraw_process() != LIBRAW_SUCCESS) return nullptr;
    int status = LIBRAW_SUCCESS;
    Processed image(raw.dcraw_make_mem_image(&status));
    if (status != LIBRAW_SUCCESS) return nullptr;
    return image;
}

// Puts the developed picture into the buffer as "P6" (or "P5") with its header.
bool store_anymap(const libraw_processed_image_t& image) {
    if (image.type != LIBRAW_IMAGE_BITMAP || image.bits != 8) return false;
    if (image.colors != 1 && image.colors != 3) return false;
    const std::size_t pixels = std::size_t{image.width} * image.height * image.colors;
    if (pixels == 0 || pixels > image.data_size) return false;
    const std::string header = std::string(image.colors == 3 ? "P6\n" : "P5\n") +
                               std::to_string(image.width) + " " + std::to_string(image.height) +
                               "\n255\n";
    anymap.assign(header.begin(), header.end());
    anymap.insert(anymap.end(), image.data, image.data + pixels);
    return true;
}

std::size_t decode_file(int count, char** vector) {
    Request request;
    if (!parse_request(count, vector, request)) return 0;
    // LibRaw's object is large; on the heap, and gone with all it holds after each file.
    const auto raw = std::make_unique<LibRaw>(LIBRAW_OPTIONS_NONE);
    const Processed image = develop(*raw, request);
    if (!image || !store_anymap(*image)) return 0;
    return anymap.size();
}

}  // namespace

extern "C" __attribute__((visibility("default"))) std::size_t tcrw_decode(int count, char** vector,
                                                                          unsigned char** data) {
    if (data == nullptr) return 0;
    *data = nullptr;
    // The previous picture goes; its room is kept for this one.
    anymap.clear();
    try {
        const std::size_t length = decode_file(count, vector);
        if (length > 0) *data = anymap.data();
        return length;
    } catch (...) {
        // Nothing may leave a C entry; a failure of any kind is a file not decoded.
        anymap.clear();
        return 0;
    }
}
