#pragma once
// Whole-buffer reads and writes on file descriptors, carried on after EINTR and short
// transfers.

#include <cstddef>

namespace morvane {

// Writes all `size` bytes; false when the descriptor refuses one (errno says why).
[[nodiscard]] bool write_all(int fd, const void* data, std::size_t size);
// Reads exactly `size` bytes; false at end of file or on an error before that.
[[nodiscard]] bool read_exactly(int fd, void* data, std::size_t size);

}  // namespace morvane
