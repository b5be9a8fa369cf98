#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace quillmap {

// Threads kept for the picture steps that split their work between threads: started on first
// use and kept, because a thread's start costs tens of microseconds, as much as halving a
// 128 x 128 picture takes. One step at a time has them; a step that finds them taken (by another
// thread's step, as in a batch) works alone, which also keeps the machine from being asked for
// more threads than it has.
class helper_threads {
  public:
    // The helpers of this process: one fewer than the machine's threads, at most `k_most`.
    static helper_threads& shared();
    static constexpr unsigned k_most = 7;

    explicit helper_threads(unsigned count);
    helper_threads(const helper_threads&) = delete;
    helper_threads& operator=(const helper_threads&) = delete;
    ~helper_threads();

    // Takes up to `wanted` helpers for one job: how many, 0 when another job has them.
    unsigned take(unsigned wanted);
    // Runs `job(k)` on each taken helper k and `own()` on this thread; then waits until every
    // helper has returned from the job, and gives them back. `own` must not throw.
    void run(const std::function<void(unsigned)>& job, const std::function<void()>& own);
    // Gives back helpers taken but not run.
    void give_back();

  private:
    void serve(std::stop_token stop, unsigned index);

    std::mutex lock_;
    std::condition_variable_any wake_;
    std::atomic<bool> taken_{false};
    std::atomic<unsigned> granted_{0}; // read by helpers that wake late
    const std::function<void(unsigned)>* job_ = nullptr;
    std::atomic<uint64_t> round_{0};
    std::atomic<unsigned> running_{0};
    // A child process made by fork() has none of the threads: it takes none.
    const long owner_ = 0;
    std::vector<std::jthread> threads_; // last: started once the rest is built
};

} // namespace quillmap
