// The AVI frame extractor module: frames as 24-bit Windows bitmaps.

#include "tdib.h"

#include "frame_extractor.h"

namespace {

const morvane::frames::FrameFormat kBitmaps{"avi", AV_CODEC_ID_BMP, AV_PIX_FMT_BGR24, ".bmp"};

}  // namespace

extern "C" __attribute__((visibility("default"))) int AVItoBMP(void* /*window*/, const char* source,
                                                               int first, int last) {
    return morvane::frames::extract_frames(kBitmaps, source, first, last);
}

extern "C" __attribute__((visibility("default"))) long long avi_frame_count(const char* source) {
    return morvane::frames::frame_count(kBitmaps, source);
}
