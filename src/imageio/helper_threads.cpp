#include "imageio/helper_threads.h"

#include <algorithm>
#include <chrono>

#if defined(__unix__) || defined(__APPLE__)
#include <unistd.h>
#endif

namespace quillmap {

namespace {
// A helper that has finished a job watches for the next one this long before it sleeps: steps
// come in runs (the levels of one texture, the textures of one import), and waking a sleeping
// thread costs about as much as starting one.
constexpr auto k_watch = std::chrono::microseconds(200);

long this_process() {
#if defined(__unix__) || defined(__APPLE__)
    return long(::getpid());
#else
    return 0;
#endif
}
} // namespace

helper_threads& helper_threads::shared() {
    // Never destroyed: at exit the helpers wait idle and end with the process, and a child made
    // by fork() that exits normally must not wait for threads that are its parent's.
    static helper_threads* const helpers =
        new helper_threads(std::min(std::max(std::thread::hardware_concurrency(), 1u) - 1, k_most));
    return *helpers;
}

helper_threads::helper_threads(unsigned count) : owner_(this_process()) {
    threads_.reserve(count);
    for (unsigned k = 0; k < count; ++k)
        threads_.emplace_back([this, k](std::stop_token stop) { serve(stop, k); });
}

helper_threads::~helper_threads() {
    for (auto& thread : threads_)
        thread.request_stop();
    wake_.notify_all();
}

unsigned helper_threads::take(unsigned wanted) {
    if (threads_.empty() || wanted == 0 || this_process() != owner_ ||
        taken_.exchange(true, std::memory_order_acquire))
        return 0;
    const unsigned granted = std::min<unsigned>(wanted, unsigned(threads_.size()));
    granted_ = granted;
    return granted;
}

void helper_threads::give_back() {
    if (granted_ == 0) return;
    granted_ = 0;
    taken_.store(false, std::memory_order_release);
}

void helper_threads::run(const std::function<void(unsigned)>& job,
                         const std::function<void()>& own) {
    if (granted_ == 0) return own();
    {
        const std::lock_guard guard(lock_);
        job_ = &job;
        running_.store(granted_.load(), std::memory_order_relaxed);
        round_.fetch_add(1, std::memory_order_release);
    }
    wake_.notify_all();
    own();
    // The job's work is shared with this thread; what is left when it returns is short.
    while (running_.load(std::memory_order_acquire) != 0)
        std::this_thread::yield();
    {
        const std::lock_guard guard(lock_);
        job_ = nullptr;
    }
    give_back();
}

void helper_threads::serve(std::stop_token stop, unsigned index) {
    uint64_t seen = 0;
    while (!stop.stop_requested()) {
        const auto until = std::chrono::steady_clock::now() + k_watch;
        while (round_.load(std::memory_order_acquire) == seen &&
               std::chrono::steady_clock::now() < until)
            std::this_thread::yield();
        std::unique_lock guard(lock_);
        if (!wake_.wait(guard, stop, [&] { return round_.load() != seen; })) return;
        seen = round_.load();
        const std::function<void(unsigned)>* job = index < granted_ ? job_ : nullptr;
        guard.unlock();
        if (!job) continue;
        (*job)(index);
        running_.fetch_sub(1, std::memory_order_release);
    }
}

} // namespace quillmap
