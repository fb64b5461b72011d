#pragma once
// The AVI frame extractor module Tdib.so: writes frames of an AVI file as Windows
// bitmaps (24 bits, "<base>_<n>.bmp") into the user's temporary folder. Its entries
// follow video_frames.h; the engine loads the module from its program folder and looks
// the entries up by name.

#include "video_frames.h"

extern "C" {

int AVItoBMP(void* window, const char* source, int first, int last);
long long avi_frame_count(const char* source);
}

namespace morvane {

inline constexpr const char* kTdibModule = "Tdib.so";
inline constexpr const char* kTdibEntry = "AVItoBMP";
inline constexpr const char* kTdibCountEntry = "avi_frame_count";

}  // namespace morvane
