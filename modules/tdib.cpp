// The AVI frame extractor module: frames as 24-bit Windows bitmaps.

#include "tdib.h"

#include "frame_extractor.h"

namespace {

const morvane::frames::FrameFormat kBitmaps{"avi", morvane::frames::FrameFile::Bitmap, ".bmp"};

}  // namespace

extern "C" __attribute__((visibility("default"))) int AVItoBMP(void* /*window*/, const char* source,
                                                               int first, int last) {
    return morvane::frames::extract_frames(kBitmaps, source, first, last);
}

extern "C" __attribute__((visibility("default"))) long long avi_frame_count(const char* source) {
    return morvane::frames::frame_count(kBitmaps, source);
}
