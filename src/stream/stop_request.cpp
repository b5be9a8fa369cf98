#include "stream/stop_request.h"

#include <atomic>
#include <csignal>

namespace quillmap {

namespace {
// Written from a signal handler: a lock-free atomic is safe there.
std::atomic<int> g_requested{0};
static_assert(std::atomic<int>::is_always_lock_free);

extern "C" void on_stop_signal(int number) {
    g_requested.store(number, std::memory_order_relaxed);
}
} // namespace

namespace stop_request {

void catch_signals() {
    struct sigaction action {};
    action.sa_handler = on_stop_signal;
    sigemptyset(&action.sa_mask);
    // No SA_RESTART: a blocking wait returns early so that the stop is seen soon.
    action.sa_flags = 0;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool requested() {
    return g_requested.load(std::memory_order_relaxed) != 0;
}

} // namespace stop_request

} // namespace quillmap
