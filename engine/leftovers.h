#pragma once
// What a conversion that was stopped may leave behind, and the work journal through
// which the next run finds the leftovers of a run that was killed.

#include <string>
#include <utility>
#include <vector>

#include "output_name.h"

namespace morvane {

class LogFile;

// The places one conversion writes its intermediate files to.
struct WorkPlaces {
    std::string source;
    OutputName output;        // the output name; its folder gets the output work files
    std::string move_folder;  // empty when the source does not move
};

// Removes the files the conversion of `w` may have left: its page and frame files and
// tmp.jpg in the temporary folder, the ".<name>*.tarvik-*" work files beside its output
// and in the move folder. Nothing else is touched, never a ".log" file.
void remove_leftovers(const std::string& temp_folder, const WorkPlaces& w);

// A run's note of the conversion in progress, "Tarvik_morvane-<pid>.work" in the
// temporary folder, held under a lock for the life of the run. A note that nobody holds
// belongs to a run that was killed; `open` sweeps such notes' leftovers first.
class WorkJournal {
  public:
    WorkJournal() = default;
    ~WorkJournal();
    WorkJournal(const WorkJournal&) = delete;
    WorkJournal& operator=(const WorkJournal&) = delete;

    // Sweeps what killed runs left and, with a log to report them in, finishes the moves
    // they were making (see move_note.h); then starts this run's note. False without a
    // note (the run goes on; only a later sweep loses this run's leftovers).
    bool open(const std::string& temp_folder, LogFile* log = nullptr);
    // Notes a conversion about to start; `end` forgets it once it ended. Several may be
    // noted at once.
    unsigned begin(const WorkPlaces& w);
    void end(unsigned entry);
    // Removes this run's note.
    void close();

  private:
    void rewrite();

    std::vector<std::pair<unsigned, std::string>> entries_;
    unsigned next_entry_ = 1;
    std::string temp_folder_;
    std::string path_;
    int fd_ = -1;
};

}  // namespace morvane
