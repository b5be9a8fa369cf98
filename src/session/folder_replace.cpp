// Replace All from Folder: every texture that a folder holds a picture for, as one edit.
#include "session/editor_session.h"

#include "dictionary/txd_messages.h"
#include "imageio/picture_file.h"
#include "imageio/texture_rgba.h"
#include "session/session_messages.h"
#include "stream/ascii_lower.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <map>
#include <system_error>

namespace quillmap {

namespace {
// The picture extensions looked at, in the order one is preferred when several share a name.
constexpr std::array<std::string_view, 4> k_picture_extensions = {".png", ".dds", ".bmp", ".tm2"};

size_t preference_of(const std::string& extension) {
    const auto found =
        std::find(k_picture_extensions.begin(), k_picture_extensions.end(), ascii_lower(extension));
    return size_t(found - k_picture_extensions.begin());
}

std::string formatted(const char* pattern, const std::string& a, const std::string& b = {}) {
    const int size = std::snprintf(nullptr, 0, pattern, a.c_str(), b.c_str());
    std::string text(size_t(std::max(0, size)), '\0');
    std::snprintf(text.data(), text.size() + 1, pattern, a.c_str(), b.c_str());
    return text;
}
// Whether the picture at `path` is exactly what texture t shows (level 0, colour and alpha):
// putting it back would only encode the same picture again, and a DXT texture would come out
// with other bytes for nothing.
bool shows_the_same(ps2_txd& txd, uint32_t t, const std::filesystem::path& path) {
    png_picture picture;
    std::string error;
    if (!read_picture_file(path, picture, error)) return false;
    const rgba_image shown = texture_rgba(txd, t, 0, error);
    return !shown.rgba.empty() && shown.width == picture.image.width &&
           shown.height == picture.image.height && shown.rgba == picture.image.rgba;
}
} // namespace

bool editor_session::replace_all_from_folder(const std::filesystem::path& folder,
                                             std::vector<folder_replacement>& report, bool dither) {
    report.clear();
    note_.clear();
    if (!dictionary_) {
        error_ = session_msg::no_dictionary;
        return false;
    }
    // The pictures of the folder by lower-case stem, the preferred format first.
    std::map<std::string, std::vector<std::filesystem::path>> pictures;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end;
         it.increment(ec)) {
        if (!it->is_regular_file(ec)) continue;
        const std::filesystem::path& path = it->path();
        if (preference_of(path.extension().string()) >= k_picture_extensions.size()) continue;
        pictures[ascii_lower(path.stem().string())].push_back(path);
    }
    if (ec) {
        error_ = formatted(session_msg::folder_unreadable, folder.string(), ec.message());
        return false;
    }
    for (auto& [stem, paths] : pictures)
        std::sort(paths.begin(), paths.end(), [](const auto& a, const auto& b) {
            return preference_of(a.extension().string()) < preference_of(b.extension().string());
        });

    const uint32_t count = dictionary_->texture_count();
    std::map<std::string, bool> used;
    // Which picture replaces which texture is decided before anything changes.
    std::vector<std::pair<uint32_t, std::filesystem::path>> plan;
    for (uint32_t t = 0; t < count; ++t) {
        const std::string name = dictionary_->texture_name(t, name_kind::texture);
        const auto found = pictures.find(ascii_lower(name));
        if (found == pictures.end()) {
            report.push_back({name, {}, false, session_msg::no_picture_named});
            continue;
        }
        used[found->first] = true;
        plan.emplace_back(t, found->second.front());
        for (size_t other = 1; other < found->second.size(); ++other)
            report.push_back({name, found->second[other].filename().string(), false,
                              formatted(session_msg::other_picture_used,
                                        found->second.front().filename().string())});
    }
    for (const auto& [stem, paths] : pictures)
        if (!used.count(stem))
            for (const auto& path : paths)
                report.push_back(
                    {{}, path.filename().string(), false, session_msg::no_texture_named});
    if (plan.empty()) return true;

    const edit_record record{edit_kind::replace, plan.front().first, folder.string(), 0};
    edit(record, [&](ps2_txd& txd) {
        bool any = false;
        for (const auto& [t, path] : plan) {
            folder_replacement row{
                txd.texture_name(t, name_kind::texture), path.filename().string(), false, {}};
            const std::optional<export_type> type =
                export_type_for(import_extension(path.string()));
            if (!type || *type == export_type::rwsect) {
                row.why = session_msg::picture_format_unknown;
            } else if (shows_the_same(txd, t, path)) {
                row.why = session_msg::picture_unchanged;
            } else {
                note_.clear();
                row.replaced = replace_picture(txd, t, path.string(), false, dither,
                                               other_levels::follow_palette);
                row.why = row.replaced ? note_ : txd.last_error;
            }
            any = any || row.replaced;
            report.push_back(std::move(row));
        }
        note_.clear();
        if (!any) txd.last_error = report.back().why;
        return any;
    });
    return true;
}

} // namespace quillmap
