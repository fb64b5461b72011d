#pragma once
// The file-system rules around a conversion: outputs written whole under a temporary
// name and renamed into place, the overwrite rule, the refusal to write over a source,
// and the move of a converted source.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "fd_io.h"
#include "outcome.h"
#include "run_context.h"

namespace morvane {

// True when the output name exists (any kind of file); the overwrite rule keeps it.
[[nodiscard]] bool output_exists(const std::string& path);

// True when both paths name the same existing file (same device and inode).
[[nodiscard]] bool is_same_file(const std::string& a, const std::string& b);

// True when the job lets an output replace an existing file (PARAMS/erase 1).
[[nodiscard]] bool replaces_outputs(const JobSettings& job);

// The overwrite rule, for every converter, before an output is made from `input`: Kept
// when PARAMS/erase is 0 and the output exists (any kind of file, a link included);
// Failed when the output is the source itself; nothing when the output may be written.
// The commit of the output checks the rule once more, so an output that appears
// meanwhile is kept too.
[[nodiscard]] std::optional<Outcome> settle_output(const JobSettings& job,
                                                   const std::string& output,
                                                   const std::string& input);

// The outcome of a source of several outputs (pages, images, frames): Written when any
// of them was written, Kept when the overwrite rule kept all `count` of them, else
// `otherwise`.
[[nodiscard]] Outcome outputs_outcome(std::size_t written, std::size_t kept, std::size_t count,
                                      Outcome otherwise);

// Writes the bytes to a temporary name in the output's folder and renames it into
// place. With `replace` false an output that exists (or appears meanwhile) is kept and
// the result is Kept. On failure nothing is left behind and `reason` says why.
[[nodiscard]] Result write_output_file(const std::string& path, const void* data, std::size_t size,
                                       bool replace, std::string& reason);

// A work file beside an output that becomes the output only when committed, for
// writers that need a file to write into (a library command); removed otherwise.
// "the output file <path> cannot be written: <the system's reason>".
[[nodiscard]] std::string write_failure(const std::string& path, int error);

// A work file name ".<name>.tarvik-XXXXXX" read back: the file name of the output it
// was made for, as far as the work name holds it. A long name is cut to the length that
// work names in its folder keep (`cut` true: the output's name may go on).
struct WorkFileName {
    std::string output;
    bool cut = false;
};
// `folder` is the part of a path up to and including its last '/'. Nothing for a name
// that is not a work file name.
[[nodiscard]] std::optional<WorkFileName> read_work_file_name(const std::string& folder,
                                                              std::string_view name);

class OutputWork {
  public:
    explicit OutputWork(std::string path) : path_(std::move(path)) {}
    OutputWork(const OutputWork&) = delete;
    OutputWork& operator=(const OutputWork&) = delete;
    ~OutputWork();

    // Creates the work file; false with `reason` set when it cannot be created.
    [[nodiscard]] bool open(std::string& reason);
    [[nodiscard]] int fd() const { return fd_.get(); }
    // A name for the open work file that holds no character a library would interpret.
    [[nodiscard]] std::string descriptor_path() const;
    // Closes the work file and renames it into place (keeping an output that exists
    // when `replace` is false): Written, Kept or Failed with `reason` set.
    [[nodiscard]] Result commit(bool replace, std::string& reason);

  private:
    std::string path_;
    std::string work_path_;
    UniqueFd fd_;
};

// Syncs the folder that holds `file_path`, so that a rename or delete there lasts.
void sync_folder(const std::string& file_path);

// Moves a converted source into FOLDERS/move_path: renamed within one file system;
// across file systems, under a move note (see move_note.h), copied to a temporary name
// there, synced, renamed over the destination, then the source deleted. Logs the
// outcome.
void move_source(RunContext& ctx, const std::string& source);

}  // namespace morvane
