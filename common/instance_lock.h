#pragma once
// The single-instance lock: an exclusive flock on "Tarvik_morvane.lock" in the
// temporary folder, held for the life of the object (normally the process).

#include <string>

namespace morvane {

inline constexpr const char* kLockFileName = "Tarvik_morvane.lock";

enum class LockStatus {
    Taken,          // this object holds the lock
    HeldByAnother,  // another holder has it
    Failed,         // the lock file cannot be used; the reason says why
};

class InstanceLock {
  public:
    InstanceLock() = default;
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;
    ~InstanceLock();

    // Takes the lock. With Failed, `reason` says why ("it is a symbolic link",
    // "Permission denied", ...).
    [[nodiscard]] LockStatus acquire(const std::string& temp_folder, std::string& reason);

    // The lock file's path in a temporary folder.
    [[nodiscard]] static std::string path_in(const std::string& temp_folder);

  private:
    int fd_ = -1;
};

}  // namespace morvane
