#pragma once
// Start and end of the imaging library for the whole engine process.

#include <string>

namespace morvane {

// Starts ImageMagick once, before the first conversion; `program_folder` is where the
// engine runs from. Only the raster readers stay open to sources and watermark images:
// the script-like, text, generator and indirect readers, the external programs
// ImageMagick would start and "@file" lists are refused by the library's security
// policy. False, with `reason`, when the library or its restrictions did not come up.
[[nodiscard]] bool start_imaging(const std::string& program_folder, std::string& reason);

// The function the engine starts the library with (start_imaging; the tests give
// others).
using ImagingStarter = bool (*)(const std::string& program_folder, std::string& reason);

// Releases the library at the end of the run; no conversion may follow.
void stop_imaging();

// Where ImageMagick puts its temporary files (pixel caches on disk and the like) from
// now on, in this process; an empty folder leaves its default.
void set_imaging_temporary_folder(const std::string& folder);

}  // namespace morvane
