#pragma once
// The camera-raw decoder module Tcrw.so and its one C entry. The engine loads the module
// from its program folder and looks the entry up by name.
//
// tcrw_decode(count, vector, data) decodes the camera-raw file named by the last item
// of `vector`: "Tarvik", optionally "-h", the file path, then a null entry; `count`
// items without the null. "-h" asks for half-size decoding (each side halved). On
// success it stores in *data the address of a binary portable anymap ("P6" colour or
// "P5" grey, 8 bits per sample) and returns its length in bytes; on any failure it
// returns 0 and stores null. The module owns those bytes: they stay valid until its
// next call or until it is unloaded, and the caller never frees them. One call at a
// time.

#include <cstddef>

extern "C" {

using tcrw_decode_fn = std::size_t (*)(int count, char** vector, unsigned char** data);

std::size_t tcrw_decode(int count, char** vector, unsigned char** data);
}

namespace morvane {

inline constexpr const char* kTcrwModule = "Tcrw.so";
inline constexpr const char* kTcrwEntry = "tcrw_decode";

}  // namespace morvane
