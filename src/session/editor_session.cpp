#include "session/editor_session.h"

#include "archive/archive_edit.h"

#include "dictionary/convert_ps2.h"
#include "dictionary/pc_raster_check.h"
#include "dictionary/pc_txd.h"
#include "dictionary/ps2_raster_check.h"
#include "dictionary/txd_messages.h"
#include "imageio/picture_file.h"
#include "imageio/picture_fit.h"
#include "imageio/ps2_conversion.h"
#include "imageio/texture_dds.h"
#include "session/session_messages.h"
#include "session/texture_names.h"
#include "stream/ascii_lower.h"
#include "stream/safe_file.h"

#include <bit>

namespace quillmap {

const char* editor_session::platform_name() const {
    return platform_ ? quillmap::platform_name(*platform_) : "?";
}

const char* editor_session::refusal(restriction_bits bit) const {
    if (!(restriction_mask_ & bit)) return nullptr;
    switch (bit) {
    case restrict_save:
    case restrict_save_as:
        return session_msg::saving_disabled;
    case restrict_export:
        return session_msg::export_disabled;
    case restrict_import:
        return session_msg::import_disabled;
    case restrict_replace:
        return session_msg::replace_disabled;
    case restrict_opening:
        break;
    }
    return nullptr;
}

namespace {
// A new PC, XBOX or mobile texture asked for a size of its own (png.width x png.height) gets
// its picture scaled to it, as a PS2 one does; the palette the file had no longer fits then.
bool scale_to_asked_size(png_picture& picture, const png_add_options& png, std::string& error,
                         std::string& note) {
    if (png.width == 0 || png.height == 0) return true;
    if (picture.image.width == png.width && picture.image.height == png.height) return true;
    picture.indexed.reset();
    return fit_to_texture(picture.image, png.width, png.height, true, error, note);
}

// The platform names that `priority` does not mention, as a priority text of their own.
std::string platforms_left_out(std::string_view priority) {
    std::string rest;
    for (const platform_entry& entry : platform_table()) {
        if (priority.find(entry.name) != std::string_view::npos) continue;
        if (!rest.empty()) rest += ',';
        rest += entry.name;
    }
    return rest;
}
} // namespace

open_status editor_session::open(const std::string& path, uint32_t offset,
                                 std::string_view priority,
                                 const std::function<bool(ps2_txd&)>& accept) {
    // Inside a game archive the dictionary must be an entry of its table: a save writes it back
    // through the archive, never over bytes that may belong to another entry by now.
    std::optional<archive_entry_link> link;
    if (is_game_archive(path)) {
        link = entry_starting_at(path, offset);
        if (!link) {
            error_ = session_msg::no_entry_here;
            reason_ = session_msg::no_entry_at(offset);
            return open_status::unsupported;
        }
    }
    const uint32_t previous_mask = restriction_mask_;
    restriction_mask_ |= restrict_opening;
    // A save into a hard-linked file that a crash interrupted is finished from its complete copy
    // before the file is read; when it cannot be, the message says where the copy is.
    std::string recovery;
    if (safe_file::unfinished_update(path)) {
        if (safe_file::finish_unfinished_update(path, recovery))
            recovery = session_msg::finished_interrupted_save;
    }
    probe_result probe = probe_dictionary(path, offset, priority);
    // Why the classes the setting names refused the file: the reason shown when all refuse.
    const std::string reason = probe.reason;
    bool outside = false;
    if (!probe.dictionary) {
        // XBOX dictionaries and TEX files open with the default setting this way: the classes
        // the setting leaves out are tried before the file is given up.
        const std::string rest = platforms_left_out(priority);
        if (!rest.empty()) {
            probe = probe_dictionary(path, offset, rest);
            outside = probe.dictionary != nullptr;
        }
    }
    if (!probe.dictionary) {
        restriction_mask_ = previous_mask & ~uint32_t{restrict_opening};
        error_ = session_msg::unsupported_file;
        reason_ = reason.empty() ? probe.reason : reason;
        if (!recovery.empty()) reason_ = recovery + "; " + reason_;
        return open_status::unsupported;
    }
    restriction_mask_ = probe.restriction_mask | restrict_opening;
    if (accept && !accept(*probe.dictionary)) {
        // The refused dictionary is destroyed; the open one, if any, stays.
        restriction_mask_ = previous_mask & ~uint32_t{restrict_opening};
        error_.clear();
        return open_status::refused;
    }
    dictionary_ = std::move(probe.dictionary);
    platform_ = probe.platform;
    outside_priority_ = outside;
    path_ = path;
    offset_ = offset;
    entry_link_ = std::move(link);
    restriction_mask_ &= ~uint32_t{restrict_opening};
    modified_ = false;
    note_ = recovery;
    return open_status::opened;
}

bool editor_session::create_new(uint32_t version) {
    auto created = std::make_unique<ps2_txd>();
    if (!created->create_empty(version)) {
        error_ = created->last_error;
        return false;
    }
    dictionary_ = std::move(created);
    // A new dictionary is a PS2 one: every command is allowed, and it has no file yet.
    platform_.reset();
    restriction_mask_ = 0;
    offset_ = 0;
    path_.clear();
    entry_link_.reset();
    modified_ = true;
    return true;
}

void editor_session::close() {
    dictionary_.reset();
    restriction_mask_ = 0;
    modified_ = false;
    path_.clear();
    entry_link_.reset();
}

bool editor_session::save() {
    save_needs_new_file_ = false;
    if (entry_link_) return save_into_entry();
    if (is_game_archive(path_)) {
        // Only an entry's save writes into a game archive.
        error_ = path_ + ": " + session_msg::no_entry_at(offset_);
        return false;
    }
    // Any other container keeps every byte outside the old tree.
    if (!dictionary_->save(std::filesystem::path(path_), offset_)) {
        error_ = dictionary_->last_error;
        save_needs_new_file_ =
            offset_ != 0 && dictionary_->tree_bytes() > dictionary_->room_at(path_, offset_);
        return false;
    }
    saved();
    return true;
}

bool editor_session::save_into_entry() {
    std::vector<uint8_t> bytes;
    if (!dictionary_->tree_image(bytes)) {
        error_ = dictionary_->last_error;
        return false;
    }
    archive_entry moved;
    // The archive's table is read again, so an entry moved or removed since it was opened is
    // noticed instead of overwritten; the save costs about the entry's size.
    if (!quillmap::save_into_entry(entry_link_->archive, entry_link_->entry, entry_link_->offset,
                                   bytes, moved, error_))
        return false;
    entry_link_->offset = moved.offset;
    entry_link_->size = moved.size;
    // The tree was read whole for the save: the old offset is no longer needed to read it.
    if (moved.offset <= UINT32_MAX) offset_ = uint32_t(moved.offset);
    saved();
    return true;
}

std::optional<archive_entry_link> editor_session::entry_starting_at(const std::string& path,
                                                                    uint64_t offset) {
    game_archive archive;
    std::string ignored;
    if (!open_game_archive(path, archive, ignored) ||
        !safe_file::same_file(archive.data_path, path))
        return std::nullopt;
    for (const archive_entry& entry : archive.entries)
        if (entry.offset == offset && entry.size && entry.inside)
            return archive_entry_link{path, entry.name, entry.offset, entry.size};
    return std::nullopt;
}

bool editor_session::link_entry_at_offset() {
    if (!dictionary_ || !is_game_archive(path_)) return false;
    if (entry_link_) return true;
    entry_link_ = entry_starting_at(path_, offset_);
    return entry_link_.has_value();
}

void editor_session::saved() {
    modified_ = false;
    if (observer_) observer_->after_save();
}

bool editor_session::save_as(const std::string& path) {
    save_needs_new_file_ = false;
    if (!dictionary_->save(std::filesystem::path(path), 0)) {
        error_ = dictionary_->last_error;
        // Writing over the container it came from: only another file can take it.
        save_needs_new_file_ = offset_ != 0 && safe_file::same_file(path, path_);
        return false;
    }
    path_ = path;
    entry_link_.reset();
    // The new file holds the dictionary at its start; later saves go there too.
    offset_ = 0;
    saved();
    return true;
}

bool editor_session::convert_to_ps2(const std::filesystem::path& out,
                                    std::vector<std::string>* skipped,
                                    const raster_transform* transform) {
    note_.clear();
    // Without a transform of the caller's, sizes the game refuses are still scaled.
    std::vector<std::string> scaled;
    const raster_transform sizes = ps2_game_sizes_transform(&scaled);
    const bool converted = quillmap::convert_to_ps2(*dictionary_, out, error_, skipped,
                                                    transform ? transform : &sizes);
    for (const auto& line : scaled)
        note_ += (note_.empty() ? "" : "; ") + line;
    return converted;
}

bool editor_session::convert_to_ps2(const std::filesystem::path& out,
                                    std::vector<std::string>& skipped,
                                    const ps2_convert_choices& choices) {
    note_.clear();
    std::vector<std::string> scaled;
    const raster_transform chosen = [&choices, &scaled](ps2_raster& raster, std::string& error) {
        const uint32_t own_levels =
            std::max<uint32_t>(raster.levels_before, uint32_t(raster.further_levels.size()) + 1);
        // Kept as it comes (only sides the game refuses scaled) when nothing else is asked and
        // every level came along.
        if (choices.depth == 0 && !choices.mips && raster.further_levels.size() + 1 >= own_levels)
            return ps2_game_sizes_transform(&scaled)(raster, error);
        return ps2_conversion_transform(choices.depth, choices.mips.value_or(own_levels),
                                        choices.dither, &scaled)(raster, error);
    };
    const bool converted = quillmap::convert_to_ps2(*dictionary_, out, error_, &skipped, &chosen);
    for (const auto& line : scaled)
        note_ += (note_.empty() ? "" : "; ") + line;
    return converted;
}

bool editor_session::convert_to_pc(const std::filesystem::path& out,
                                   const pc_convert_options& options,
                                   std::vector<std::string>& skipped,
                                   std::vector<std::string>& notes) {
    return quillmap::convert_to_pc(*dictionary_, out, options, skipped, notes, error_);
}

bool editor_session::convert_to_mobile(const std::filesystem::path& out,
                                       const mobile_convert_options& options,
                                       std::vector<std::string>& skipped,
                                       std::vector<std::string>& notes) {
    return quillmap::convert_to_mobile(*dictionary_, out, options, skipped, notes, error_);
}

bool editor_session::convert_to_gamecube(const std::filesystem::path& out,
                                         const gc_convert_options& options,
                                         std::vector<std::string>& skipped,
                                         std::vector<std::string>& notes) {
    return quillmap::convert_to_gc(*dictionary_, out, options, skipped, notes, error_);
}

std::optional<export_type> editor_session::export_type_for(const std::string& extension) {
    // File systems and users write extensions in any case: car.BMP is a bitmap.
    return export_type_of_extension(ascii_lower(extension));
}

std::string editor_session::import_extension(const std::string& path) {
    const size_t dot = path.find_last_of('.');
    const size_t slash = path.find_last_of("/\\");
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return path;
    return path.substr(dot);
}

bool editor_session::export_texture(uint32_t t, view_mode view, export_type type,
                                    const std::filesystem::path* path, swizzle_mode swizzle,
                                    uint32_t level, const png_write_options& png) {
    const export_settings settings{view, type, swizzle, level, png};
    const std::filesystem::path name =
        path ? *path : std::filesystem::path(dictionary_->default_export_name(t, view, type));
    return write_texture_file(*dictionary_, t, settings, name, error_);
}

bool editor_session::export_textures(std::span<const uint32_t> textures,
                                     const std::filesystem::path& folder,
                                     const export_settings& settings, export_report& report,
                                     const export_progress& progress) {
    report = {};
    if (const char* refused = refusal(restrict_export)) {
        error_ = refused;
        return false;
    }
    for (const uint32_t t : textures)
        if (t >= dictionary_->texture_count()) {
            error_ = "texture " + std::to_string(t) + " does not exist";
            return false;
        }
    // An empty folder is the current directory.
    if (!folder.empty() && !safe_file::make_folders(folder, {}, error_)) return false;
    // Files made in a folder follow the rule of every output folder: no link planted there is
    // written through, and an existing file is replaced, never written into.
    const safe_file::output_policy outputs(
        safe_file::output_folder_options(true, safe_file::current_policy().durable));
    export_textures_into(*dictionary_, textures, folder, settings, report, progress);
    return true;
}

bool editor_session::edit(const edit_record& record, const std::function<bool(ps2_txd&)>& change) {
    if (observer_) observer_->before_edit(record, *dictionary_);
    dictionary_->error_detail.clear();
    error_detail_.clear();
    bool applied = false;
    {
        // Bytes the undo history shares are copied before the edit writes to them.
        rw_stream::edit_scope scope(*dictionary_);
        applied = change(*dictionary_);
    }
    if (applied) {
        modified_ = true;
    } else {
        error_ = dictionary_->last_error;
        error_detail_ = dictionary_->error_detail;
    }
    if (observer_) observer_->after_edit(record, applied);
    return applied;
}

bool editor_session::import_file(const std::string& path, swizzle_mode swizzle,
                                 const png_add_options& png) {
    const edit_record record{edit_kind::add, dictionary_->texture_count(), path, 0};
    note_.clear();
    return edit(record, [&](ps2_txd& txd) {
        const uint32_t before = txd.texture_count();
        if (!add_file(txd, path, swizzle, png)) return false;
        // A name another texture already has (case ignored) would never be found by the game:
        // the added texture goes again.
        const uint32_t added = txd.texture_count();
        for (uint32_t t = before; t < added; ++t) {
            const std::string why =
                name_refusal(txd, t, txd.texture_name(t, name_kind::texture), name_kind::texture);
            if (why.empty()) continue;
            for (uint32_t last = added; last > before; --last)
                txd.delete_texture(last - 1);
            txd.last_error = why;
            note_.clear();
            return false;
        }
        return true;
    });
}

bool editor_session::add_file(ps2_txd& txd, const std::string& path, swizzle_mode swizzle,
                              const png_add_options& png) {
    const std::optional<export_type> type = export_type_for(import_extension(path));
    if (!type) {
        txd.last_error = session_msg::unknown_import;
        return false;
    }
    // PC, XBOX and mobile dictionaries take every picture file in their own formats.
    if (*type != export_type::rwsect) {
        if (auto* pc = dynamic_cast<pc_txd*>(&txd)) return add_pc_picture(*pc, path, png);
        if (auto* mobile = dynamic_cast<ios_txd*>(&txd))
            return add_mobile_picture(*mobile, path, png);
        if (auto* gc = dynamic_cast<gc_txd*>(&txd)) return add_gc_picture(*gc, path, png);
    }
    switch (*type) {
    case export_type::bmp:
        txd.last_error = session_msg::bmp_import;
        return false;
    case export_type::tim2: {
        uint32_t dropped = 0;
        const bool added = txd.add_tim2_texture(path, swizzle, &dropped);
        if (added && dropped) note_ = txd_msg::levels_dropped;
        return added;
    }
    case export_type::rwsect:
        return txd.add_raw_section(path);
    case export_type::png:
    case export_type::dds:
        return add_texture_png(txd, path, png, txd.last_error, note_);
    }
    return false;
}

bool editor_session::replace(uint32_t t, const std::string& image, bool keep_alpha, bool dither,
                             other_levels levels) {
    const edit_record record{edit_kind::replace, t, image, keep_alpha ? 1u : 0u};
    note_.clear();
    return edit(record, [&](ps2_txd& txd) {
        return replace_picture(txd, t, image, keep_alpha, dither, levels);
    });
}

bool editor_session::replace_picture(ps2_txd& txd, uint32_t t, const std::string& image,
                                     bool keep_alpha, bool dither, other_levels levels) {
    const std::optional<export_type> type = export_type_for(import_extension(image));
    if (!type) {
        txd.last_error = txd_msg::unknown_import_format;
        return false;
    }
    // PC, XBOX and mobile textures take every picture file in their own format.
    const mips_request mips{
        levels == other_levels::regenerate ? mips_mode::regenerate : mips_mode::keep, 0};
    if (*type != export_type::rwsect && txd.family() == txd_family::pc_xbox) {
        pc_edit_options options;
        options.dither = dither;
        options.mips = mips;
        return replace_pc_picture(txd, t, image, options, keep_alpha);
    }
    if (*type != export_type::rwsect && txd.family() == txd_family::mobile) {
        mobile_edit_options options;
        options.mips = mips;
        return replace_mobile_picture(txd, t, image, options, keep_alpha);
    }
    if (*type != export_type::rwsect && txd.family() == txd_family::gamecube) {
        gc_edit_options options;
        options.mips = mips;
        options.dither = dither;
        return replace_gc_picture(txd, t, image, options, keep_alpha);
    }
    if (*type == export_type::png || *type == export_type::dds)
        return replace_texture_png(txd, t, image, dither, txd.last_error, note_, levels);
    const levels_before before = capture_levels(txd, t);
    return txd.replace_texture(t, image, *type, keep_alpha) &&
           update_other_levels(txd, t, before, nullptr, levels, dither, txd.last_error);
}

bool editor_session::replace_pc(uint32_t t, const std::string& image,
                                const pc_edit_options& options, bool bmp_alpha) {
    const edit_record record{edit_kind::replace, t, image, bmp_alpha ? 1u : 0u};
    note_.clear();
    return edit(record, [&](ps2_txd& txd) {
        return replace_pc_picture(txd, t, image, options, bmp_alpha);
    });
}

bool editor_session::replace_mobile(uint32_t t, const std::string& image,
                                    const mobile_edit_options& options, bool bmp_alpha) {
    const edit_record record{edit_kind::replace, t, image, bmp_alpha ? 1u : 0u};
    note_.clear();
    return edit(record, [&](ps2_txd& txd) {
        return replace_mobile_picture(txd, t, image, options, bmp_alpha);
    });
}

bool editor_session::replace_mobile_picture(ps2_txd& txd, uint32_t t, const std::string& image,
                                            const mobile_edit_options& options, bool bmp_alpha) {
    auto* mobile = dynamic_cast<ios_txd*>(&txd);
    if (!mobile) {
        txd.last_error = session_msg::mobile_edits_only;
        return false;
    }
    if (export_type_for(import_extension(image)) == export_type::dds) {
        dds_image dds;
        if (!read_dds_file(image, dds, txd.last_error)) return false;
        return replace_mobile_texture_dds(*mobile, t, dds, options, txd.last_error, note_);
    }
    png_picture picture;
    if (!read_picture_file(image, picture, txd.last_error, bmp_alpha)) return false;
    return replace_mobile_texture(*mobile, t, picture.image, options, txd.last_error, note_);
}

bool editor_session::add_mobile_picture(ios_txd& txd, const std::string& path,
                                        const png_add_options& png) {
    mobile_edit_options options;
    options.format = png.mobile;
    if (png.format && !png.mobile) {
        txd.last_error = std::string(pc_format_name(*png.format)) +
                         " is no mobile format: mobile textures take dxt1, dxt3, 565 or 4444";
        return false;
    }
    options.resize = png.resize;
    options.mips = png.mips == 0             ? mips_request{mips_mode::full_chain, 0}
                   : png.mips == k_mips_keep ? mips_request{mips_mode::keep, 0}
                                             : mips_request{mips_mode::count, png.mips};
    png_picture picture;
    if (!read_picture_file(path, picture, txd.last_error)) return false;
    if (!scale_to_asked_size(picture, png, txd.last_error, note_)) return false;
    return add_mobile_texture(txd, picture.image, std::filesystem::path(path).stem().string(),
                              options, txd.last_error, note_);
}

bool editor_session::replace_gamecube(uint32_t t, const std::string& image,
                                      const gc_edit_options& options, bool bmp_alpha) {
    const edit_record record{edit_kind::replace, t, image, bmp_alpha ? 1u : 0u};
    note_.clear();
    return edit(record, [&](ps2_txd& txd) {
        return replace_gc_picture(txd, t, image, options, bmp_alpha);
    });
}

bool editor_session::replace_gc_picture(ps2_txd& txd, uint32_t t, const std::string& image,
                                        const gc_edit_options& options, bool bmp_alpha) {
    auto* gc = dynamic_cast<gc_txd*>(&txd);
    if (!gc) {
        txd.last_error = session_msg::gamecube_edits_only;
        return false;
    }
    if (export_type_for(import_extension(image)) == export_type::dds) {
        dds_image dds;
        if (!read_dds_file(image, dds, txd.last_error)) return false;
        return replace_gc_texture_dds(*gc, t, dds, options, txd.last_error, note_);
    }
    png_picture picture;
    if (!read_picture_file(image, picture, txd.last_error, bmp_alpha)) return false;
    return replace_gc_texture(*gc, t, picture.image, options, txd.last_error, note_);
}

bool editor_session::add_gc_picture(gc_txd& txd, const std::string& path,
                                    const png_add_options& png) {
    gc_edit_options options;
    options.format = png.gamecube;
    if ((png.format || png.mobile) && !png.gamecube) {
        txd.last_error = "GameCube textures take c4, c8, rgb5a3, rgba8 or cmpr";
        return false;
    }
    options.resize = png.resize;
    options.dither = png.dither;
    options.mips = png.mips == 0 ? mips_request{mips_mode::full_chain, 0}
                                 : mips_request{mips_mode::count, png.mips};
    png_picture picture;
    if (export_type_for(import_extension(path)) == export_type::dds) {
        dds_image dds;
        if (!read_dds_file(path, dds, txd.last_error)) return false;
        picture.image.width = dds.width;
        picture.image.height = dds.height;
        picture.image.rgba = dds_level_rgba(dds, 0);
    } else if (!read_picture_file(path, picture, txd.last_error)) {
        return false;
    }
    if (!scale_to_asked_size(picture, png, txd.last_error, note_)) return false;
    return add_gc_texture(txd, picture.image, std::filesystem::path(path).stem().string(), options,
                          txd.last_error, note_);
}

bool editor_session::replace_pc_picture(ps2_txd& txd, uint32_t t, const std::string& image,
                                        const pc_edit_options& options, bool bmp_alpha) {
    auto* pc = dynamic_cast<pc_txd*>(&txd);
    if (!pc) {
        txd.last_error = session_msg::pc_edits_only;
        return false;
    }
    if (export_type_for(import_extension(image)) == export_type::dds) {
        dds_image dds;
        if (!read_dds_file(image, dds, txd.last_error)) return false;
        return replace_pc_texture_dds(*pc, t, dds, options, txd.last_error, note_);
    }
    png_picture picture;
    if (!read_picture_file(image, picture, txd.last_error, bmp_alpha)) return false;
    return replace_pc_texture(*pc, t, picture.image, picture.indexed ? &*picture.indexed : nullptr,
                              options, txd.last_error, note_);
}

bool editor_session::add_pc_picture(pc_txd& txd, const std::string& path,
                                    const png_add_options& png) {
    pc_edit_options options;
    options.format = png.format;
    if (png.mobile && !png.format) {
        txd.last_error = std::string(mobile_format_name(*png.mobile)) +
                         " is a mobile format: PC and XBOX textures take dxt1, dxt3, dxt5, 8888, "
                         "888, pal8 or pal4";
        return false;
    }
    options.resize = png.resize;
    options.dither = png.dither;
    options.mips = png.mips == 0             ? mips_request{mips_mode::full_chain, 0}
                   : png.mips == k_mips_keep ? mips_request{mips_mode::keep, 0}
                                             : mips_request{mips_mode::count, png.mips};
    const std::string name = std::filesystem::path(path).stem().string();
    if (export_type_for(import_extension(path)) == export_type::dds) {
        dds_image dds;
        if (!read_dds_file(path, dds, txd.last_error)) return false;
        return add_pc_texture_dds(txd, dds, name, options, txd.last_error, note_);
    }
    png_picture picture;
    if (!read_picture_file(path, picture, txd.last_error)) return false;
    if (!scale_to_asked_size(picture, png, txd.last_error, note_)) return false;
    return add_pc_texture(txd, picture.image, picture.indexed ? &*picture.indexed : nullptr, name,
                          options, txd.last_error, note_);
}

bool editor_session::set_mips(uint32_t t, mips_request mips, bool dither) {
    const edit_record record{
        edit_kind::mips, t, {}, mips.mode == mips_mode::count ? mips.count : 0};
    note_.clear();
    return edit(record, [&](ps2_txd& txd) {
        if (auto* mobile = dynamic_cast<ios_txd*>(&txd))
            return set_mobile_mips(*mobile, t, mips, txd.last_error, note_);
        if (auto* gc = dynamic_cast<gc_txd*>(&txd))
            return set_gc_mips(*gc, t, mips, txd.last_error, note_);
        auto* pc = dynamic_cast<pc_txd*>(&txd);
        if (!pc) {
            txd.last_error = session_msg::pc_edits_only;
            return false;
        }
        return set_pc_mips(*pc, t, mips, dither, txd.last_error, note_);
    });
}

bool editor_session::rename(uint32_t t, const std::string& name, name_kind which) {
    const std::string text = name.substr(0, name.find('\0')); // names end at their first NUL
    // The name the texture already has is no edit: no undo step, nothing modified.
    if (t < dictionary_->texture_count() && dictionary_->texture_name(t, which) == text)
        return true;
    if (const std::string why = name_refusal(*dictionary_, t, text, which); !why.empty()) {
        error_ = why;
        return false;
    }
    const edit_record record{edit_kind::rename, t, name, uint32_t(name_kind_number(which))};
    return edit(record, [&](ps2_txd& txd) { return txd.rename_texture(t, name, which); });
}

bool editor_session::remove(uint32_t t) {
    return edit({edit_kind::remove, t, {}, 0}, [t](ps2_txd& txd) { return txd.delete_texture(t); });
}

bool editor_session::move_up(uint32_t t) {
    return edit({edit_kind::move_up, t, {}, 0},
                [t](ps2_txd& txd) { return txd.move_texture_up(t); });
}

bool editor_session::move_down(uint32_t t) {
    return edit({edit_kind::move_down, t, {}, 0},
                [t](ps2_txd& txd) { return txd.move_texture_down(t); });
}

bool editor_session::set_version(uint32_t version) {
    if (version == 0 || version == 0xFFFFFFFF) return false;
    return edit({edit_kind::set_version, 0, {}, version}, [version](ps2_txd& txd) {
        if (!txd.root) return false;
        txd.root->version = version;
        for (const auto& child : txd.root->children)
            if (!child || !txd.set_version(version, child.get())) break;
        // D3D8 dictionaries carry device id 0 up to RenderWare 3.3 and 1 after.
        settle_pc_device_id(txd);
        return true;
    });
}

bool editor_session::convert(const std::vector<uint32_t>& textures, texture_conversion conversion,
                             bool dither) {
    note_.clear();
    std::vector<uint32_t> applicable;
    for (uint32_t t : textures)
        if (conversion_applies(*dictionary_, t, conversion)) applicable.push_back(t);
    if (applicable.empty()) {
        error_ = session_msg::conversion_not_applicable;
        return false;
    }
    const edit_record record{edit_kind::convert, applicable.front(), {}, uint32_t(conversion)};
    return edit(record, [&](ps2_txd& txd) {
        uint32_t converted = 0, dropped = 0;
        for (uint32_t t : applicable) {
            std::string why;
            uint32_t dropped_here = 0;
            if (!convert_texture(txd, t, conversion, dither, why, &dropped_here)) {
                // Nothing converted yet: the edit fails and the dictionary is as it was.
                if (converted == 0)
                    txd.last_error = why;
                else
                    note_ = txd.texture_name(t, name_kind::texture) + ": " + why;
                break;
            }
            ++converted;
            dropped += dropped_here;
        }
        if (dropped != 0 && note_.empty())
            note_ = std::to_string(dropped) + session_msg::levels_dropped;
        return converted != 0;
    });
}

namespace {
// The largest side a new texture of `txd` may have: what the game takes on PS2.
uint32_t largest_import_side(const ps2_txd* txd) {
    return txd && txd->family() == txd_family::ps2 ? k_max_game_side_px : ps2_txd::k_max_dimension;
}
} // namespace

bool editor_session::import_size_fits(uint32_t width, uint32_t height) const {
    const uint32_t largest = largest_import_side(dictionary_.get());
    return std::has_single_bit(width) && std::has_single_bit(height) && width <= largest &&
           height <= largest;
}

std::vector<picture_size> editor_session::import_sizes(uint32_t width, uint32_t height) const {
    return power_of_two_sizes(width, height, largest_import_side(dictionary_.get()));
}

} // namespace quillmap
