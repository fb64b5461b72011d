#pragma once
// The converters convert_source routes to, one per kind of source. Each turns one
// source into its JPEG output(s) and reports the result; moving the source is left to
// convert_source.

#include <string>
#include <string_view>

#include "convert_source.h"
#include "outcome.h"

namespace morvane {

[[nodiscard]] Outcome convert_camera_raw(RunContext& ctx, const std::string& source,
                                         const OutputName& output);
[[nodiscard]] Outcome convert_pdf(RunContext& ctx, const std::string& source,
                                  const OutputName& output);
// PostScript, EPS and Illustrator sources.
[[nodiscard]] Outcome convert_postscript(RunContext& ctx, const std::string& source,
                                         const OutputName& output);
[[nodiscard]] Outcome convert_avi(RunContext& ctx, const std::string& source,
                                  const OutputName& output);
[[nodiscard]] Outcome convert_mpeg(RunContext& ctx, const std::string& source,
                                   const OutputName& output);
[[nodiscard]] Outcome convert_photoshop(RunContext& ctx, const std::string& source,
                                        const OutputName& output);

// True when the extension's leading characters equal `lead`, case ignored (an
// extension shorter than `lead` never matches). Sources are routed by their whole
// extension (route_for_extension); this serves the GIF and ICO output naming.
[[nodiscard]] bool extension_starts_with(std::string_view ext, std::string_view lead);

}  // namespace morvane
