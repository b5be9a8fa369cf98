#include "power_loss.h"

#include "stream/safe_file.h"

#include <fstream>
#include <random>
#include <sys/stat.h>

namespace quillmap {

namespace fs = std::filesystem;

namespace {
power_loss_model* g_recording = nullptr;

void journal(const safe_file::io_record& r) {
    if (!g_recording) return;
    power_loss_model::record copy;
    copy.what = int(r.what);
    copy.file = r.file;
    copy.path = r.path.lexically_normal().string();
    copy.to = r.to.lexically_normal().string();
    copy.offset = r.offset;
    copy.bytes.assign(r.bytes.begin(), r.bytes.end());
    g_recording->add(std::move(copy));
}

using kind = safe_file::io_record::kind;

constexpr uint64_t k_disk_sector = 512;

// One unflushed change to a file's bytes: a sector's piece of a write, or a cut.
struct piece {
    uint64_t file = 0; // model id
    bool cut = false;
    uint64_t offset = 0; // a cut: the new length
    std::vector<uint8_t> bytes;
};

// One unflushed name change in the folder.
struct name_change {
    int what = 0;
    std::string name, to;
    uint64_t file = 0; // create: model id
};

void apply_piece(std::vector<uint8_t>& bytes, const piece& p) {
    if (p.cut) {
        bytes.resize(size_t(p.offset));
        return;
    }
    if (bytes.size() < p.offset + p.bytes.size()) bytes.resize(size_t(p.offset + p.bytes.size()));
    std::copy(p.bytes.begin(), p.bytes.end(), bytes.begin() + ptrdiff_t(p.offset));
}

void apply_name(std::map<std::string, uint64_t>& names, const name_change& c) {
    if (c.what == int(kind::create)) {
        names[c.name] = c.file;
    } else if (c.what == int(kind::rename) || c.what == int(kind::link)) {
        const auto found = names.find(c.name);
        if (found == names.end()) return;
        const uint64_t file = found->second;
        if (c.what == int(kind::rename)) names.erase(found);
        names[c.to] = file;
    } else if (c.what == int(kind::unlink)) {
        names.erase(c.name);
    }
}

// The model's disk after some changes.
struct replay {
    std::map<uint64_t, std::vector<uint8_t>> durable; // model id -> flushed bytes
    std::map<uint64_t, uint64_t> ids;                 // inode -> model id of the live file
    std::map<std::string, uint64_t> names;            // flushed names -> model id
    std::vector<piece> pieces;
    std::vector<name_change> changes;
};
} // namespace

void power_loss_model::start(const fs::path& folder) {
    folder_ = folder.lexically_normal();
    start_names_.clear();
    start_files_.clear();
    records_.clear();
    for (const auto& item : fs::directory_iterator(folder_)) {
        if (!item.is_regular_file()) continue;
        struct stat info {};
        if (::stat(item.path().c_str(), &info) != 0) continue;
        start_names_[item.path().filename().string()] = uint64_t(info.st_ino);
        std::ifstream in(item.path(), std::ios::binary);
        start_files_[uint64_t(info.st_ino)] =
            std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
    }
    g_recording = this;
    recording_ = true;
    safe_file::set_io_journal(journal);
}

void power_loss_model::stop() {
    if (!recording_) return;
    safe_file::set_io_journal(nullptr);
    g_recording = nullptr;
    recording_ = false;
}

power_loss_model::~power_loss_model() {
    stop();
}

namespace {
replay run(const std::map<std::string, uint64_t>& start_names,
           const std::map<uint64_t, std::vector<uint8_t>>& start_files,
           const std::vector<power_loss_model::record>& records, size_t cut,
           const fs::path& folder) {
    replay r;
    uint64_t next_id = 1;
    std::map<uint64_t, uint64_t> id_of_start;
    for (const auto& [inode, bytes] : start_files) {
        id_of_start[inode] = next_id;
        r.ids[inode] = next_id;
        r.durable[next_id++] = bytes;
    }
    for (const auto& [name, inode] : start_names)
        r.names[name] = id_of_start[inode];
    const auto in_folder = [&](const std::string& path) {
        return fs::path(path).parent_path() == folder;
    };
    const auto name_of = [](const std::string& path) { return fs::path(path).filename().string(); };
    for (size_t i = 0; i < cut && i < records.size(); ++i) {
        const auto& rec = records[i];
        switch (kind(rec.what)) {
        case kind::create:
            if (!in_folder(rec.path)) break;
            r.ids[rec.file] = next_id;
            r.durable[next_id] = {};
            r.changes.push_back({rec.what, name_of(rec.path), {}, next_id});
            ++next_id;
            break;
        case kind::write: {
            const auto id = r.ids.find(rec.file);
            if (id == r.ids.end()) break;
            for (uint64_t from = rec.offset; from < rec.offset + rec.bytes.size();) {
                const uint64_t to = std::min<uint64_t>(rec.offset + rec.bytes.size(),
                                                       (from / k_disk_sector + 1) * k_disk_sector);
                piece p{id->second, false, from, {}};
                p.bytes.assign(rec.bytes.begin() + ptrdiff_t(from - rec.offset),
                               rec.bytes.begin() + ptrdiff_t(to - rec.offset));
                r.pieces.push_back(std::move(p));
                from = to;
            }
            break;
        }
        case kind::truncate: {
            const auto id = r.ids.find(rec.file);
            if (id != r.ids.end()) r.pieces.push_back({id->second, true, rec.offset, {}});
            break;
        }
        case kind::flush: {
            const auto id = r.ids.find(rec.file);
            if (id == r.ids.end()) break;
            std::vector<piece> left;
            for (auto& p : r.pieces)
                if (p.file == id->second)
                    apply_piece(r.durable[p.file], p);
                else
                    left.push_back(std::move(p));
            r.pieces = std::move(left);
            break;
        }
        case kind::flush_folder:
            if (fs::path(rec.path).lexically_normal() != folder) break;
            for (const auto& c : r.changes)
                apply_name(r.names, c);
            r.changes.clear();
            break;
        case kind::rename:
        case kind::link:
            if (in_folder(rec.path) && in_folder(rec.to))
                r.changes.push_back({rec.what, name_of(rec.path), name_of(rec.to), 0});
            break;
        case kind::unlink:
            if (in_folder(rec.path)) r.changes.push_back({rec.what, name_of(rec.path), {}, 0});
            break;
        }
    }
    return r;
}
} // namespace

power_loss_model::pending power_loss_model::pending_at(size_t cut) const {
    const replay r = run(start_names_, start_files_, records_, cut, folder_);
    return {r.pieces.size(), r.changes.size()};
}

std::map<std::string, std::vector<uint8_t>>
power_loss_model::state_at(size_t cut, const survivors& kept) const {
    replay r = run(start_names_, start_files_, records_, cut, folder_);
    for (size_t i = 0; i < r.pieces.size(); ++i)
        if (i < kept.pieces.size() && kept.pieces[i])
            apply_piece(r.durable[r.pieces[i].file], r.pieces[i]);
    for (size_t i = 0; i < kept.names && i < r.changes.size(); ++i)
        apply_name(r.names, r.changes[i]);
    std::map<std::string, std::vector<uint8_t>> out;
    for (const auto& [name, id] : r.names)
        out[name] = r.durable[id];
    return out;
}

std::vector<power_loss_model::survivors>
power_loss_model::samples_at(size_t cut, size_t random_samples, uint64_t seed) const {
    const pending p = pending_at(cut);
    std::vector<std::vector<bool>> subsets;
    if (p.pieces <= 6) {
        for (uint64_t mask = 0; mask < (uint64_t(1) << p.pieces); ++mask) {
            std::vector<bool> s(p.pieces);
            for (size_t i = 0; i < p.pieces; ++i)
                s[i] = (mask >> i) & 1;
            subsets.push_back(std::move(s));
        }
    } else {
        subsets.push_back(std::vector<bool>(p.pieces, false));
        subsets.push_back(std::vector<bool>(p.pieces, true));
        std::mt19937_64 random(seed ^ (uint64_t(cut) * 0x9E3779B97F4A7C15ull));
        for (size_t n = 0; n < random_samples; ++n) {
            std::vector<bool> s(p.pieces);
            for (size_t i = 0; i < p.pieces; ++i)
                s[i] = random() & 1;
            subsets.push_back(std::move(s));
        }
    }
    std::vector<survivors> out;
    for (size_t names = 0; names <= p.names; ++names)
        for (const auto& s : subsets)
            out.push_back({s, names});
    return out;
}

} // namespace quillmap
