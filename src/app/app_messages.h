#pragma once

namespace quillmap {

// Texts the window shows in message boxes, the status bar and its file dialogs, as they stand.
namespace app_msg {
// String resources 1-5.
inline constexpr const char* ready = "Quillmap is ready to win";
inline constexpr const char* swizzle_on = "Swizzling is ON";
inline constexpr const char* not_loaded = "Texture not loaded.";
inline constexpr const char* unknown_version = "Unknown RW Version";
inline constexpr const char* error = "Error";

inline constexpr const char* unsaved_changes =
    "You have unsaved changes in the TXD.\n\nDo you want to save the changes?";
inline constexpr const char* exit_caption = "Exit?";
// The same question before another dictionary replaces the edited one.
inline constexpr const char* open_caption = "Open?";
inline constexpr const char* unsupported_compression =
    "Unsupported compression: \r\n Some textures will not be rendered.";
inline constexpr const char* warning_caption = "Warning!";
inline constexpr const char* close_for_new = "Do you really want to close currently opened file?";
inline constexpr const char* new_caption = "Create new TXD";
inline constexpr const char* offset_prompt = "Type a hexademical offset";
inline constexpr const char* offset_label = "Offset:";
inline constexpr const char* offset_initial = "0x00";
inline constexpr const char* untitled = "Untitled";
inline constexpr const char* loaded = "File %s loaded, %d textures found (%0.2f kBytes allocated)";
inline constexpr const char* saved_as = " saved."; // after the file name
inline constexpr const char* saved = "File %s successfully saved.";
inline constexpr const char* please_wait = "Please wait...";
inline constexpr const char* done = "Done!";
inline constexpr const char* load_first = "Firstly load RW resource.";
inline constexpr const char* no_stream = "RW stream N/A";
inline constexpr const char* memory_info = "Now allocated %.2f KB (%d bytes). %d";
inline constexpr const char* memory_caption = "RW Memory info";
inline constexpr const char* batch_done = "Done";
inline constexpr const char* title_no_file = "Quillmap v0.21 build %d";
inline constexpr const char* version_unnamed = "RW 0x%08X";

inline constexpr const char* continue_question = "\n\nDo you wanna continue to next file in queue?";
inline constexpr const char* exported_one = "Texture %s exported to %s within %.2f seconds.";
inline constexpr const char* exported_many = "%d textures exported to %s within %.2f seconds.";
inline constexpr const char* renamed = "Texture succesfully renamed.";
inline constexpr const char* delete_question = "Do you really want permanently delete \"%s\"?";
inline constexpr const char* delete_caption = "Confirm texture delete";
inline constexpr const char* delete_many_question =
    "Do you really want permanently delete %d textures?";
inline constexpr const char* deleted_many = "%d textures deleted.";
inline constexpr const char* opened_outside_priority =
    " Opened as %s, which platform_priority does not list.";
inline constexpr const char* converted = "Done! %d textures converted (%.2f kBytes before, %.2f "
                                         "kBytes after).";
inline constexpr const char* undone = "Undone: %s.";
inline constexpr const char* redone = "Redone: %s.";
inline constexpr const char* dropped_added = "%d textures added.";
inline constexpr const char* dropped_replaced = "Texture '%s' replaced.";
inline constexpr const char* textures_converted = "%d textures converted.";

inline constexpr const char* rendered = "Texture '%s' rendered within %.2f seconds.";
inline constexpr const char* unswizzled = "Texture unswizzled";
inline constexpr const char* no_swizzling = "Texture have no swizzling";
inline constexpr const char* swizzle_off = "Swizzling is OFF";
inline constexpr const char* mip_level = "Mip level #%02d (%dx%d)";

// Game archives and Export All.
inline constexpr const char* entry_outside =
    "The entry %s lies past the end of the archive and cannot be opened.";
inline constexpr const char* entry_beyond_4gib =
    "The entry %s lies beyond 4 GiB in the archive, where it cannot be opened.";
inline constexpr const char* entry_empty = "The entry %s is empty: it holds no dictionary.";
inline constexpr const char* entry_filter_all = "All Files (*.*)|*.*|";
inline constexpr const char* extracting = "Extracting %d entries to %s...";
inline constexpr const char* extracted = "%d entries extracted to %s.";
inline constexpr const char* extracted_renamed =
    "%d entries extracted to %s; %d names were changed into safe file names.";
inline constexpr const char* extracted_one = "%s extracted to %s.";
inline constexpr const char* entries_added = "%d entries added to %s.";
inline constexpr const char* entry_replaced = "%s replaced from %s.";
inline constexpr const char* delete_entries_question =
    "Delete %d entries from %s?\n\nTheir sectors stay in the archive as free space until "
    "it is compacted.";
inline constexpr const char* delete_entries_caption = "Delete Entries";
inline constexpr const char* entries_deleted = "%d entries deleted from %s.";
inline constexpr const char* rename_entry_title = "Rename Entry";
inline constexpr const char* rename_entry_label = "New name (at most 23 characters):";
inline constexpr const char* entry_renamed = "%s renamed to %s.";
inline constexpr const char* compacting = "Compacting %s...";
inline constexpr const char* compacted = "%s compacted: %llu bytes before, %llu after.";
inline constexpr const char* archive_task_cancelled = "Cancelled; %s is as it was.";
inline constexpr const char* save_caption = "Save";
// After the session's message when the dictionary no longer fits where it lies in a larger file.
inline constexpr const char* offer_save_as = "\n\nSave it as a separate file instead?";
inline constexpr const char* saved_into_entry = "%s saved into its archive entry.";
inline constexpr const char* entry_kind_none = "-";
inline constexpr const char* exporting_all = "Exporting %d textures to %s...";
// Edit in...: the texture's picture was saved in the image editor.
inline constexpr const char* external_saved =
    "'%s' was saved in the image editor.\n\nReplace the texture with it?";
inline constexpr const char* external_caption = "Edit in";
inline constexpr const char* editing_in = "Editing '%s' in %s.";
inline constexpr const char* editor_not_started = "The image editor could not be started for %s.";
// The progress windows of the operations that run off the window's thread.
inline constexpr const char* importing = "Importing %d files...";
inline constexpr const char* replacing = "Replacing %s...";
inline constexpr const char* converting_textures = "Converting %d textures...";
inline constexpr const char* converting_dictionary = "Converting the dictionary into %s...";
inline constexpr const char* replacing_from_folder = "Replacing textures from %s...";
inline constexpr const char* export_cancelled =
    "Export cancelled: %d of %d textures exported to %s.";
inline constexpr const char* export_failures = "%d of %d textures could not be exported:\n";
inline constexpr const char* export_more_failures = "...and %d more.";
inline constexpr const char* cannot_create_folder = "Cannot create folder %s.";

// Replace All from Folder.
inline constexpr const char* replace_all_caption = "Replace All from Folder";
inline constexpr const char* replaced_from_folder = "%d of %d textures replaced from %s.";

// File dialog filters: "description|pattern|...|".
inline constexpr const char* filter_txd = "PlayStation2 TXD (*.txd)|*.txd|";
inline constexpr const char* filter_pc_txd = "PC TXD (*.txd)|*.txd|";
inline constexpr const char* filter_xbox_txd = "XBOX TXD (*.txd)|*.txd|";
inline constexpr const char* filter_mobile_txd = "Mobile TXD (*.txd)|*.txd|";
inline constexpr const char* filter_gc_txd = "GameCube TXD (*.txd)|*.txd|";
inline constexpr const char* filter_open = "PlayStation2 TXD (*.txd)|*.txd|PlayStation2 / PSP TEX "
                                           "(*.tex; *.xtx; *.chk)|*.tex; *.xtx; *.chk|";
inline constexpr const char* filter_all = "All Files (*.*)|*.*|";
inline constexpr const char* filter_archive =
    "Game Archive (*.img; *.dir)|*.img; *.dir|All Files (*.*)|*.*|";
inline constexpr const char* filter_batch = "ps2 txd|*.txd|";
inline constexpr const char* filter_png = "PNG Picture (*.png)|*.png|All Files (*.*)|*.*|";
inline constexpr const char* filter_bmp = "Windows Bitmap (*.bmp)|*.bmp|All Files (*.*)|*.*|";
inline constexpr const char* filter_tim2 = "PlayStation2 TIM2 (*.tm2)|*.tm2|All Files (*.*)|*.*|";
inline constexpr const char* filter_rwsect =
    "Texture Native RW Section (*.rwsect)|*.rwsect|All Files (*.*)|*.*|";
inline constexpr const char* filter_any_export =
    "PNG Picture (*.png)|*.png|Windows Bitmap (*.bmp)|*.bmp|PlayStation2 TIM2 (*.tm2)|*.tm2|"
    "Texture Native RW Section (*.rwsect)|*.rwsect|";
inline constexpr const char* filter_import =
    "PNG Picture (*.png)|*.png|Windows Bitmap (*.bmp)|*.bmp|PlayStation2 TIM2 (*.tm2)|*.tm2|"
    "Texture Native RW Section (*.rwsect)|*.rwsect|PlayStation2 TXD (*.txd)|*.txd|All Supported "
    "Formats (*.txd; *.png; *.bmp; *.tm2; *.rwsect)|*.txd; *.png; *.bmp; *.tm2; *.rwsect|All "
    "Files (*.*)|*.*|";
} // namespace app_msg

// Build identity; the build number comes from platform/system.h.
inline constexpr const char* k_version_text = "v0.21";

} // namespace quillmap
