// Open from Archive on a game's archive of 16,000 entries, the way a user meets it: the entry
// dialog shown with its sorting, filtering proxy and its view, its kinds filled in from a thread
// as the window fills them, and keys typed into the filter box all along. Measured on the
// window's thread: the longest stretch it was busy in one go (a probe timer that should fire
// every 2 ms, and the longest gap between two of its firings), and the longest time from a key
// press to the list narrowed by it. References in the same run: describing every entry with no
// window at all (the thread's own work), and a key press in the same dialog once it is full.
// Busy stretches and key answers are given on the wall clock and in the window thread's own CPU
// time (the `_cpu_` counters), which a machine shared with other work does not stretch.
#include "app/archive_entry_kinds.h"
#include "archive_builders.h"
#include "test_files.h"

#include "archive/game_archive.h"
#include "batch/archive_entry_kind.h"
#include "views/archive_entry_dialog.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTimer>
#include <QTreeView>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>

namespace quillmap {

namespace {
constexpr size_t k_entries = 16000;

// Every fourth entry a dictionary, the others models of one sector, as the table of a game's
// archive mixes them; written once per run.
const std::filesystem::path& big_archive() {
    static const std::filesystem::path path = [] {
        const auto dictionary =
            make_dictionary({make_ps2_texture({.name = "t", .width = 64, .height = 64})}).bytes();
        std::vector<archive_file> files;
        files.reserve(k_entries);
        for (size_t i = 0; i < k_entries; ++i)
            files.push_back(i % 4 == 0
                                ? archive_file{"dict" + std::to_string(i) + ".txd", dictionary}
                                : archive_file{"model" + std::to_string(i) + ".dff",
                                               std::vector<uint8_t>(100, uint8_t(i))});
        return write_temp("gta3_dialog_bench.img", make_ver2_archive(files));
    }();
    return path;
}

game_archive opened(benchmark::State& state) {
    game_archive archive;
    std::string error;
    if (!open_game_archive(big_archive(), archive, error)) state.SkipWithError(error.c_str());
    return archive;
}

// Reference: every entry described on one thread, no window.
void BM_DescribeEveryEntry(benchmark::State& state) {
    const game_archive archive = opened(state);
    for (auto _ : state) {
        size_t dictionaries = 0;
        for (const auto& entry : archive.entries)
            dictionaries += describe_archive_entry(archive, entry).is_dictionary();
        benchmark::DoNotOptimize(dictionaries);
    }
}
BENCHMARK(BM_DescribeEveryEntry)->Unit(benchmark::kMillisecond);

// CPU time of the calling thread: on a machine shared with other work the wall clock counts the
// time the thread waited for a core too, this only what it did.
qint64 thread_cpu_ns() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}

// The longest gap between firings of a 2 ms timer: how long the thread was away in one go, on
// the wall clock and in its own CPU time.
class busy_probe {
  public:
    busy_probe() {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(2);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            const qint64 cpu = thread_cpu_ns();
            longest_wall_ = std::max(longest_wall_, clock_.nsecsElapsed());
            longest_cpu_ = std::max(longest_cpu_, cpu - cpu_);
            clock_.restart();
            cpu_ = cpu;
        });
        clock_.start();
        cpu_ = thread_cpu_ns();
        timer_.start();
    }
    double longest_wall_ms() const { return double(longest_wall_) / 1e6; }
    double longest_cpu_ms() const { return double(longest_cpu_) / 1e6; }

  private:
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 cpu_ = 0;
    qint64 longest_wall_ = 0;
    qint64 longest_cpu_ = 0;
};

// Posts a key to the filter box every 30 ms ('x', then Backspace, ...) and keeps the longest
// time from posting one to the list narrowed by it.
class typist {
  public:
    explicit typist(CArchiveEntryDialog& dialog) : box_(dialog.filter_box) {
        // Connected after the dialog's own handler, so it runs once the list is narrowed.
        QObject::connect(box_, &QLineEdit::textChanged, [this] {
            longest_ = std::max(longest_, posted_.nsecsElapsed());
            longest_cpu_ = std::max(longest_cpu_, thread_cpu_ns() - posted_cpu_);
            ++answered_;
        });
        timer_.setInterval(30);
        QObject::connect(&timer_, &QTimer::timeout, [this] { press(); });
        timer_.start();
    }
    void press() {
        const bool erase = keys_ % 2 == 1;
        ++keys_;
        posted_.start();
        posted_cpu_ = thread_cpu_ns();
        QCoreApplication::postEvent(
            box_, new QKeyEvent(QEvent::KeyPress, erase ? Qt::Key_Backspace : Qt::Key_X,
                                Qt::NoModifier, erase ? QString() : QString("x")));
    }
    double longest_ms() const { return double(longest_) / 1e6; }
    double longest_cpu_ms() const { return double(longest_cpu_) / 1e6; }
    int answered() const { return answered_; }

  private:
    QLineEdit* box_;
    QTimer timer_;
    QElapsedTimer posted_;
    qint64 posted_cpu_ = 0;
    qint64 longest_ = 0;
    qint64 longest_cpu_ = 0;
    int keys_ = 0;
    int answered_ = 0;
};

struct view_state {
    int column; // -1: table order
    Qt::SortOrder order;
    const char* filter;
};
const view_state k_states[] = {
    {-1, Qt::AscendingOrder, ""},
    {archive_entry_model::col_kind, Qt::AscendingOrder, ""},
    {archive_entry_model::col_name, Qt::DescendingOrder, "dict"},
};

// The dialog as the window shows it, filled as the window fills it, keys typed all along.
void BM_EntryDialogFill(benchmark::State& state) {
    const view_state& view = k_states[state.range(0)];
    double longest_busy = 0, longest_busy_cpu = 0, longest_key = 0, longest_key_cpu = 0;
    double batches = 0, keys = 0, fill_cpu = 0;
    for (auto _ : state) {
        const game_archive archive = opened(state);
        CArchiveEntryDialog dialog("gta3_dialog_bench.img", entry_rows(archive));
        dialog.show();
        dialog.list->sortByColumn(view.column, view.order);
        dialog.filter_box->setText(view.filter);
        QCoreApplication::processEvents();
        busy_probe probe;
        typist keyboard(dialog);
        const qint64 cpu_before = thread_cpu_ns();
        entry_kind_filler filler(archive, dialog);
        QEventLoop loop;
        QTimer done;
        QObject::connect(&done, &QTimer::timeout, [&] {
            if (filler.finished()) loop.quit();
        });
        done.start(10);
        loop.exec();
        fill_cpu = std::max(fill_cpu, double(thread_cpu_ns() - cpu_before) / 1e6);
        longest_busy = std::max(longest_busy, probe.longest_wall_ms());
        longest_busy_cpu = std::max(longest_busy_cpu, probe.longest_cpu_ms());
        longest_key = std::max(longest_key, keyboard.longest_ms());
        longest_key_cpu = std::max(longest_key_cpu, keyboard.longest_cpu_ms());
        batches = double(filler.batches());
        keys = keyboard.answered();
    }
    state.counters["longest_busy_ms"] = longest_busy;
    state.counters["longest_busy_cpu_ms"] = longest_busy_cpu;
    state.counters["longest_key_ms"] = longest_key;
    state.counters["longest_key_cpu_ms"] = longest_key_cpu;
    state.counters["window_thread_cpu_ms"] = fill_cpu;
    state.counters["batches"] = batches;
    state.counters["keys"] = keys;
}
BENCHMARK(BM_EntryDialogFill)
    ->DenseRange(0, int(std::size(k_states)) - 1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(2);

// Reference: one key in the full dialog, nothing filling; time from posting it to the list
// narrowed.
void BM_FilterKeyInFullDialog(benchmark::State& state) {
    const game_archive archive = opened(state);
    CArchiveEntryDialog dialog("gta3_dialog_bench.img", entry_rows(archive));
    dialog.show();
    dialog.list->sortByColumn(archive_entry_model::col_kind, Qt::AscendingOrder);
    {
        entry_kind_filler filler(archive, dialog);
        while (!filler.finished())
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    QCoreApplication::processEvents();
    bool erase = false;
    for (auto _ : state) {
        QKeyEvent key(QEvent::KeyPress, erase ? Qt::Key_Backspace : Qt::Key_X, Qt::NoModifier,
                      erase ? QString() : QString("x"));
        QCoreApplication::sendEvent(dialog.filter_box, &key);
        QCoreApplication::processEvents(); // layout and paint
        erase = !erase;
    }
}
BENCHMARK(BM_FilterKeyInFullDialog)->Unit(benchmark::kMillisecond);
} // namespace

// The program's work, inside the project's namespace; main() only calls it.
int run_main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::filesystem::remove(big_archive());
    return 0;
}

} // namespace quillmap

int main(int argc, char** argv) {
    return quillmap::run_main(argc, argv);
}
