#pragma once
// Comparisons of names that ignore the letter case of ASCII letters, as extensions,
// job-file keys and the like are compared.

#include <string_view>

namespace morvane {

[[nodiscard]] constexpr char ascii_lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// True when both hold the same letters, case ignored.
[[nodiscard]] constexpr bool equal_ignoring_case(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (ascii_lower(a[i]) != ascii_lower(b[i])) return false;
    }
    return true;
}

// True when `text` begins with `head`, case ignored.
[[nodiscard]] constexpr bool starts_with_ignoring_case(std::string_view text,
                                                       std::string_view head) {
    return text.size() >= head.size() && equal_ignoring_case(text.substr(0, head.size()), head);
}

}  // namespace morvane
