#pragma once
// Watermarks: the text-watermark option group, the composite vector of an image
// watermark, and the two ways an image watermark is put on an output (over a finished
// output file, or over one image on its way to its output).

#include <string>

#include "arg_vector.h"
#include "outcome.h"
#include "output_files.h"
#include "run_context.h"

struct _Image;

namespace morvane {

struct JobSettings;

// "Center", "East", ... for 0 to 8; any other value is taken as 0.
[[nodiscard]] const char* location_name(int location);

// The font file the text is drawn with: what fontconfig matches for Arial; empty when
// nothing matches (ImageMagick's default font is used then).
[[nodiscard]] const std::string& watermark_font_file();

// The draw primitive for the text: "text 50,50 '...'", quotes and backslashes of the
// text escaped so that it is drawn literally, however long it is.
[[nodiscard]] std::string draw_text_item(const std::string& text);

// Appends the text-watermark group: true colour with alpha, font, point size 48, the colour
// at 90 % opacity, the anchor and the text 50,50 from it.
void append_text_watermark(const JobSettings& job, ArgVector& args);

// The composite vector: "Tarvik_morvane", ["-tile"], "-compose" "Over", "-dissolve"
// 100 - dissolve, ["-gravity" anchor], "-type" "TrueColor", the job's quality and
// interlace, then the
// watermark file, the picture and the output name.
[[nodiscard]] ArgVector composite_arguments(const JobSettings& job, const std::string& watermark,
                                            const std::string& picture, const std::string& output);

// Puts the job's image watermark over an output file already written: Written when it
// was put on, Skipped when the watermark image cannot be read, Failed when the composite
// failed; the output stays as it was unless Written, and `reason` says why.
[[nodiscard]] Outcome watermark_output_file(RunContext& ctx, const std::string& output);

// Writes one image to its output with the job's image watermark on it. Skipped (the
// image is not written) when the watermark image cannot be read.
[[nodiscard]] Outcome write_watermarked_image(RunContext& ctx, _Image* image,
                                              const std::string& output);

}  // namespace morvane
