// The entry dialog's buttons: extract, add, replace, delete, rename and compact entries of the
// open archive. The archive module makes each edit safe against a crash; these functions ask
// the user, run the long ones off the window's thread with a progress window, and show the
// outcome.
#include "app/main_archive_edits.h"

#include "app/app_messages.h"
#include "app/app_text.h"
#include "archive/archive_compact.h"
#include "archive/archive_edit.h"
#include "archive/archive_extract.h"
#include "stream/safe_file.h"
#include "views/archive_entry_dialog.h"
#include "views/one_edit_dialog.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

namespace quillmap {

namespace {
std::string folder_of(const game_archive& archive) {
    return archive.data_path.has_parent_path() ? archive.data_path.parent_path().string() : ".";
}
} // namespace

bool run_with_progress(ui_host& host, const std::string& text,
                       const std::function<bool(const archive_progress&)>& work) {
    const auto progress = host.begin_progress(text, 100);
    // Cancel before the first piece costs nothing: the task has not started.
    if (!progress->step(0, "")) return false;
    std::atomic<uint64_t> done{0}, total{0};
    std::atomic<bool> cancel{false}, finished{false};
    bool result = false;
    std::thread worker([&] {
        result = work([&](uint64_t d, uint64_t t) {
            done = d;
            total = t;
            return !cancel.load();
        });
        finished = true;
    });
    // The window stays responsive (step takes its events, Cancel among them) until the task ends.
    while (!finished.load()) {
        const uint64_t all = total.load();
        const int percent = all ? int(done.load() * 100 / all) : 0;
        if (!progress->step(percent, "")) cancel = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    worker.join();
    progress->step(100, "");
    return result;
}

std::optional<std::string> archive_action(ui_host& host, QWidget* parent, game_archive& archive,
                                          archive_entry_action action,
                                          const std::vector<int>& entries) {
    const std::string shown = file_name_of(archive.data_path.string());
    std::vector<size_t> indices(entries.begin(), entries.end());
    std::string error;
    bool ok = true;
    std::string status;
    switch (action) {
    case archive_entry_action::extract: {
        file_request request;
        if (indices.size() == 1) {
            const archive_entry& entry = archive.entries[indices[0]];
            request.save = true;
            request.filter = app_msg::entry_filter_all;
            request.initial_name = (std::filesystem::path(folder_of(archive)) /
                                    entry_file_name(entry.name, indices[0]))
                                       .string();
            std::vector<std::string> paths;
            if (!host.file_dialog(request, paths) || paths.empty()) return std::nullopt;
            std::vector<uint8_t> bytes;
            ok = read_entry_bytes(archive, indices[0], bytes, error) &&
                 safe_file::write_file(paths[0], bytes, error);
            status = format(app_msg::extracted_one, entry.name.c_str(), paths[0].c_str());
            break;
        }
        // A new folder beside the archive is proposed; the one named is created when missing.
        request.save = true;
        request.filter = app_msg::entry_filter_all;
        request.initial_name = (std::filesystem::path(folder_of(archive)) /
                                (archive.data_path.stem().string() + "_entries"))
                                   .string();
        std::vector<std::string> paths;
        if (!host.file_dialog(request, paths) || paths.empty()) return std::nullopt;
        std::vector<extracted_entry> done;
        ok = run_with_progress(
            host, format(app_msg::extracting, int(indices.size()), paths[0].c_str()),
            [&](const archive_progress& progress) {
                return extract_entries(archive, indices, paths[0], progress, done, error);
            });
        size_t renamed = 0;
        for (const auto& item : done)
            renamed += item.renamed;
        status = renamed ? format(app_msg::extracted_renamed, int(done.size()), paths[0].c_str(),
                                  int(renamed))
                         : format(app_msg::extracted, int(done.size()), paths[0].c_str());
        // A cancelled extraction keeps the files it finished; the status says how many.
        if (!ok && error.empty()) ok = true;
        break;
    }
    case archive_entry_action::add: {
        file_request request;
        request.multiple = true;
        request.filter = app_msg::entry_filter_all;
        std::vector<std::string> paths;
        if (!host.file_dialog(request, paths) || paths.empty()) return std::nullopt;
        int added = 0;
        for (const auto& path : paths) {
            ok = add_entry_from_file(archive, std::filesystem::path(path).filename().string(), path,
                                     error);
            if (!ok) break;
            ++added;
        }
        status = format(app_msg::entries_added, added, shown.c_str());
        break;
    }
    case archive_entry_action::replace: {
        file_request request;
        request.filter = app_msg::entry_filter_all;
        std::vector<std::string> paths;
        if (!host.file_dialog(request, paths) || paths.empty()) return std::nullopt;
        ok = replace_entry_from_file(archive, indices[0], paths[0], error);
        status = format(app_msg::entry_replaced, archive.entries[indices[0]].name.c_str(),
                        paths[0].c_str());
        break;
    }
    case archive_entry_action::remove: {
        if (host.message_box(
                format(app_msg::delete_entries_question, int(indices.size()), shown.c_str()),
                app_msg::delete_entries_caption, box_buttons::yes_no, box_icon::question) != id_yes)
            return std::nullopt;
        ok = delete_entries(archive, indices, error);
        status = format(app_msg::entries_deleted, int(indices.size()), shown.c_str());
        break;
    }
    case archive_entry_action::rename: {
        const std::string old_name = archive.entries[indices[0]].name;
        COneEditDialog ask(app_msg::rename_entry_title, app_msg::rename_entry_label, old_name,
                           parent);
        // The table's name field keeps a closing zero byte after the name.
        ask.edit->setMaxLength(int(k_archive_name_bytes) - 1);
        if (host.run(ask) != id_ok || ask.value == old_name) return std::nullopt;
        ok = rename_entry(archive, indices[0], ask.value, error);
        status = format(app_msg::entry_renamed, old_name.c_str(), ask.value.c_str());
        break;
    }
    case archive_entry_action::compact: {
        std::error_code ec;
        const auto before = std::filesystem::file_size(archive.data_path, ec);
        ok = run_with_progress(host, format(app_msg::compacting, shown.c_str()),
                               [&](const archive_progress& progress) {
                                   return compact_archive(archive, {}, progress, error);
                               });
        const auto after = std::filesystem::file_size(archive.data_path, ec);
        status =
            ok ? format(app_msg::compacted, shown.c_str(), static_cast<unsigned long long>(before),
                        static_cast<unsigned long long>(after))
               : format(app_msg::archive_task_cancelled, shown.c_str());
        if (!ok && error.empty()) ok = true; // cancelled before it began: nothing to show
        break;
    }
    }
    if (!ok) {
        host.message_box(error, app_msg::error, box_buttons::ok, box_icon::error);
        // Whatever happened, the dialog shows the table as it now is on disk.
        std::string ignored;
        game_archive fresh;
        if (open_game_archive(archive.index_path, fresh, ignored)) archive = std::move(fresh);
        return std::nullopt;
    }
    return status;
}

} // namespace quillmap
