#pragma once
// What one run hands to every piece of conversion: the job, the run log, the link to
// the Monitor window and the temporary files the run has made.

#include <unistd.h>

#include "temp_files.h"

namespace morvane {

struct JobSettings;
class LogFile;
class ModuleLoader;
class MonitorLink;

// Tells the engine that supervises a conversion that a long one is still moving (a page
// or a batch of frames is done), so that its time limit starts again. Nothing happens
// when the conversion is not supervised.
struct Heartbeat {
    // The byte a beat puts on the supervised child's result pipe.
    static constexpr char kTag = 'H';
    int fd = -1;  // set in the supervised child

    void beat() const {
        if (fd >= 0) (void)!::write(fd, &kTag, 1);
    }
};

class WorkJournal;

struct RunContext {
    const JobSettings& job;
    LogFile& log;
    MonitorLink& link;
    TempFiles& temp;
    // The decoder modules of the program folder; null when the run has none to offer.
    ModuleLoader* modules = nullptr;
    Heartbeat heartbeat{};
    // The note of the conversion in progress that a killed run leaves for the next one;
    // null when the run keeps none.
    WorkJournal* journal = nullptr;
};

}  // namespace morvane
