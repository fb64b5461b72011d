#pragma once
// The work behind both extractor modules' entries (see video_frames.h). Each module
// holds its own kept video: this code is compiled into each of them.

#include "frame_format.h"

namespace morvane::frames {

// The extract entry: frames `first` to `last` of `source` as files; a null `source`
// closes the kept video. Throws nothing: a failure is a negative result.
[[nodiscard]] int extract_frames(const FrameFormat& format, const char* source, int first,
                                 int last) noexcept;

// The count entry; throws nothing.
[[nodiscard]] long long frame_count(const FrameFormat& format, const char* source) noexcept;

// Closes the kept video, if any.
void release_video();

}  // namespace morvane::frames
