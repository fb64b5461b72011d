// The MPEG frame extractor module: frames as portable pixmaps ("P6").

#include "tmpegd.h"

#include "frame_extractor.h"

namespace {

const morvane::frames::FrameFormat kPixmaps{"mpeg,mpegvideo,mpegts", AV_CODEC_ID_PPM,
                                            AV_PIX_FMT_RGB24, ".ppm"};

}  // namespace

extern "C" __attribute__((visibility("default"))) int mpeg_to_ppm(void* /*window*/,
                                                                  const char* source, int first,
                                                                  int last) {
    try {
        return morvane::frames::extract_frames(kPixmaps, source, first, last);
    } catch (...) {
        // Nothing may leave a C entry; the call failed and the video is let go.
        morvane::frames::release_video();
        return morvane::kFramesDecodeFailed;
    }
}

extern "C" __attribute__((visibility("default"))) long long mpeg_frame_count(const char* source) {
    try {
        return morvane::frames::frame_count(kPixmaps, source);
    } catch (...) {
        return morvane::kFramesNotAVideo;
    }
}
