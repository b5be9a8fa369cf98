#include "stream/work_pool.h"

#include <algorithm>
#include <atomic>
#include <climits>

#if defined(__unix__) || defined(__APPLE__)
#include <unistd.h>
#endif

namespace quillmap {

namespace {
// Whether this thread is already counted in its pool's busy threads: a pool thread at work, or
// a caller inside one of its loops (a loop started there takes no second place).
thread_local const work_pool* t_counted_in = nullptr;

long this_process() {
#if defined(__unix__) || defined(__APPLE__)
    return long(::getpid());
#else
    return 0;
#endif
}

const long k_owner = this_process();
} // namespace

struct work_pool::loop {
    const std::function<void(size_t)>* body = nullptr;
    size_t count = 0;
    unsigned helpers_wanted = 0; // pool threads the loop may take
    std::atomic<size_t> next{0};
    // Under the pool's lock:
    unsigned helpers = 0; // pool threads that joined
    unsigned inside = 0;  // of those, the ones still at work on it
    std::exception_ptr failure;

    bool open() const { return next.load(std::memory_order_relaxed) < count; }
};

work_pool& work_pool::shared() {
    // Never destroyed: its threads wait idle at exit and end with the process, and a child made
    // by fork() that exits normally must not wait for threads that are its parent's.
    static work_pool* const pool = new work_pool(std::max(std::thread::hardware_concurrency(), 1u));
    return *pool;
}

work_pool::work_pool(unsigned budget) : budget_(std::max(budget, 1u)) {}

work_pool::~work_pool() {
    {
        const std::lock_guard guard(lock_);
        for (auto& thread : threads_)
            thread.request_stop();
    }
    wake_.notify_all();
    threads_.clear(); // joins
}

unsigned work_pool::budget() const {
    const std::lock_guard guard(lock_);
    return budget_;
}

void work_pool::set_budget(unsigned budget) {
    {
        const std::lock_guard guard(lock_);
        budget_ = std::max(budget, 1u);
    }
    wake_.notify_all();
}

void work_pool::start_threads() {
    // The callers take one place at least: the pool needs one thread fewer than the budget.
    while (threads_.size() + 1 < budget_)
        threads_.emplace_back([this](std::stop_token stop) { serve(stop); });
}

void work_pool::run_share(loop& work) {
    for (size_t i = work.next++; i < work.count; i = work.next++) {
        try {
            (*work.body)(i);
        } catch (...) {
            const std::lock_guard guard(lock_);
            if (!work.failure) work.failure = std::current_exception();
            work.next = work.count; // no call more is started
        }
    }
}

void work_pool::for_each(size_t count, const std::function<void(size_t)>& body, unsigned width) {
    if (count == 0) return;
    loop work;
    work.body = &body;
    work.count = count;
    work.helpers_wanted = unsigned(std::min<size_t>(width == 0 ? UINT_MAX : width - 1, count - 1));
    // A child made by fork() has none of the threads (and perhaps a lock some thread held).
    if (this_process() != k_owner) {
        for (size_t i = 0; i < count; ++i)
            body(i);
        return;
    }
    // This thread takes a place in the budget unless it holds one already (a loop inside a loop).
    const bool counted = t_counted_in == this;
    const bool helped = work.helpers_wanted > 0;
    {
        const std::lock_guard guard(lock_);
        if (!counted) ++busy_; // a caller is never refused, whatever the budget
        if (helped) {
            open_.push_back(&work);
            start_threads();
        }
    }
    if (helped) wake_.notify_all();
    const work_pool* const outer = t_counted_in;
    t_counted_in = this;
    run_share(work);
    t_counted_in = outer;
    std::exception_ptr failure;
    {
        std::unique_lock guard(lock_);
        if (helped) {
            std::erase(open_, &work);
            left_.wait(guard, [&] { return work.inside == 0; });
        }
        if (!counted) --busy_;
        failure = work.failure;
    }
    if (!counted) wake_.notify_all(); // a place in the budget is free
    if (failure) std::rethrow_exception(failure);
}

void work_pool::serve(std::stop_token stop) {
    std::unique_lock guard(lock_);
    const auto joinable = [this]() -> loop* {
        if (busy_ >= budget_) return nullptr;
        for (loop* work : open_)
            if (work->helpers < work->helpers_wanted && work->open()) return work;
        return nullptr;
    };
    while (true) {
        loop* work = nullptr;
        if (!wake_.wait(guard, stop, [&] { return (work = joinable()) != nullptr; })) return;
        ++work->helpers;
        ++work->inside;
        ++busy_;
        guard.unlock();
        t_counted_in = this;
        run_share(*work);
        t_counted_in = nullptr;
        guard.lock();
        --busy_;
        // The loop's last calls are taken: no other thread need look at it.
        if (!work->open()) std::erase(open_, work);
        --work->inside;
        left_.notify_all();
        // The place this thread leaves may let another join a loop it could not.
        wake_.notify_all();
    }
}

work_pool::budget_scope::budget_scope(work_pool& pool, unsigned budget) : pool_(pool) {
    if (budget == 0) return;
    previous_ = pool.budget();
    changed_ = true;
    pool.set_budget(budget);
}

work_pool::budget_scope::~budget_scope() {
    if (changed_) pool_.set_budget(previous_);
}

} // namespace quillmap
