#pragma once

// The editor session: the open dictionary with its path, offset, modified flag and restriction
// mask, and the operations that the window and the command line both run on it. Every change
// to the dictionary goes through one edit step, where an observer can record it (undo/redo).

#include "dictionary/convert_ps2.h"
#include "dictionary/ps2_txd.h"
#include "dictionary/txd_probe.h"
#include "imageio/convert_gc.h"
#include "imageio/convert_mobile.h"
#include "imageio/convert_pc.h"
#include "imageio/mip_chain.h"
#include "imageio/texture_conversion.h"
#include "imageio/texture_mobile.h"
#include "imageio/texture_pc.h"
#include "imageio/texture_png.h"
#include "session/import_choices.h"
#include "session/texture_export.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quillmap {

enum class edit_kind {
    rename,
    remove,
    move_up,
    move_down,
    replace,
    add,
    set_version,
    convert,
    mips
};

// One edit as the session ran it: enough to replay it or to name it in an undo list.
struct edit_record {
    edit_kind kind = edit_kind::rename;
    uint32_t texture = 0; // the texture worked on; for add, the count before the add
    std::string argument; // the new name, the image or the imported file
    uint32_t value = 0;   // rename: 0 texture name, 1 mask name; replace: keep alpha; version;
                          // convert: the texture_conversion
};

// Sees every edit: before it (the dictionary still unchanged, so a snapshot can be taken) and
// after it with whether it changed the dictionary.
class edit_observer {
  public:
    virtual ~edit_observer() = default;
    virtual void before_edit(const edit_record& edit, ps2_txd& dictionary) = 0;
    virtual void after_edit(const edit_record& edit, bool applied) = 0;
    // The dictionary was written where the session keeps it: this is now the saved state.
    virtual void after_save() {}
};

enum class open_status { opened, unsupported, refused };

// One row of Replace All from Folder's report.
struct folder_replacement {
    std::string texture; // the texture's name; empty for a picture that matched none
    std::string file;    // the picture's file name; empty when the folder held none
    bool replaced = false;
    std::string why; // what was skipped and why, or a note on what the replace changed
};

// What a conversion into a PS2 dictionary makes of textures of other platforms.
struct ps2_convert_choices {
    uint32_t depth = 0;           // 4, 8 or 32; 0 keeps the texture's
    std::optional<uint32_t> mips; // none keeps the texture's level count; 0 RenderWare's own
    bool dither = true;
};

// The game archive entry the open dictionary was read from. Saving goes back into the entry,
// which grows into free sectors of the archive when the dictionary no longer fits its own; the
// bytes around it belong to other files.
struct archive_entry_link {
    std::string archive; // the file the entry's bytes lie in (the .img)
    std::string entry;   // the entry's name in the archive's table
    uint64_t offset = 0; // bytes from the start of `archive`
    uint64_t size = 0;   // bytes the entry owns, whole sectors
};

class editor_session {
  public:
    editor_session() = default;
    editor_session(editor_session&&) = default;
    editor_session& operator=(editor_session&&) = default;

    // ---- state ----
    ps2_txd* dictionary() const { return dictionary_.get(); }
    bool is_open() const { return dictionary_ != nullptr; }
    const std::string& path() const { return path_; }
    uint32_t offset() const { return offset_; }
    void set_offset(uint32_t offset) { offset_ = offset; }
    bool modified() const { return modified_; }
    void set_modified(bool value) { modified_ = value; }
    uint32_t restriction_mask() const { return restriction_mask_; }
    void set_restriction_mask(uint32_t mask) { restriction_mask_ = mask; }
    // The class the open dictionary was opened as, none for a new one; and its name ("?").
    std::optional<txd_platform> platform() const { return platform_; }
    const char* platform_name() const;
    // Whether the open dictionary's class is one that the priority text left out.
    bool opened_outside_priority() const { return outside_priority_; }
    // Why the last operation failed.
    const std::string& last_error() const { return error_; }
    // What the reader of a picture file found cut short when the last edit failed on it ("TIM2
    // image data at offset 64 needs 4096 bytes, only 100 remain"); empty when there is none.
    const std::string& error_detail() const { return error_detail_; }
    // The last error with its detail on a line of its own, as the front ends show it.
    std::string error_text() const {
        return error_detail_.empty() ? error_ : error_ + "\n" + error_detail_;
    }
    // Why the last open found no class for the file: the system's reason, "not a RenderWare
    // file: ...", the damaged chunk, or what each class refused.
    const std::string& open_reason() const { return reason_; }
    void set_observer(edit_observer* observer) { observer_ = observer; }
    // The archive entry of the open dictionary; none for a plain file. Set by the caller after
    // opening an entry; every other open, new, close and save as drops it.
    const std::optional<archive_entry_link>& entry_link() const { return entry_link_; }
    void set_entry_link(archive_entry_link link) { entry_link_ = std::move(link); }
    // When the open file is a game archive and the open offset is where one of its entries
    // starts, links that entry, so that saving in place goes through the archive (and grows the
    // entry) instead of writing over the entry after it. False when no entry starts there.
    // `open` links it already, and refuses an offset of a game archive where no entry starts.
    bool link_entry_at_offset();
    // The entry of the game archive at `path` (its .img) that starts at `offset`; none when no
    // entry with bytes starts there or the file is no archive's .img.
    static std::optional<archive_entry_link> entry_starting_at(const std::string& path,
                                                               uint64_t offset);

    // The message that refuses a command of `bit` for the open format; none when allowed.
    const char* refusal(restriction_bits bit) const;

    // ---- files ----
    // Replaces the open dictionary by the one at (path, offset), trying the platforms named in
    // `priority` and, when all of them refuse the file, the platforms it leaves out. `accept`,
    // when given, sees the probed dictionary before the session takes it and may refuse it.
    // The open dictionary stays as it is unless the new one is taken. While this runs the mask
    // holds restrict_opening.
    open_status open(const std::string& path, uint32_t offset, std::string_view priority,
                     const std::function<bool(ps2_txd&)>& accept = {});
    // An empty PS2 dictionary of `version` without a file; it counts as modified.
    bool create_new(uint32_t version);
    // Drops the dictionary and its path; the mask and the modified flag return to 0.
    void close();
    // Writes over the open file at its offset. A dictionary opened from an archive entry goes
    // back into that entry (see archive_entry_link), which grows when it must, and the link then
    // holds its new place. At an offset inside any other larger file the dictionary is written in
    // place, and only when it fits the bytes it took there; otherwise nothing is written and
    // `save_needs_new_file` tells the caller to offer Save As.
    bool save();
    // Whether the last save failed because the dictionary no longer fits where it lies (or the
    // target is the container it was read from): only a new file can take it.
    bool save_needs_new_file() const { return save_needs_new_file_; }
    // Writes to `path` at offset 0, which becomes the session's file.
    bool save_as(const std::string& path);
    // Rebuilds the dictionary as a PS2 one into `out`; the session's own dictionary stays.
    // `transform`, when given, reshapes textures of other platforms (depth, mip levels);
    // without one, sides the game refuses are scaled to allowed ones and last_note names them.
    bool convert_to_ps2(const std::filesystem::path& out,
                        std::vector<std::string>* skipped = nullptr,
                        const raster_transform* transform = nullptr);
    // The same as `choices` ask of each texture of another platform: its depth (4, 8 or 32; 0
    // keeps it) and its mip levels (none keeps the texture's count, 0 is RenderWare's own, else
    // a count); sides the game refuses are scaled all the same, named in last_note.
    bool convert_to_ps2(const std::filesystem::path& out, std::vector<std::string>& skipped,
                        const ps2_convert_choices& choices);

    // Rebuilds the dictionary as a D3D8, D3D9 or XBOX one into `out`; the session's own
    // dictionary stays. `notes` tells what changed on the way, per texture.
    bool convert_to_pc(const std::filesystem::path& out, const pc_convert_options& options,
                       std::vector<std::string>& skipped, std::vector<std::string>& notes);
    // Rebuilds the dictionary as a mobile one into `out`; the session's own dictionary stays.
    bool convert_to_mobile(const std::filesystem::path& out, const mobile_convert_options& options,
                           std::vector<std::string>& skipped, std::vector<std::string>& notes);
    // Rebuilds the dictionary as a GameCube one into `out`; the session's own dictionary stays.
    bool convert_to_gamecube(const std::filesystem::path& out, const gc_convert_options& options,
                             std::vector<std::string>& skipped, std::vector<std::string>& notes);

    // ---- textures ----
    // The export type a file extension names (with or without its dot), 0 for none.
    static std::optional<export_type> export_type_for(const std::string& extension);
    // The extension of an import or replace file as the dispatch sees it: from the last "."
    // of the file name on, the whole path without one.
    static std::string import_extension(const std::string& path);
    // Whether a picture of width x height goes into the open dictionary at its own size: sides
    // that are powers of two, in a PS2 dictionary no larger than the game takes.
    bool import_size_fits(uint32_t width, uint32_t height) const;
    // The sizes such a picture may be imported at instead, the nearest first.
    std::vector<picture_size> import_sizes(uint32_t width, uint32_t height) const;
    // Writes level `level` of texture t (only a PNG holds levels above 0, packed as `png`
    // says); path none = the default name in the current directory.
    bool export_texture(uint32_t t, view_mode view, export_type type,
                        const std::filesystem::path* path, swizzle_mode swizzle, uint32_t level = 0,
                        const png_write_options& png = {});
    // Writes `textures` into `folder` (made when missing) as `settings` say, named as an export
    // without a path names them. Every texture is tried: failures are collected in `report`,
    // and `progress` may stop the run between textures. False (with last_error) only when
    // nothing could start: exporting is refused for this dictionary or the folder cannot be made.
    bool export_textures(std::span<const uint32_t> textures, const std::filesystem::path& folder,
                         const export_settings& settings, export_report& report,
                         const export_progress& progress = {});
    // Adds the textures of a TIM2 picture, a raw section or a PNG, by the file's extension.
    // A PNG is added as `png` says (its swizzle choice included).
    bool import_file(const std::string& path, swizzle_mode swizzle,
                     const png_add_options& png = {});
    // Replaces texture t's pixels from a BMP, TIM2 or PNG (or a DDS). A PNG with more colours
    // than the texture's palette is quantized (`dither`); the other mip levels follow `levels`,
    // so a new palette never shows through old indices. PC, XBOX and mobile textures take any of
    // the four in their own format (replace_pc, replace_mobile with their defaults); a BMP's
    // alpha counts only with `keep_alpha`, as for PS2 textures.
    bool replace(uint32_t t, const std::string& image, bool keep_alpha, bool dither = true,
                 other_levels levels = other_levels::follow_palette);
    // Adds a picture as `choices` say (import_choices.h): import_file with the options they
    // name for the dictionary's platform.
    bool import_chosen(const std::string& path, swizzle_mode swizzle,
                       const import_choices& choices);
    // Replaces texture t from a picture as `choices` say, as one edit: a PS2 texture asked for
    // another depth is rebuilt at that depth first, PC, XBOX and mobile textures take the
    // format asked for.
    bool replace_chosen(uint32_t t, const std::string& image, bool keep_alpha,
                        const import_choices& choices);
    // Replaces every texture that `folder` holds a picture for, named after the texture (case
    // aside; PNG, DDS, BMP or TIM2), as one edit; the export-all, edit, put-back loop. The
    // report has a row per texture and per picture that matched nothing; false (with the
    // error) when the folder cannot be read, true otherwise, even when nothing matched.
    bool replace_all_from_folder(const std::filesystem::path& folder,
                                 std::vector<folder_replacement>& report, bool dither = true);
    // Replaces texture t of a PC or XBOX dictionary from a PNG or DDS (a DDS in the texture's
    // own format goes in as it is): its own format unless options.format names another, the
    // mip levels as options.mips asks.
    bool replace_pc(uint32_t t, const std::string& image, const pc_edit_options& options,
                    bool bmp_alpha = false);
    // Replaces texture t of a mobile dictionary from a PNG, DDS, BMP or TIM2: its own format
    // unless options.format names another, the mip levels as options.mips asks.
    bool replace_mobile(uint32_t t, const std::string& image, const mobile_edit_options& options,
                        bool bmp_alpha = false);
    // Replaces texture t of a GameCube dictionary from a PNG, DDS, BMP or TIM2: its own kind
    // unless options.format names another, the mip levels as options.mips asks.
    bool replace_gamecube(uint32_t t, const std::string& image, const gc_edit_options& options,
                          bool bmp_alpha = false);
    // Gives texture t of a PC, XBOX or mobile dictionary the mip levels asked for (level 0
    // kept).
    bool set_mips(uint32_t t, mips_request mips, bool dither = true);
    // What the last import, replace or conversion changed on the way (colours reduced, levels
    // limited, sizes scaled).
    const std::string& last_note() const { return note_; }
    bool rename(uint32_t t, const std::string& name, name_kind which);
    bool remove(uint32_t t);
    bool move_up(uint32_t t);
    bool move_down(uint32_t t);
    // Stamps `version` on the root and every chunk below it; false without a root or for
    // 0 and 0xFFFFFFFF, the answers of a version chooser that chose nothing.
    bool set_version(uint32_t version);
    // Converts every texture of `textures` the conversion applies to, as one edit; the others
    // are left alone. False when none applies or the first one fails; a later failure keeps
    // the textures already converted and is told in last_note, as dropped mip levels are.
    bool convert(const std::vector<uint32_t>& textures, texture_conversion conversion,
                 bool dither = true);

    // ---- long operations on another thread ----
    // A session of its own over a copy of the open dictionary, every leaf read now, so that the
    // copy never reads the file: a long operation runs on it on another thread while this
    // session stays with its own thread, untouched. None (with the error) when nothing is open
    // or a leaf cannot be read.
    std::optional<editor_session> working_copy();
    // Takes the dictionary of `worked` (a working copy that ran one or more edits) as one edit
    // of `kind` (one undo step); the copy's note becomes this session's.
    bool take_worked(editor_session&& worked, edit_kind kind, const std::string& argument = {});

  private:
    // Runs `change` as one edit: observer before and after, modified on success, the error
    // kept on failure.
    bool edit(const edit_record& record, const std::function<bool(ps2_txd&)>& change);
    // The one replace dispatch (inside an edit): by the texture's family and the file's
    // extension; the note goes to note_.
    bool replace_picture(ps2_txd& txd, uint32_t t, const std::string& image, bool keep_alpha,
                         bool dither, other_levels levels);
    // The PC steps of replace and import (inside an edit).
    bool replace_pc_picture(ps2_txd& txd, uint32_t t, const std::string& image,
                            const pc_edit_options& options, bool bmp_alpha);
    bool add_pc_picture(pc_txd& txd, const std::string& path, const png_add_options& png);
    // The mobile steps of replace and import (inside an edit).
    bool replace_mobile_picture(ps2_txd& txd, uint32_t t, const std::string& image,
                                const mobile_edit_options& options, bool bmp_alpha);
    bool add_mobile_picture(ios_txd& txd, const std::string& path, const png_add_options& png);
    // The GameCube steps of replace and import (inside an edit).
    bool replace_gc_picture(ps2_txd& txd, uint32_t t, const std::string& image,
                            const gc_edit_options& options, bool bmp_alpha);
    bool add_gc_picture(gc_txd& txd, const std::string& path, const png_add_options& png);
    // Adds the textures of one import file, by its extension; the note tells what changed.
    bool add_file(ps2_txd& txd, const std::string& path, swizzle_mode swizzle,
                  const png_add_options& png);
    bool save_into_entry();
    void saved();

    std::unique_ptr<ps2_txd> dictionary_;
    std::string path_;
    uint32_t offset_ = 0;
    bool save_needs_new_file_ = false;
    bool modified_ = false;
    uint32_t restriction_mask_ = 0;
    std::optional<txd_platform> platform_;
    bool outside_priority_ = false;
    std::string error_;
    std::string error_detail_;
    std::string note_;
    std::string reason_;
    edit_observer* observer_ = nullptr;
    std::optional<archive_entry_link> entry_link_;
};

} // namespace quillmap
