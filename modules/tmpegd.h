#pragma once
// The MPEG frame extractor module Tmpegd.so: writes frames of an MPEG-1 or MPEG-2 file
// (program stream, transport stream or bare video stream) as portable pixmaps ("P6",
// "<base>_<n>.ppm") into the user's temporary folder. Its entries follow video_frames.h; the engine
// loads the module from its program folder and looks the entries up by name.

#include "video_frames.h"

extern "C" {

int mpeg_to_ppm(void* window, const char* source, int first, int last);
long long mpeg_frame_count(const char* source);
}

namespace morvane {

inline constexpr const char* kTmpegdModule = "Tmpegd.so";
inline constexpr const char* kTmpegdEntry = "mpeg_to_ppm";
inline constexpr const char* kTmpegdCountEntry = "mpeg_frame_count";

}  // namespace morvane
