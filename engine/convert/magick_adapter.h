#pragma once
// The one place that knows ImageMagick: owners of its records and image lists, and the
// few calls the converters make. Private to the converters; the library's own headers
// stay in magick_adapter.cpp.

#include <cstddef>
#include <memory>
#include <string>

struct _Image;
struct _ImageInfo;
struct _ExceptionInfo;

namespace morvane::magick {

struct ExceptionDeleter {
    void operator()(_ExceptionInfo* exception) const;
};
struct ImageInfoDeleter {
    void operator()(_ImageInfo* info) const;
};
// Destroys the whole list the pointer belongs to.
struct ImageListDeleter {
    void operator()(_Image* images) const;
};
struct BlobDeleter {
    void operator()(unsigned char* blob) const;
};

using Exception = std::unique_ptr<_ExceptionInfo, ExceptionDeleter>;
using ImageInfo = std::unique_ptr<_ImageInfo, ImageInfoDeleter>;
using ImageList = std::unique_ptr<_Image, ImageListDeleter>;  // holds the first image
using Blob = std::unique_ptr<unsigned char, BlobDeleter>;

enum class Interlace { Undefined, None, Line, Plane, Partition };

[[nodiscard]] Exception new_exception();
[[nodiscard]] ImageInfo new_image_info();

// The exception's reason, with its description in parentheses when there is one, on
// one line; `fallback` when ImageMagick gave no reason.
[[nodiscard]] std::string reason_text(const Exception& exception,
                                      const char* fallback = "unknown error");

// Sets the record's file name and lets ImageMagick settle the format from it
// (SetImageInfo with its second argument 1).
void set_file_name(const ImageInfo& info, const std::string& name, const Exception& exception);
// Makes a read stop after the first image of a file.
void read_first_image_only(const ImageInfo& info);
void set_quality(const ImageInfo& info, unsigned long quality);
// Lets the JPEG decoder scale a picture down while decoding, to the smallest size that
// still covers `width` x `height`.
void set_jpeg_decode_size(const ImageInfo& info, unsigned width, unsigned height);
void set_interlace(const ImageInfo& info, Interlace interlace);
[[nodiscard]] Interlace interlace(const ImageInfo& info);

// The option checks of the argument walk.
[[nodiscard]] bool is_geometry(const std::string& text);
[[nodiscard]] bool same_word(const std::string& text, const char* word);  // case ignored

// Reads the file named in the record: its images, or nothing with the exception set.
[[nodiscard]] ImageList read_image(const ImageInfo& info, const Exception& exception);
// Counts the images of a file from its headers only; 0 when it cannot be read.
[[nodiscard]] std::size_t count_images(const std::string& path);

[[nodiscard]] std::size_t list_length(const ImageList& images);
// The image at `index` (from 0) of the list, or null.
[[nodiscard]] _Image* image_at(const ImageList& images, std::size_t index);
// Moves every image of `more` to the end of `images`.
void append_images(ImageList& images, ImageList more);

// Turns the frames of an animation into whole pictures: a frame stored as a small
// rectangle over the one before it becomes the full picture a viewer shows.
void coalesce(ImageList& images, const Exception& exception);

// Applies the first `count` items of an argument vector to every image of the list.
void apply_options(const ImageInfo& info, int count, char** argv, ImageList& images,
                   const Exception& exception);

// Flattens an image with an alpha channel onto white; other images are unchanged.
void flatten_onto_white(_Image* image);

// Writes the image as a JPEG file to `target` ("/proc/self/fd/N" of an open work file),
// with the record's quality and interlace like encode_jpeg; false with `reason` set.
[[nodiscard]] bool write_jpeg(const ImageInfo& info, _Image* image, const std::string& target,
                              std::string& reason);
// Encodes one image as a JPEG file in memory with the record's quality and interlace
// (baseline unless the record asks for an interlaced file).
[[nodiscard]] Blob encode_jpeg(const ImageInfo& info, _Image* image, std::size_t& size,
                               const Exception& exception);

}  // namespace morvane::magick

// Watermarks and whole commands.
namespace morvane::magick {

// True when ImageMagick reads a picture from the file.
[[nodiscard]] bool can_read(const std::string& path);

// The bytes of pixel memory ImageMagick may hold at once (its memory resource limit).
[[nodiscard]] unsigned long long memory_limit();

// True when ImageMagick's width, height and area limits allow a picture of that size.
[[nodiscard]] bool within_size_limits(unsigned width, unsigned height);

// Runs a convert-style or a composite-style argument vector (item 0 the program word);
// false with ImageMagick's reason when the command fails.
[[nodiscard]] bool convert_command(int count, char** argv, std::string& reason);
[[nodiscard]] bool composite_command(int count, char** argv, std::string& reason);

// Puts a picture in RGB so that coloured marks keep their colour; alpha is kept.
void make_rgb(_Image* image);

// Encodes one image as a colour JPEG with ImageMagick's default settings.
[[nodiscard]] Blob encode_default_jpeg(_Image* image, std::size_t& size,
                                       const Exception& exception);

}  // namespace morvane::magick

// Pictures that another decoder hands over in memory (the camera-raw module).
namespace morvane::magick {

// Decodes a portable anymap (P1 to P6) held in memory; null with the exception set when
// the bytes are not one.
[[nodiscard]] ImageList read_anymap(const void* data, std::size_t length,
                                    const Exception& exception);

}  // namespace morvane::magick
