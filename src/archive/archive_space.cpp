#include "archive/archive_space.h"

#include "archive/archive_table.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace quillmap {

uint64_t data_end_sectors(std::span<const archive_entry> entries, uint64_t data_length) {
    uint64_t end = sectors_for(data_length);
    for (const auto& entry : entries)
        if (entry.size) end = std::max(end, (entry.offset + entry.size) / k_archive_sector_bytes);
    return end;
}

uint64_t place_sectors(std::span<const archive_entry> entries, uint64_t data_length,
                       uint64_t reserved, uint64_t sectors) {
    std::vector<std::pair<uint64_t, uint64_t>> used; // [first, end) in sectors
    used.reserve(entries.size());
    for (const auto& entry : entries)
        if (entry.size)
            used.emplace_back(entry.offset / k_archive_sector_bytes,
                              (entry.offset + entry.size) / k_archive_sector_bytes);
    std::sort(used.begin(), used.end());
    uint64_t free_from = reserved;
    for (const auto& [first, end] : used) {
        if (first >= free_from && first - free_from >= sectors) return free_from;
        free_from = std::max(free_from, end);
    }
    return std::max(free_from, data_end_sectors(entries, data_length));
}

void mark_overlapping_entries(std::span<archive_entry> entries) {
    std::vector<std::pair<uint64_t, size_t>> order; // (offset, index)
    order.reserve(entries.size());
    for (size_t i = 0; i < entries.size(); ++i) {
        entries[i].overlaps = false;
        if (entries[i].inside && entries[i].size) order.emplace_back(entries[i].offset, i);
    }
    std::sort(order.begin(), order.end());
    uint64_t covered_to = 0;
    for (const auto& [offset, index] : order) {
        const archive_entry& entry = entries[index];
        if (offset < covered_to) entries[index].overlaps = true;
        covered_to = std::max(covered_to, entry.offset + entry.size);
    }
}

} // namespace quillmap
