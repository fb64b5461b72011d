#include "stop_request.h"

namespace morvane {
namespace {

// The one flag a signal handler may set.
volatile std::sig_atomic_t g_stop = 0;

extern "C" void on_stop_signal(int) {
    g_stop = 1;
}

}  // namespace

StopRequest StopRequest::from_signals() {
    struct sigaction action {};
    action.sa_handler = on_stop_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    (void)sigaction(SIGTERM, &action, nullptr);
    (void)sigaction(SIGINT, &action, nullptr);
    return StopRequest(&g_stop);
}

}  // namespace morvane
