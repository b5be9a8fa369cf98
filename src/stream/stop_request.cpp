#include "stream/stop_request.h"

#include <atomic>
#include <csignal>
#include <unistd.h>

namespace quillmap {

namespace {
// Written from a signal handler: a lock-free atomic is safe there.
std::atomic<int> g_requested{0};
static_assert(std::atomic<int>::is_always_lock_free);

extern "C" void on_stop_signal(int number) {
    // A second Ctrl-C (or SIGTERM) ends the process at once, as if nothing caught it; a write in
    // progress leaves only a temporary file.
    if (g_requested.exchange(number, std::memory_order_relaxed) > 0) ::_exit(128 + number);
}
} // namespace

namespace stop_request {

void catch_signals() {
    struct sigaction action {};
    action.sa_handler = on_stop_signal;
    sigemptyset(&action.sa_mask);
    // SA_RESTART: a write to a pipe that the signal meets goes on, so the summary printed after
    // a stop is never lost to EINTR. Waits poll the request (file_lock), so none blocks long.
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool requested() {
    return g_requested.load(std::memory_order_relaxed) != 0;
}

} // namespace stop_request

} // namespace quillmap
