#pragma once
// The note a move across file systems keeps while it copies, and the finish of a move
// whose process died in the middle: a source is deleted only once its copy is whole.

#include <string>

#include <sys/types.h>

namespace morvane {

class LogFile;

// "Tarvik_morvane-<pid>.move" in the temporary folder: the source and destination of
// the move the process makes, written and synced before the copy starts, held under a
// lock while the move runs and removed when it is over. A note nobody holds belongs to
// a process that died during its move.
class MoveNote {
  public:
    MoveNote() = default;
    ~MoveNote() { close(); }
    MoveNote(const MoveNote&) = delete;
    MoveNote& operator=(const MoveNote&) = delete;

    // Writes the note of this process (finishing first the move of a dead process that
    // had the same number, its lines to `log`). False when it cannot be written; no
    // note is left then.
    [[nodiscard]] bool open(const std::string& temp_folder, const std::string& source,
                            const std::string& destination, LogFile& log);
    // Removes the note.
    void close();

  private:
    std::string path_;
    int fd_ = -1;
};

// The note of process `pid`; an empty temporary folder stands for the user's.
[[nodiscard]] std::string move_note_path(const std::string& temp_folder, pid_t pid);

// Finishes the move of a note that nobody holds and removes the note, logging what it
// found: a destination byte for byte the source means the copy was in place, and the
// source is deleted; a destination that differs keeps both files; without a
// destination the source stays where it was. The move's work files beside the
// destination go. A note held by a live process is left alone.
void finish_interrupted_move(const std::string& note_path, LogFile& log);

// The same for every note in the temporary folder.
void finish_interrupted_moves(const std::string& temp_folder, LogFile& log);

}  // namespace morvane
