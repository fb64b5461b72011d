#pragma once
// A run stopped from outside: SIGTERM and SIGINT set a flag that the run reads before it
// hands on each source; the sources already begun finish and the run ends as usual.

#include <csignal>

namespace morvane {

class StopRequest {
  public:
    // A request that never comes.
    StopRequest() = default;
    // Follows `flag`: asked once it is not 0.
    explicit StopRequest(const volatile std::sig_atomic_t* flag) : flag_(flag) {}
    // Installs the handlers of SIGTERM and SIGINT (interrupted calls are restarted) and
    // follows the flag they set.
    [[nodiscard]] static StopRequest from_signals();

    [[nodiscard]] bool asked() const { return flag_ != nullptr && *flag_ != 0; }

  private:
    const volatile std::sig_atomic_t* flag_ = nullptr;
};

}  // namespace morvane
