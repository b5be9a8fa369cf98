#pragma once

// Long operations off the window's thread. The work runs on a thread of its own; the window's
// thread keeps handling its events (painting, timers) behind a progress window with Cancel,
// which shows once the work takes more than a moment. A cancelled run hands nothing back.

#include "platform/ui_host.h"

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class QObject;

namespace quillmap {

// What the work and the window's thread tell each other while the work runs.
class work_progress {
  public:
    // Called by the work before each piece of a run counted in pieces: `done` of the total
    // are finished, `next` names the one it starts now. The progress window is asked on the
    // window's thread meanwhile; false when the user cancelled, and the work then stops.
    bool step(int done, const std::string& next);
    // The user cancelled.
    bool stop_requested() const { return stop_.load(std::memory_order_relaxed); }
    // A message box shown by the window's thread; the work waits for the answer. A cancelled
    // run answers id_no (id_cancel when the buttons have Cancel) without asking.
    int ask(const std::string& text, const std::string& caption, box_buttons buttons,
            box_icon icon);

  private:
    friend class background_work;
    struct question {
        std::string text, caption;
        box_buttons buttons;
        box_icon icon;
        int answer = 0; // 0 while unanswered
    };
    struct piece {
        int done = 0;
        std::string next;
        int answer = 0; // 0 while unanswered, 1 go on, 2 stop
    };
    // Wakes the window's thread to answer what the work waits for (mutex_ held).
    void wake();
    // The window's thread: answers a waiting question and a waiting piece; false when the user
    // cancelled at the piece.
    bool answer(ui_host& host, progress_window& window);
    // Marks the run cancelled; whether the work had already finished.
    bool cancel();

    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    std::condition_variable answered_;
    question* asked_ = nullptr;
    piece* piece_ = nullptr;
    QObject* waker_ = nullptr;      // lives on the window's thread while the run waits
    std::function<void()> on_wake_; // runs there on each wake-up
    bool finished_ = false;
    bool cancelled_ = false;
};

class background_work {
  public:
    explicit background_work(ui_host& host) : host_(host) {}
    // Waits for the threads of cancelled runs that are still finishing their piece.
    ~background_work();
    background_work(const background_work&) = delete;
    background_work& operator=(const background_work&) = delete;

    // Runs `work` on its own thread and returns when it has ended (true) or the user cancelled
    // (false).
    // A run of `pieces` > 0 steps the progress window once per piece (work_progress::step) and
    // a Cancel takes effect between two pieces: the run returns once the work has stopped.
    // A run of one piece (`pieces` 0) shows a busy bar, and Cancel returns at once: the work
    // goes on to its end on its own, so it must own what it touches (captured by value or
    // shared) and the caller must leave everything the work writes alone. `discard` runs once
    // after such a cancelled work has ended, on either thread, to remove what it left outside
    // memory (a part file).
    bool run(const std::string& text, int pieces, std::function<void(work_progress&)> work,
             std::function<void()> discard = {});
    // A run is in progress: the window takes no command that could change what it works on.
    bool busy() const { return busy_; }

  private:
    ui_host& host_;
    bool busy_ = false;
    std::vector<std::thread> cancelled_;
};

} // namespace quillmap
