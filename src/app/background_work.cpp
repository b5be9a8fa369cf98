#include "app/background_work.h"

#include <QEventLoop>
#include <QObject>
#include <QTimer>

#include <exception>
#include <memory>

namespace quillmap {

namespace {
// How often the window's thread looks at a run of one piece for its Cancel.
constexpr int k_poll_ms = 25;
} // namespace

void work_progress::wake() {
    // The waker lives until the run stops waiting, which clears it under the lock held here; a
    // call still queued when it goes is dropped with it.
    if (waker_)
        QMetaObject::invokeMethod(
            waker_, [this] { on_wake_(); }, Qt::QueuedConnection);
}

bool work_progress::step(int done, const std::string& next) {
    piece asked{done, next};
    std::unique_lock lock(mutex_);
    if (cancelled_) return false;
    piece_ = &asked;
    wake();
    answered_.wait(lock, [&] { return asked.answer != 0 || cancelled_; });
    piece_ = nullptr;
    return asked.answer == 1;
}

int work_progress::ask(const std::string& text, const std::string& caption, box_buttons buttons,
                       box_icon icon) {
    question asked{text, caption, buttons, icon};
    std::unique_lock lock(mutex_);
    if (!cancelled_) {
        asked_ = &asked;
        wake();
        answered_.wait(lock, [&] { return asked.answer != 0 || cancelled_; });
        asked_ = nullptr;
    }
    if (asked.answer != 0) return asked.answer;
    return buttons == box_buttons::ok_cancel || buttons == box_buttons::yes_no_cancel ? id_cancel
                                                                                      : id_no;
}

bool work_progress::answer(ui_host& host, progress_window& window) {
    question* asked = nullptr;
    piece* next = nullptr;
    {
        std::lock_guard lock(mutex_);
        if (asked_ && asked_->answer == 0) asked = asked_;
        if (piece_ && piece_->answer == 0) next = piece_;
    }
    // The work waits while a box is up: only this thread touches what it waits on meanwhile.
    bool go_on = true;
    if (asked) {
        int answer = window.ask(host, asked->text, asked->caption, asked->buttons, asked->icon);
        // A Cancel of the progress window counts over any answer: the work stops here.
        if (window.cancelled()) {
            go_on = false;
            answer = asked->buttons == box_buttons::ok_cancel ||
                             asked->buttons == box_buttons::yes_no_cancel
                         ? id_cancel
                         : id_no;
        }
        std::lock_guard lock(mutex_);
        asked->answer = answer;
    }
    if (next) {
        go_on = go_on && window.step(next->done, next->next);
        std::lock_guard lock(mutex_);
        next->answer = go_on ? 1 : 2;
    }
    if (asked || next) answered_.notify_all();
    return go_on;
}

bool work_progress::cancel() {
    stop_.store(true, std::memory_order_relaxed);
    std::lock_guard lock(mutex_);
    cancelled_ = true;
    answered_.notify_all(); // a question still waiting is answered "no"
    return finished_;
}

background_work::~background_work() {
    for (std::thread& thread : cancelled_)
        thread.join();
}

bool background_work::run(const std::string& text, int pieces,
                          std::function<void(work_progress&)> work, std::function<void()> discard) {
    auto progress = std::make_shared<work_progress>();
    auto leftovers = std::make_shared<std::function<void()>>(std::move(discard));
    QEventLoop loop;
    QObject waker;
    const auto window = host_.begin_progress(text, pieces);
    bool cancelled = false;
    bool looking = false;
    const auto look = [&] {
        // A message box or the progress window may run events, this one among them.
        if (looking) return;
        looking = true;
        bool go_on = progress->answer(host_, *window);
        bool finished = false;
        {
            std::lock_guard lock(progress->mutex_);
            finished = progress->finished_;
        }
        // A run of one piece asks the progress window on every look, the last one too: its
        // Cancel counts whenever it comes.
        if (go_on && pieces == 0) go_on = window->step(0, {});
        // A run of pieces sees its Cancel at once too, not only at the next piece.
        if (go_on && window->cancelled()) go_on = false;
        if (!go_on) cancelled = true;
        if (!go_on || finished) loop.quit();
        looking = false;
    };
    {
        std::lock_guard lock(progress->mutex_);
        progress->waker_ = &waker;
        progress->on_wake_ = look;
    }
    std::thread thread([progress, leftovers, work = std::move(work)] {
        try {
            work(*progress);
        } catch (const std::exception&) {
            // Out of memory, say: the work's results stay as far as they got, and the caller
            // finds them unfinished. Nothing must escape the thread.
        }
        bool cancelled = false;
        {
            std::lock_guard lock(progress->mutex_);
            progress->finished_ = true;
            cancelled = progress->cancelled_;
            progress->wake();
        }
        // Cancelled while it ran: the window's thread has left it, so the clean-up is ours.
        if (cancelled && *leftovers) (*leftovers)();
    });

    busy_ = true;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, look);
    poll.start(k_poll_ms);
    loop.exec();
    poll.stop();
    busy_ = false;
    {
        std::lock_guard lock(progress->mutex_);
        progress->waker_ = nullptr;
    }

    if (!cancelled) {
        thread.join();
        return true;
    }
    // Whoever sees the other side done cleans up: exactly one of this thread and the work's.
    const bool finished = progress->cancel();
    if (finished && *leftovers) (*leftovers)();
    if (pieces > 0 || finished)
        thread.join(); // between two pieces the work stops at once
    else
        cancelled_.push_back(std::move(thread));
    return false;
}

} // namespace quillmap
