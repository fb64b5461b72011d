#pragma once
// Each worker process's own folder for ImageMagick's temporary files (pixel caches on
// disk), inside the engine's temporary folder: held by the worker while it lives, removed
// by the engine once it has ended, and swept at start when a killed run left one behind.

#include <string>

#include <sys/types.h>

namespace morvane {

// The worker's hold on its folder, "<temporary folder>/Tarvik_morvane-<pid>.magick": a lock on the
// file "worker.lock" in it, which goes with the process however it ends.
class WorkerFolder {
  public:
    WorkerFolder() = default;
    ~WorkerFolder();
    WorkerFolder(const WorkerFolder&) = delete;
    WorkerFolder& operator=(const WorkerFolder&) = delete;

    // In the worker, right after the fork: makes its folder (mode 0700), or takes over the
    // one a dead process of the same number left, locks it and points ImageMagick there.
    // False when it could not; ImageMagick then keeps its default place.
    bool take(const std::string& temp_folder);
    [[nodiscard]] const std::string& path() const { return path_; }

  private:
    int lock_ = -1;
    std::string path_;
};

// In the engine, once the worker `pid` was reaped: removes ImageMagick's files and the
// lock file from its folder, then the folder, unless a live process holds it.
void remove_worker_folder(const std::string& temp_folder, pid_t pid);

// At start: does the same for every worker folder in the temporary folder that nobody
// holds. Only regular files named "magick-*" and the lock file are removed, a folder
// holding anything else stays, and no link is followed.
void sweep_worker_folders(const std::string& temp_folder);

}  // namespace morvane
