// The extension test on an arbitrary extension and filter (split at the first NUL).

#include <cstdlib>
#include <string_view>

#include "walks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::size_t split = text.find('\0');
    const std::string_view ext = text.substr(0, split);
    const std::string_view filter = split == std::string_view::npos ? "" : text.substr(split + 1);
    const bool passes = morvane::passes_filter(ext, filter);
    if (ext.empty() && passes) std::abort();
    if (!ext.empty() && filter.find(ext) != std::string_view::npos && !passes) std::abort();
    return 0;
}
