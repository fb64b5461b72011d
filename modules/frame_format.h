#pragma once
// What an extractor module makes of a video: the demuxers it accepts and the kind of
// picture file it writes. FFmpeg's own names for these stay in the module's sources.

namespace morvane::frames {

enum class FrameFile {
    Bitmap,  // 24-bit Windows bitmap, ".bmp"
    Pixmap,  // portable pixmap "P6", ".ppm"
};

struct FrameFormat {
    const char* demuxers;  // comma-separated FFmpeg demuxer names
    FrameFile file;
    const char* extension;  // ".bmp" or ".ppm"
};

}  // namespace morvane::frames
