// The process's thread pool: every call of a loop made once, loops inside loops (a batch job's
// DXT rows) kept to the thread budget however they nest, a failing call reported to the caller,
// a child made by fork() working alone, and a batch's jobs setting the budget while it runs.
#include "test_files.h"

#include "batch/batch_runner.h"
#include "batch/batch_sources.h"
#include "stream/work_pool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>

#include <sys/wait.h>
#include <unistd.h>

namespace quillmap {

namespace {
// Threads at work at once, however deep in loops: a thread counts from its outermost call on.
struct busy_count {
    std::atomic<int> now{0};
    std::atomic<int> peak{0};

    void enter(int& depth) {
        if (depth++ > 0) return;
        const int busy = ++now;
        for (int seen = peak; busy > seen && !peak.compare_exchange_weak(seen, busy);) {
        }
    }
    void leave(int& depth) {
        if (--depth == 0) --now;
    }
};
thread_local int t_depth = 0;

void pause_a_little() {
    std::this_thread::sleep_for(std::chrono::microseconds(400));
}
} // namespace

// Each call made exactly once whatever the budget and the width asked for, and never more
// threads at once than either allows.
TEST(WorkPool, EachCallOnceWithinBudgetAndWidth) {
    struct row {
        unsigned budget, width;
        size_t count;
    };
    const row rows[] = {{1, 0, 20}, {2, 0, 20}, {3, 0, 40}, {4, 2, 40},
                        {3, 1, 10}, {2, 0, 1},  {3, 9, 2},  {2, 0, 0}};
    for (const row& r : rows) {
        const std::string where = "budget " + std::to_string(r.budget) + " width " +
                                  std::to_string(r.width) + " count " + std::to_string(r.count);
        work_pool pool(r.budget);
        std::vector<std::atomic<int>> calls(r.count);
        busy_count busy;
        pool.for_each(
            r.count,
            [&](size_t i) {
                busy.enter(t_depth);
                ++calls[i];
                pause_a_little();
                busy.leave(t_depth);
            },
            r.width);
        for (size_t i = 0; i < r.count; ++i)
            EXPECT_EQ(calls[i].load(), 1) << where << " call " << i;
        const unsigned most = std::min(r.budget, r.width ? r.width : r.budget);
        EXPECT_LE(busy.peak.load(), int(most)) << where;
        EXPECT_EQ(busy.now.load(), 0) << where;
    }
}

// The shape of a batch of DXT work: an outer loop of jobs as wide as the budget, each job's rows
// an inner loop that asks for every thread. The jobs and their rows together keep to the budget,
// and the budget is used: threads left free by finished jobs help the rows of the others.
TEST(WorkPool, LoopsInsideLoopsKeepToTheBudget) {
    for (unsigned budget : {1u, 2u, 3u}) {
        work_pool pool(budget);
        busy_count busy;
        std::atomic<int> rows{0};
        pool.for_each(
            5,
            [&](size_t job) {
                busy.enter(t_depth);
                pool.for_each(8 + job, [&](size_t) {
                    busy.enter(t_depth);
                    ++rows;
                    pause_a_little();
                    busy.leave(t_depth);
                });
                busy.leave(t_depth);
            },
            budget);
        EXPECT_EQ(rows.load(), 8 * 5 + (0 + 1 + 2 + 3 + 4)) << "budget " << budget;
        EXPECT_LE(busy.peak.load(), int(budget)) << "budget " << budget;
        EXPECT_GE(busy.peak.load(), std::min(2, int(budget))) << "budget " << budget;
    }
}

// A budget lowered while the pool's threads exist keeps new loops to it.
TEST(WorkPool, LoweredBudgetHolds) {
    work_pool pool(4);
    pool.for_each(16, [](size_t) { pause_a_little(); }); // the threads are started
    pool.set_budget(2);
    busy_count busy;
    pool.for_each(24, [&](size_t) {
        busy.enter(t_depth);
        pause_a_little();
        busy.leave(t_depth);
    });
    EXPECT_LE(busy.peak.load(), 2);
    {
        const work_pool::budget_scope scope(pool, 1);
        EXPECT_EQ(pool.budget(), 1u);
    }
    EXPECT_EQ(pool.budget(), 2u);
    {
        const work_pool::budget_scope keep(pool, 0); // no budget asked: left as it is
        EXPECT_EQ(pool.budget(), 2u);
    }
}

// A call that throws: the caller gets the exception once every thread has left the loop, and
// the pool serves the next loop in full.
TEST(WorkPool, FailingCallReachesTheCaller) {
    work_pool pool(3);
    std::atomic<int> inside{0};
    EXPECT_THROW(pool.for_each(64,
                               [&](size_t i) {
                                   ++inside;
                                   pause_a_little();
                                   --inside;
                                   if (i == 5) throw std::runtime_error("call 5");
                               }),
                 std::runtime_error);
    EXPECT_EQ(inside.load(), 0);
    std::atomic<int> calls{0};
    pool.for_each(30, [&](size_t) { ++calls; });
    EXPECT_EQ(calls.load(), 30);
}

// A child process made by fork() after the threads started has none of them: its loops run
// whole on the calling thread.
TEST(WorkPool, ForkedChildWorksAlone) {
    work_pool& pool = work_pool::shared();
    pool.for_each(
        8, [](size_t) { pause_a_little(); }, 2);
    const pid_t pid = fork();
    if (pid == 0) {
        alarm(20); // waiting for threads that are not there would never end
        std::atomic<int> calls{0};
        pool.for_each(16, [&](size_t) { ++calls; });
        _exit(calls == 16 ? 0 : 1);
    }
    ASSERT_GT(pid, 0);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

// `batch -j N`: the jobs are the process's budget while the run lasts, and the budget is what it
// was once the run is over.
TEST(WorkPool, BatchJobsAreTheBudget) {
    const std::filesystem::path folder = temp_dir() / "jobs";
    std::filesystem::create_directories(folder);
    for (int d = 0; d < 4; ++d)
        write_file(folder / ("d" + std::to_string(d) + ".txd"),
                   make_dictionary({make_ps2_texture({.name = "a", .fill_seed = uint8_t(d + 1)})})
                       .bytes());
    const source_list list = collect_sources({folder});
    ASSERT_EQ(list.sources.size(), 4u);
    work_pool& pool = work_pool::shared();
    const unsigned before = pool.budget();
    for (unsigned jobs : {1u, 2u, 3u}) {
        batch_options options;
        options.action = batch_action::list;
        options.jobs = jobs;
        std::atomic<unsigned> seen{0};
        size_t reports = 0;
        run_batch(
            list.sources, 0, options, [&](const dictionary_report&) { ++reports; },
            [&](size_t, size_t, const dictionary_source&, bool) { seen = pool.budget(); });
        EXPECT_EQ(seen.load(), jobs);
        EXPECT_EQ(reports, 4u);
        EXPECT_EQ(pool.budget(), before) << "jobs " << jobs;
    }
}

} // namespace quillmap
