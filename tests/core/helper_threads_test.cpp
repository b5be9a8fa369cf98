// The kept helper threads: a job runs once on each helper taken and on the caller, run returns
// only when every helper has left the job, helpers already taken are refused to a second taker,
// and the same helpers serve job after job, whether still watching for work or asleep.
#include "imageio/helper_threads.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <thread>

#include <sys/wait.h>
#include <unistd.h>

namespace quillmap {

TEST(HelperThreads, EachTakenHelperRunsTheJobOnce) {
    helper_threads helpers(3);
    struct row {
        unsigned wanted, granted;
    };
    const row rows[] = {{0, 0}, {1, 1}, {2, 2}, {3, 3}, {9, 3}};
    for (const row& r : rows)
        for (int round = 0; round < 12; ++round) {
            const std::string where =
                "wanted " + std::to_string(r.wanted) + " round " + std::to_string(round);
            const unsigned taken = helpers.take(r.wanted);
            ASSERT_EQ(taken, r.granted) << where;
            if (taken) {
                EXPECT_EQ(helpers.take(1), 0u) << where;
            }
            std::array<std::atomic<unsigned>, 3> calls{};
            std::atomic<unsigned> left{0};
            bool own = false;
            helpers.run(
                [&](unsigned k) {
                    if (k < calls.size()) ++calls[k];
                    // Some helpers slower than the caller: run must wait for them.
                    if (k % 2 == 0) std::this_thread::sleep_for(std::chrono::microseconds(300));
                    ++left;
                },
                [&] { own = true; });
            EXPECT_TRUE(own) << where;
            EXPECT_EQ(left.load(), taken) << where;
            for (unsigned k = 0; k < calls.size(); ++k)
                EXPECT_EQ(calls[k].load(), k < taken ? 1u : 0u) << where << " helper " << k;
            // Given back: the next taker has them.
            ASSERT_EQ(helpers.take(1), 1u) << where;
            helpers.give_back();
            // Every third round the helpers are left long enough to fall asleep.
            if (round % 3 == 2) std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
}

// A child process made by fork() after the helpers started has none of their threads: it takes
// none and works alone.
TEST(HelperThreads, ForkedChildWorksAlone) {
    helper_threads helpers(2);
    ASSERT_EQ(helpers.take(2), 2u);
    helpers.run([](unsigned) {}, [] {});
    const pid_t pid = fork();
    if (pid == 0) {
        alarm(20); // waiting for helpers that are not there would never end
        bool own = false;
        const unsigned taken = helpers.take(2);
        helpers.run([](unsigned) {}, [&] { own = true; });
        _exit(taken == 0 && own ? 0 : 1);
    }
    ASSERT_GT(pid, 0);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(helpers.take(1), 1u); // the parent's helpers are still there
    helpers.give_back();
}

} // namespace quillmap
