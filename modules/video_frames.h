#pragma once
// What the two frame extractor modules (Tdib.so for AVI, Tmpegd.so for MPEG) have in
// common: the form of their two C entries and the failures they report.
//
// extract(window, source, first, last) writes the frames `first` to `last` (inclusive)
// of the first video stream of `source` into the user's temporary folder ($TMPDIR when
// it names a folder, else /tmp/tarvik_morvane-<uid>) as "<base>_<n>.<ext>", with
// <base> the source's file name without its extension and n counting from 0 within the
// call. It returns the number of frame files written, all of them complete; 0 when the
// range holds no frame; a negative kFrames... value on failure, with nothing of the
// call left behind. Frames are counted from 0 over the whole video in the order the
// decoder gives them (presentation order). -1 and -1 mean every frame; a negative
// `first` alone means from the start, a negative `last` alone up to the end.
// `window` is not used (callers pass null).
//
// A module keeps the video of its last call open: a call that asks for the frames
// right after those of the previous call on the same, unchanged file goes on where that
// one stopped instead of decoding from the start again. A call with a null `source`
// closes the video (and writes nothing); so does a call for another file, and unloading.
//
// count(source) tells how many frames the video holds, for progress reports: the count
// stored in the container when there is one (AVI), else the pictures counted by reading
// the stream through without decoding it (MPEG). Negative when the file cannot be
// opened as a video.
//
// One call at a time.

extern "C" {

using frame_extractor_fn = int (*)(void* window, const char* source, int first, int last);
using frame_count_fn = long long (*)(const char* source);
}

namespace morvane {

// Failures of an extractor call.
inline constexpr int kFramesNotAVideo = -1;     // cannot be opened, or holds no video
inline constexpr int kFramesNoDecoder = -2;     // its video coding is not supported
inline constexpr int kFramesDecodeFailed = -3;  // decoding failed before the range ended
inline constexpr int kFramesNoTempFolder = -4;  // the temporary folder cannot be used
inline constexpr int kFramesCannotWrite = -5;   // a frame file cannot be written
inline constexpr int kFramesCannotEncode = -6;  // a frame cannot be turned into a file

}  // namespace morvane
