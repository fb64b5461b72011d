#pragma once
// The one place that knows Ghostscript's C API. Private to the page renderer, which
// calls it in a child process; the library's headers stay in documents_ghostscript.cpp.

#include <string>
#include <vector>

namespace morvane::ghostscript {

// Runs one interpreter instance with the arguments (item 0 the program word, ignored by
// Ghostscript) and removes it again. Its console output is captured, never printed,
// and it reads nothing from standard input. True when it finished without an error;
// `message` is the line of its output that tells most about a failure (empty when it
// said nothing).
[[nodiscard]] bool run(const std::vector<std::string>& args, std::string& message);

// The line of captured output that tells most: the first that reports an error, else
// the first that is not blank; trimmed, without Ghostscript's "****" marks.
[[nodiscard]] std::string telling_line(const std::string& output);

}  // namespace morvane::ghostscript
