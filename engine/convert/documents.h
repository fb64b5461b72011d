#pragma once
// What the document converters (PDF, PostScript, Photoshop) share: the end of their
// progress reports, and reading a file into ImageMagick by its descriptor.

#include <string>

#include "fd_io.h"
#include "run_context.h"

namespace morvane {

// Progress 100 and a short pause, so the Monitor window shows the bar full; only when
// it listens.
void report_full_progress(RunContext& ctx);

// A file opened for reading, named for ImageMagick by its descriptor with the coder
// forced ("PNM:/proc/self/fd/N"), so that nothing in its name is interpreted and its
// contents cannot pick another coder.
class InputFile {
  public:
    InputFile() = default;

    // False with `reason` set when the file cannot be opened.
    [[nodiscard]] bool open(const std::string& path, std::string& reason);
    [[nodiscard]] std::string item(const char* coder) const;
    // ImageMagick's reason with the descriptor's name put back to the file's own.
    [[nodiscard]] std::string named(std::string reason) const;

  private:
    [[nodiscard]] std::string descriptor_path() const;

    std::string path_;
    UniqueFd fd_;
};

}  // namespace morvane
