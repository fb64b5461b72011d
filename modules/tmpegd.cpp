// The MPEG frame extractor module: frames as portable pixmaps ("P6").

#include "tmpegd.h"

#include "frame_extractor.h"

namespace {

const morvane::frames::FrameFormat kPixmaps{"mpeg,mpegvideo,mpegts",
                                            morvane::frames::FrameFile::Pixmap, ".ppm"};

}  // namespace

extern "C" __attribute__((visibility("default"))) int mpeg_to_ppm(void* /*window*/,
                                                                  const char* source, int first,
                                                                  int last) {
    return morvane::frames::extract_frames(kPixmaps, source, first, last);
}

extern "C" __attribute__((visibility("default"))) long long mpeg_frame_count(const char* source) {
    return morvane::frames::frame_count(kPixmaps, source);
}
