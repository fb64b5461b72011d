#include "magick_adapter.h"

#include <cctype>

#include <wand/MagickWand.h>

#include "imaging.h"

namespace morvane {

namespace {

// What the engine's ImageMagick may not do, whatever a file holds or is named: read
// through the script-like and vector readers (SVG, MVG, MSL), the text and font
// renderers, the inline, remote and indirect readers (a URL, "inline:", "mpr:", "tile:"
// and the like name or hold another file), the generators that make a picture out of a
// name (xc:, gradient:, plasma:, logo:, ...), the PostScript, PDF and printer languages
// (documents are rendered by the engine's own Ghostscript) and the video readers; start
// any external program; or expand an "@file" list. A policy only ever adds refusals to
// the system's. Every raster reader stays open.
constexpr const char* kReaderPolicy =
    "<policymap>"
    "<policy domain=\"delegate\" rights=\"none\" pattern=\"*\"/>"
    "<policy domain=\"path\" rights=\"none\" pattern=\"@*\"/>"
    "<policy domain=\"coder\" rights=\"none\" pattern=\"{"
    "SVG,SVGZ,MSVG,RSVG,MVG,MSL,"
    "TEXT,TXT,SPARSE-COLOR,LABEL,CAPTION,PANGO,TTF,TTC,OTF,DFONT,PFA,PFB,"
    "URL,HTTP,HTTPS,FTP,FILE,INLINE,DATA,EPHEMERAL,MPR,MPRI,MPC,CACHE,VID,TILE,CLIP,MASK,"
    "STEGANO,X,WIN,SHOW,SCREENSHOT,CLIPBOARD,"
    "XC,CANVAS,NULL,GRADIENT,RADIAL-GRADIENT,PATTERN,PLASMA,FRACTAL,HALD,MAGICK,H,LOGO,ROSE,"
    "GRANITE,WIZARD,NETSCAPE,"
    "PS,PS2,PS3,EPS,EPS2,EPS3,EPSF,EPSI,EPI,EPT,EPT2,EPT3,PDF,PDFA,EPDF,AI,POCKETMOD,XPS,PCL,"
    "VIDEO,AVI,MPG,MPEG,M2V,M4V,MP4,MOV,MKV,WEBM,WMV,3G2,3GP,APNG"
    "}\"/>"
    "</policymap>";

// The policy, and a check that it holds: a reader it names is refused.
bool restrict_readers(std::string& reason) {
    const magick::Exception exception = magick::new_exception();
    if (SetMagickSecurityPolicy(kReaderPolicy, exception.get()) == MagickFalse) {
        reason = magick::reason_text(exception, "the security policy cannot be set");
        return false;
    }
    for (const char* coder : {"SVG", "MVG", "TXT"}) {
        if (IsRightsAuthorized(CoderPolicyDomain, ReadPolicyRights, coder) != MagickFalse) {
            reason = std::string("the security policy does not refuse the ") + coder + " reader";
            return false;
        }
    }
    return true;
}

}  // namespace

bool start_imaging(const std::string& program_folder, std::string& reason) {
    MagickCoreGenesis(program_folder.c_str(), MagickFalse);
    if (IsMagickCoreInstantiated() == MagickFalse) {
        reason = "the library did not initialise";
        return false;
    }
    if (!restrict_readers(reason)) return false;
    // Set here as well as in the system's policy (which may only lower them), so that a
    // picture claiming billions of pixels is refused at its header on any machine.
    constexpr MagickSizeType kMegabyte = 1024 * 1024;
    (void)SetMagickResourceLimit(WidthResource, 16000);
    (void)SetMagickResourceLimit(HeightResource, 16000);
    (void)SetMagickResourceLimit(AreaResource, 128 * kMegabyte);
    (void)SetMagickResourceLimit(MemoryResource, 256 * kMegabyte);
    (void)SetMagickResourceLimit(MapResource, 512 * kMegabyte);
    (void)SetMagickResourceLimit(DiskResource, 1024 * kMegabyte);
    return true;
}

void stop_imaging() {
    if (IsMagickCoreInstantiated() != MagickFalse) MagickCoreTerminus();
}

void set_imaging_temporary_folder(const std::string& folder) {
    if (folder.empty()) return;
    // Read each time ImageMagick makes a temporary file, before the environment.
    (void)SetImageRegistry(StringRegistryType, "temporary-path", folder.c_str(), nullptr);
}

}  // namespace morvane

namespace morvane::magick {

namespace {

void copy_text(char* field, const std::string& text) {
    (void)CopyMagickString(field, text.c_str(), MaxTextExtent);
}

// One line of text: line breaks inside a library message become blanks.
std::string one_line(std::string text) {
    for (char& c : text) {
        if (c == '\r' || c == '\n') c = ' ';
    }
    return text;
}

// ImageMagick ends its messages with where in its own source they were raised
// (" @ error/png.c/ReadPNGImage/4115"); that tells a user nothing.
std::string without_origin(std::string text) {
    const auto at = text.rfind(" @ ");
    if (at == std::string::npos) return text;
    const std::string origin = text.substr(at + 3);
    if (origin.find('/') != std::string::npos && !origin.empty() &&
        std::isdigit(static_cast<unsigned char>(origin.back())) != 0) {
        text.resize(at);
    }
    return text;
}

}  // namespace

void ExceptionDeleter::operator()(_ExceptionInfo* exception) const {
    (void)DestroyExceptionInfo(exception);
}

void ImageInfoDeleter::operator()(_ImageInfo* info) const {
    (void)DestroyImageInfo(info);
}

void ImageListDeleter::operator()(_Image* images) const {
    (void)DestroyImageList(GetFirstImageInList(images));
}

void BlobDeleter::operator()(unsigned char* blob) const {
    (void)RelinquishMagickMemory(blob);
}

Exception new_exception() {
    return Exception(AcquireExceptionInfo());
}

ImageInfo new_image_info() {
    return ImageInfo(AcquireImageInfo());
}

std::string reason_text(const Exception& exception, const char* fallback) {
    const char* reason = exception->reason;
    const char* description = exception->description;
    if (reason == nullptr || *reason == '\0') return fallback;
    std::string text = without_origin(reason);
    if (description != nullptr && *description != '\0') {
        text += " (";
        text += without_origin(description);
        text += ")";
    }
    return one_line(std::move(text));
}

void set_file_name(const ImageInfo& info, const std::string& name, const Exception& exception) {
    copy_text(info->filename, name);
    (void)SetImageInfo(info.get(), 1, exception.get());
}

void read_first_image_only(const ImageInfo& info) {
    info->scene = 0;
    info->number_scenes = 1;
}

void set_quality(const ImageInfo& info, unsigned long quality) {
    info->quality = quality;
}

void set_jpeg_decode_size(const ImageInfo& info, unsigned width, unsigned height) {
    const std::string size = std::to_string(width) + "x" + std::to_string(height);
    (void)SetImageOption(info.get(), "jpeg:size", size.c_str());
}

void set_interlace(const ImageInfo& info, Interlace interlace) {
    switch (interlace) {
        case Interlace::None:
            info->interlace = NoInterlace;
            break;
        case Interlace::Line:
            info->interlace = LineInterlace;
            break;
        case Interlace::Plane:
            info->interlace = PlaneInterlace;
            break;
        case Interlace::Partition:
            info->interlace = PartitionInterlace;
            break;
        case Interlace::Undefined:
            info->interlace = UndefinedInterlace;
            break;
    }
}

Interlace interlace(const ImageInfo& info) {
    switch (info->interlace) {
        case NoInterlace:
            return Interlace::None;
        case LineInterlace:
            return Interlace::Line;
        case PlaneInterlace:
            return Interlace::Plane;
        case PartitionInterlace:
            return Interlace::Partition;
        default:
            return Interlace::Undefined;
    }
}

bool is_geometry(const std::string& text) {
    return IsGeometry(text.c_str()) != MagickFalse;
}

bool same_word(const std::string& text, const char* word) {
    return LocaleCompare(text.c_str(), word) == 0;
}

ImageList read_image(const ImageInfo& info, const Exception& exception) {
    return ImageList(ReadImage(info.get(), exception.get()));
}

std::size_t count_images(const std::string& path) {
    const ImageInfo info = new_image_info();
    const Exception exception = new_exception();
    set_file_name(info, path, exception);
    const ImageList images(PingImage(info.get(), exception.get()));
    return list_length(images);
}

std::size_t list_length(const ImageList& images) {
    return images ? GetImageListLength(images.get()) : 0;
}

_Image* image_at(const ImageList& images, std::size_t index) {
    if (!images) return nullptr;
    return GetImageFromList(images.get(), static_cast<ssize_t>(index));
}

void append_images(ImageList& images, ImageList more) {
    if (!more) return;
    if (!images) {
        images = std::move(more);
        return;
    }
    Image* head = images.release();
    Image* tail = GetLastImageInList(head);
    Image* added = GetFirstImageInList(more.release());
    tail->next = added;
    added->previous = tail;
    images.reset(head);
}

void coalesce(ImageList& images, const Exception& exception) {
    if (!images || GetNextImageInList(images.get()) == nullptr) return;
    Image* whole = CoalesceImages(images.get(), exception.get());
    if (whole != nullptr) images.reset(whole);
}

void apply_options(const ImageInfo& info, int count, char** argv, ImageList& images,
                   const Exception& exception) {
    if (!images) return;
    auto** items = const_cast<const char**>(argv);
    // MogrifyImage may put a new image in the place of the one it is given; the list
    // links are kept, so the walk goes on from whatever stands in that place.
    Image* image = images.release();
    Image* last = image;
    while (image != nullptr) {
        (void)MogrifyImage(info.get(), count, items, &image, exception.get());
        last = image;
        image = GetNextImageInList(image);
    }
    images.reset(GetFirstImageInList(last));
}

void flatten_onto_white(_Image* image) {
    if (image->matte == MagickFalse) return;
    ExceptionInfo* exception = &image->exception;
    (void)QueryColorDatabase("white", &image->background_color, exception);
    (void)SetImageAlphaChannel(image, RemoveAlphaChannel);
}

Blob encode_jpeg(const ImageInfo& info, _Image* image, std::size_t& size,
                 const Exception& exception) {
    const ImageInfo blob_info(CloneImageInfo(info.get()));
    // The encoder takes the format from a plain name; the real output name never
    // reaches ImageMagick, so no '%' in it is ever expanded.
    set_file_name(blob_info, "out.jpg", exception);
    copy_text(blob_info->magick, "JPEG");
    blob_info->adjoin = MagickFalse;
    // The JPEG encoder reads the quality from the image and writes a progressive file
    // for any interlace but "none".
    if (blob_info->quality != 0) image->quality = blob_info->quality;
    if (blob_info->interlace == UndefinedInterlace) blob_info->interlace = NoInterlace;
    size = 0;
    Blob blob(
        static_cast<unsigned char*>(ImageToBlob(blob_info.get(), image, &size, exception.get())));
    if (size == 0) blob.reset();
    return blob;
}

bool write_jpeg(const ImageInfo& info, _Image* image, const std::string& target,
                std::string& reason) {
    const ImageInfo write_info(CloneImageInfo(info.get()));
    const Exception exception = new_exception();
    // The coder is named and the target is a descriptor path: nothing in it is read as
    // a format, a frame or a placeholder.
    const std::string name = "JPEG:" + target;
    set_file_name(write_info, name, exception);
    write_info->adjoin = MagickFalse;
    if (write_info->quality != 0) image->quality = write_info->quality;
    if (write_info->interlace == UndefinedInterlace) write_info->interlace = NoInterlace;
    copy_text(image->filename, name);
    ClearMagickException(&image->exception);
    // Written on its own: an image of a list would make the writer number the file name.
    _Image* const previous = image->previous;
    _Image* const next = image->next;
    image->previous = image->next = nullptr;
    const bool written = WriteImage(write_info.get(), image) != MagickFalse &&
                         image->exception.severity < ErrorException;
    image->previous = previous;
    image->next = next;
    if (!written) {
        reason =
            "the image cannot be encoded as JPEG: " +
            reason_text(exception, image->exception.reason != nullptr ? image->exception.reason
                                                                      : "the JPEG encoder failed");
    }
    return written;
}

}  // namespace morvane::magick

namespace morvane::magick {

bool can_read(const std::string& path) {
    const ImageInfo info = new_image_info();
    const Exception exception = new_exception();
    copy_text(info->filename, path);
    const ImageList image(ReadImage(info.get(), exception.get()));
    return image != nullptr;
}

unsigned long long memory_limit() {
    return GetMagickResourceLimit(MemoryResource);
}

bool within_size_limits(unsigned width, unsigned height) {
    return width <= GetMagickResourceLimit(WidthResource) &&
           height <= GetMagickResourceLimit(HeightResource) &&
           1ULL * width * height <= GetMagickResourceLimit(AreaResource);
}

namespace {

using Command = MagickBooleanType (*)(::ImageInfo*, int, char**, char**, ExceptionInfo*);

bool run_command(Command command, int count, char** argv, std::string& reason) {
    const ImageInfo info = new_image_info();
    const Exception exception = new_exception();
    const bool done = command(info.get(), count, argv, nullptr, exception.get()) != MagickFalse &&
                      exception->severity < ErrorException;
    if (!done) reason = reason_text(exception, "the command failed");
    return done;
}

}  // namespace

bool convert_command(int count, char** argv, std::string& reason) {
    return run_command(ConvertImageCommand, count, argv, reason);
}

bool composite_command(int count, char** argv, std::string& reason) {
    return run_command(CompositeImageCommand, count, argv, reason);
}

void make_rgb(_Image* image) {
    if (image->colorspace != sRGBColorspace && image->colorspace != RGBColorspace) {
        (void)TransformImageColorspace(image, sRGBColorspace);
    }
    (void)SetImageStorageClass(image, DirectClass);
}

Blob encode_default_jpeg(_Image* image, std::size_t& size, const Exception& exception) {
    const ImageInfo info = new_image_info();
    // A gray-looking picture stays RGB, so a coloured mark put on it later keeps its colour.
    info->type = TrueColorType;
    return encode_jpeg(info, image, size, exception);
}

}  // namespace morvane::magick

// Pictures that another decoder hands over in memory (the camera-raw module).
namespace morvane::magick {

ImageList read_anymap(const void* data, std::size_t length, const Exception& exception) {
    const ImageInfo info = new_image_info();
    // BlobToImage still reads frame and crop selectors from the file name: there is none.
    info->filename[0] = '\0';
    copy_text(info->magick, "PNM");
    return ImageList(BlobToImage(info.get(), data, length, exception.get()));
}

}  // namespace morvane::magick
