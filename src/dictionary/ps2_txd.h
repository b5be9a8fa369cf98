#pragma once

#include "dictionary/export_type.h"
#include "dictionary/name_kind.h"
#include "dictionary/native_level.h"
#include "dictionary/ps2_texture_source.h"
#include "dictionary/swizzle_mode.h"
#include "dictionary/texture_info.h"
#include "dictionary/txd_repair.h"
#include "raster/display_image.h"
#include "raster/raster_limits.h"
#include "raster/view_mode.h"
#include "stream/byte_reader.h"
#include "stream/rw_stream.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace quillmap {

class tim2_file;

// The layout a dictionary class keeps its textures in: PS2 rasters (also the TEX class, which
// builds them in memory), the Direct3D Struct of PC and XBOX, the Struct of the mobile ports, or
// the big-endian Struct of the GameCube.
enum class txd_family { ps2, pc_xbox, mobile, gamecube };

// The PS2 texture dictionary and, through its virtual operations, the interface every
// dictionary class implements. It adds no data to rw_stream: every answer comes from the tree.
class ps2_txd : public rw_stream {
  public:
    ps2_txd() = default;
    explicit ps2_txd(const std::filesystem::path& path) : rw_stream(path) {}

    // Reads a dictionary whose root size is off by one header (see txd_repair.h) as it should be.
    std::unique_ptr<rw_chunk> read_chunk(uint32_t offset, rw_chunk* parent,
                                         uint32_t index) override;

    // Slot 3: opens the file and accepts it only when it belongs to this class's platform.
    virtual bool load(const std::filesystem::path& path, uint32_t offset, uint32_t expected_root_id,
                      uint32_t flags);
    // Slot 4: the texture's own name or its mask name.
    virtual std::string texture_name(uint32_t t, name_kind which);
    // Slot 5: BMP, TIM2 or raw section; path none = name in the current directory.
    virtual bool export_texture(uint32_t t, view_mode mode, export_type type,
                                const std::filesystem::path* path, swizzle_mode swizzle);
    virtual bool is_swizzled(uint32_t t); // slot 6
    virtual uint32_t depth(uint32_t t);   // slot 7
    virtual uint32_t width(uint32_t t);   // slot 8
    virtual uint32_t height(uint32_t t);  // slot 9
    // Slot 10: the level's pixel bytes, bounded by the raster data; empty when they do not fit.
    virtual std::span<uint8_t> pixels(uint32_t t, uint32_t level);
    // Slot 11: the palette bytes (4·2^depth), bounded by the raster data; empty when short.
    virtual std::span<uint8_t> palette(uint32_t t);
    virtual bool release_pixels(uint32_t t); // slot 12
    // Slot 13: state_out receives is_swizzled(t).
    virtual device_bitmap render(uint32_t t, view_mode mode, swizzle_mode swizzle, bool* state_out,
                                 uint32_t level);
    virtual uint32_t compression(uint32_t t); // slot 14
    // Slot 15. A PS2 raster lists at most k_max_ps2_levels levels, as PC and mobile rasters do:
    // the transfer blocks past them (a hostile raster may hold 100,000) are not levels anyone
    // shows; `ps2_levels_capped` tells lint when the cap was met.
    virtual uint32_t mip_count(uint32_t t);
    static constexpr uint32_t k_max_ps2_levels = 16;
    bool ps2_levels_capped(uint32_t t) {
        return ps2_level_count(t, k_max_ps2_levels + 1) > k_max_ps2_levels;
    }

    virtual txd_family family() const { return txd_family::ps2; }
    // Level `level` of texture t in the form the bitmap code takes for Struct layouts; none (with
    // last_error) for PS2 rasters, which go through pixels() and palette(), and for levels that
    // are missing or do not fit.
    virtual std::optional<native_level> level_pixels(uint32_t t, uint32_t level,
                                                     level_detail detail = level_detail::declared);

    // Every field of texture t at once; the per-field operations above answer one each.
    texture_info info(uint32_t t);

    // The textures the dictionary holds: the count its Struct says (a 16-bit field), or the
    // texture sections stored, when more are stored than it says.
    uint32_t texture_count() const;
    uint32_t stored_texture_count() const;
    // The sections between the dictionary Struct and its closing Extension.
    uint32_t texture_chunks() const;
    // What is wrong when the Struct's count and the stored sections disagree; empty when not.
    std::string count_disagreement() const;
    // The Struct data of texture t (child 0), loaded and bounded by its size; empty when missing.
    std::span<uint8_t> texture_struct(uint32_t t);
    bool is_ps2(uint32_t t);
    rw_chunk* texture_chunk(uint32_t t) const; // root child t + 1, or none
    const uint8_t* raster_header(uint32_t t);  // 64 bytes
    const uint8_t* transfer_header(uint32_t t);
    const uint8_t* palette_transfer_header(uint32_t t);
    // Virtual: the GameCube Struct stores these words big-endian.
    virtual uint32_t texture_flags(uint32_t t);
    uint32_t pixel_format(uint32_t t);
    virtual uint32_t platform_id(uint32_t t);
    // Virtual: other platforms keep the raster format in their Struct.
    virtual uint32_t raster_format(uint32_t t);
    uint32_t root_version();
    bool create_empty(uint32_t version);

    // Editing (they work on the shared chunk layout of any class). Rename is virtual because
    // PC, XBOX and mobile textures keep their names inside their Struct.
    virtual bool rename_texture(uint32_t t, const std::string& name, name_kind which);
    bool delete_texture(uint32_t t);
    bool move_texture_up(uint32_t t);
    bool move_texture_down(uint32_t t);
    bool replace_texture(uint32_t t, const std::filesystem::path& path, export_type type,
                         bool keep_alpha);
    // Every mip level of picture 0, named after the file without its extension. The stored order
    // follows the raster's rule (PS2 layout), so `swizzle` no longer changes it; levels beyond
    // RenderWare's own count are dropped and counted in `dropped_levels`.
    bool add_tim2_texture(const std::filesystem::path& path, swizzle_mode swizzle,
                          uint32_t* dropped_levels = nullptr);
    bool add_raw_section(const std::filesystem::path& path);
    // Level `level`'s pixels in plain row order (w·h·depth/8 bytes of that level), unswizzled
    // when `swizzled`; empty with last_error when the raster does not hold them.
    std::vector<uint8_t> plain_level(uint32_t t, uint32_t level, bool swizzled);
    // Replaces level 0 with plain-order pixels (swizzled here when the texture stores them so)
    // and, for depths 4 and 8, the palette in the raster's own layout. Checks both places before
    // changing either, so a failure leaves the texture whole.
    bool replace_level0(uint32_t t, std::span<const uint8_t> plain,
                        std::span<const uint8_t> palette_entries);
    // The bytes level `level` occupies as stored (swizzled or not, a narrow swizzled 4-bit
    // level with its whole block), loaded and writable; empty when the raster does not hold it.
    std::span<uint8_t> level_storage(uint32_t t, uint32_t level);
    // Refused once the dictionary holds `limit` textures: k_max_textures for anything a user
    // adds; a conversion keeps every texture of its source, up to what the 16-bit count holds.
    bool append_texture(std::unique_ptr<rw_chunk> chunk, uint32_t limit = k_max_textures);
    // Puts new Struct data in texture t's place (an edit of a PC, XBOX or mobile texture, built
    // by its platform's builder); the texture's Extension stays, and the texture's and the
    // dictionary's sizes follow.
    bool replace_struct(uint32_t t, std::vector<uint8_t> data);
    // Puts a texture section built anew in texture t's place (a conversion); sizes follow.
    bool replace_texture_chunk(uint32_t t, std::unique_ptr<rw_chunk> chunk);
    // File name an export without a path writes into the current directory.
    std::string default_export_name(uint32_t t, view_mode mode, export_type type);
    // Builds a PS2 Texture Native laid out as the game's converter lays it out (every raster
    // header word, transfer header and padding). Levels beyond RenderWare's own count for the
    // size are left out and counted in `dropped_levels`.
    std::unique_ptr<rw_chunk> build_texture(const ps2_texture_source& source,
                                            uint32_t* dropped_levels = nullptr);
    // One level: `pixels` in swizzled order when `swizzled`, else plain; pixels/palette none
    // leave zeros. The stored order follows the raster's rule, whatever order came in.
    std::unique_ptr<rw_chunk> build_texture_native(const std::string& mask_name,
                                                   const uint8_t* pixels,
                                                   const std::string& texture_name, uint32_t width,
                                                   uint32_t height, uint32_t depth,
                                                   const uint8_t* palette, bool swizzled);

    // Textures a dictionary may be given: the game's own tools store at most 255 (the count's
    // low byte); files with more are read whole but not grown.
    static constexpr uint32_t k_max_textures = 255;
    static constexpr uint32_t k_max_count_field = 0xFFFF;
    // The PS2 texture limit of raster_limits.h, under the name the dictionary users know.
    static constexpr uint32_t k_max_dimension = raster_limits::k_max_ps2_dimension;

  protected:
    // Opens with the root-size repair armed when the file needs it.
    bool open_dictionary_file(const std::filesystem::path& path, uint32_t offset,
                              uint32_t expected_root_id, uint32_t flags);
    bool texture_exists(uint32_t t);
    // Drops the loaded Struct of texture t (layouts that keep their pixels in it), to be read
    // again from the file on next use; false when it was not loaded or has no place in the file.
    bool release_struct(uint32_t t);
    // Raster data of texture t (child 3.1), loaded; none when missing.
    std::vector<uint8_t>* raster_data(uint32_t t);
    rw_chunk* raster_data_chunk(uint32_t t);
    // Byte offset of each headered mip level's pixels inside the raster data.
    bool headered_level(uint32_t t, uint32_t level, size_t& offset, size_t& bytes);
    uint32_t raster_word(rw_chunk* chunk, uint64_t offset, bool& ok);
    // A level's pixel bytes as the bitmap and TIM2 code want them: a swizzled level below the
    // transfer minimum comes with its whole padded region (see ps2_stored_region.h).
    std::span<uint8_t> stored_pixels(uint32_t t, uint32_t level, bool swizzled);
    // Writes plain-order level 0 pixels, swizzling them when the texture stores them so.
    bool write_level0(uint32_t t, std::span<const uint8_t> plain, bool swizzled);
    bool write_palette(uint32_t t, std::span<const uint8_t> entries);
    // A new chunk node stamped `version` and counted in allocated_bytes; a leaf holds `data`.
    std::unique_ptr<rw_chunk> new_chunk(uint32_t id, uint64_t size, uint32_t version);
    std::unique_ptr<rw_chunk> new_leaf(uint32_t id, std::vector<uint8_t> data, uint32_t version);
    // Ends a new texture native: the raster Struct holding `header` and `data`, then the
    // Extension with the sky mipmap value the game's converter writes.
    void append_raster_and_extension(rw_chunk* texture, std::vector<uint8_t> header,
                                     std::vector<uint8_t> data, uint64_t raster_size,
                                     uint32_t version);
    // Levels 1.. of a headered texture appended to the TIM2 file's last picture.
    bool add_tim2_levels(uint32_t t, tim2_file& tim2, bool unswizzle);

  private:
    // The PS2 raster's levels, counted up to `limit`.
    uint32_t ps2_level_count(uint32_t t, uint32_t limit);

    // Why texture t is no PS2 texture this class can read; empty when it is one.
    std::string misfit(uint32_t t);
    // The root walked without its own header counted in its size.
    std::unique_ptr<rw_chunk> read_root_counting_header(uint32_t offset);
    root_size_quirk repair_ = root_size_quirk::none; // armed only while a file is opened
};

} // namespace quillmap
