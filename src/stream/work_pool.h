#pragma once

#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace quillmap {

// The threads the process works on: one pool, shared by every step that splits its work
// (DXT block rows, the rows of a mip chain, the dictionaries of a batch, previews), and one
// budget, the most threads that work at once. A loop runs on the thread that calls it and on
// the pool's idle threads while the budget allows; a loop started inside another (a picture's
// rows inside a batch job) takes threads only when the budget has some left, so `batch -j N`
// keeps at most N threads busy however its jobs split their pictures.
//
// The caller of a loop always works on it and waits only for threads that joined it, never for
// work not yet taken: a loop ends even when no thread is free, and a child made by fork(),
// which has none of the pool's threads, works alone.
class work_pool {
  public:
    // The process's pool; its budget starts at the machine's thread count.
    static work_pool& shared();

    // A pool of at most `budget` threads at work (at least 1), the callers included.
    explicit work_pool(unsigned budget);
    work_pool(const work_pool&) = delete;
    work_pool& operator=(const work_pool&) = delete;
    ~work_pool();

    unsigned budget() const;
    // Changes the budget; loops already running keep the threads they have.
    void set_budget(unsigned budget);

    // Calls `body(i)` once for each i in 0 .. count - 1, on this thread and on up to
    // `width` - 1 pool threads (0: as many as the budget allows), in no set order. Returns when
    // every call has returned; the first exception a call throws is rethrown here.
    void for_each(size_t count, const std::function<void(size_t)>& body, unsigned width = 0);

    // The budget a batch asks for, for as long as it runs; 0 keeps the budget as it is.
    class budget_scope {
      public:
        budget_scope(work_pool& pool, unsigned budget);
        budget_scope(const budget_scope&) = delete;
        budget_scope& operator=(const budget_scope&) = delete;
        ~budget_scope();

      private:
        work_pool& pool_;
        unsigned previous_ = 0;
        bool changed_ = false;
    };

  private:
    struct loop;
    void serve(std::stop_token stop);
    void start_threads(); // call with lock_ held
    void run_share(loop& work);

    mutable std::mutex lock_;
    std::condition_variable_any wake_; // pool threads: a loop to join, or room in the budget
    std::condition_variable left_;     // callers: a thread left their loop
    std::vector<loop*> open_;          // loops with calls not yet taken, oldest first
    unsigned budget_ = 1;
    unsigned busy_ = 0;                 // threads at work on a loop, callers included
    std::vector<std::jthread> threads_; // started as the budget needs them
};

} // namespace quillmap
