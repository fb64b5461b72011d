#pragma once
// What became of an output, a page, a frame or a whole source inside the converters:
// one vocabulary for all of them. convert_source turns a source's outcome into the run's
// 1, 0 or -1 and writes its failure lines.

#include <string>

namespace morvane {

enum class Result {
    Written,     // written (for a source: at least one of its outputs)
    Kept,        // the overwrite rule kept an existing output byte for byte
    Skipped,     // deliberately not written (an image watermark that cannot be read);
                 // it counts as done
    Unreadable,  // the source, or a page or frame of it, cannot be read
    Refused,     // a job value the engine cannot honour (a bad or impossible size)
    Failed,      // an output cannot be written, a decoder is missing, ...
};

struct Outcome {
    Result result = Result::Failed;
    // Why, for Unreadable, Refused and Failed (may be empty for Refused: a bad option
    // value is not explained).
    std::string reason;

    [[nodiscard]] bool done() const {
        return result == Result::Written || result == Result::Skipped;
    }
};

}  // namespace morvane
