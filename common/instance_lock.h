#pragma once
// The single-instance lock: an exclusive flock on "Tarvik_morvane.lock" in the
// temporary folder, held for the life of the object (normally the process).

#include <string>

namespace morvane {

class InstanceLock {
  public:
    InstanceLock() = default;
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;
    ~InstanceLock();

    // False when another process holds the lock or the lock file cannot be created.
    [[nodiscard]] bool acquire(const std::string& temp_folder);

  private:
    int fd_ = -1;
};

}  // namespace morvane
