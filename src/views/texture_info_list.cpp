#include "views/texture_info_list.h"

#include "dictionary/gc_txd.h"
#include "dictionary/ps2_raster_layout.h"
#include "dictionary/ps2_txd.h"
#include "stream/byte_reader.h"
#include "views/texture_platform.h"

#include <QHeaderView>

namespace quillmap {

const char* const CTextureInfoList::colour_format_names[11] = {
    "N/A",         "RGBA 1555", "RGB  565", "RGBA 4444", "Grayscale", "RGBA 32 bit",
    "RGB  24 bit", "N/A",       "N/A",      "N/A",       "RGB  555",
};

namespace {
constexpr int k_column_width = 100;
constexpr uint32_t k_pc_raster_format_offset = 72;
constexpr uint32_t k_mobile_alpha_offset = 98;

std::wstring wide(const std::string& s) {
    return QString::fromLatin1(s).toStdWString();
}
std::wstring wide(const char* s) {
    return QString::fromLatin1(s).toStdWString();
}

// Where a chunk's data lies in the file the tree is written to: headers and sizes laid out from
// the root, as a save writes them. The offsets read from the file go stale after any edit (and
// chunks made in memory have none), so the panel never shows them.
bool find_data_offset(const rw_chunk& node, uint64_t data_at, const rw_chunk* target,
                      uint64_t& found) {
    if (&node == target) {
        found = data_at;
        return true;
    }
    uint64_t at = data_at;
    for (uint32_t i = 0; i < node.child_count(); ++i) {
        const rw_chunk* child = node.child(i);
        if (!child) continue;
        if (find_data_offset(*child, at + k_chunk_header_bytes, target, found)) return true;
        at += k_chunk_header_bytes + uint64_t(child->size);
    }
    return false;
}

uint64_t written_data_offset(const rw_chunk* root, const rw_chunk* target) {
    if (!root || !target) return 0;
    // A dictionary opened inside a bigger file starts where its root was read.
    const uint64_t start =
        root->data_offset >= k_chunk_header_bytes ? root->data_offset - k_chunk_header_bytes : 0;
    uint64_t found = 0;
    return find_data_offset(*root, start + k_chunk_header_bytes, target, found) ? found : 0;
}

const char* colour_format_name(uint32_t raster_format) {
    return CTextureInfoList::colour_format_names[((raster_format >> 8) & 0xF) % 11];
}

const char* group_text(int group, bool pc_heading) {
    switch (group) {
    case CTextureInfoList::group_common:
        return "Common Info";
    case CTextureInfoList::group_raster:
        return "Raster Info";
    case CTextureInfoList::group_flags:
        return "Flags";
    default:
        return pc_heading ? "PC-Specific" : "Platform-Specific";
    }
}
} // namespace

const char* CTextureInfoList::platform_name(uint32_t platform_word) {
    switch (platform_word) {
    case 1:
        return "DirectX 7";
    case 5:
        return "XBOX";
    case 6:
        return "GameCube";
    case 8:
        return "DirectX 8";
    case 9:
        return "DirectX 9";
    case 10:
        return "PVR (PowerVR)";
    case 11:
        return "ATC (Adreno)";
    case 12:
        return "UNC / mali";
    default:
        return "Unknown";
    }
}

CTextureInfoList::CTextureInfoList(QWidget* parent) : QTreeWidget(parent) {
    setColumnCount(0);
    setRootIsDecorated(false);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setHeaderHidden(true);
}

void CTextureInfoList::show_texture_info(uint32_t t, ps2_txd* dictionary) {
    if (dictionary) dictionary_ = dictionary;
    if (!dictionary_ || dictionary_->texture_count() == 0 || t >= dictionary_->texture_count())
        return;
    if (!initialised_) {
        setColumnCount(2);
        setHeaderLabels({QStringLiteral("Name"), QStringLiteral("Value")});
        setHeaderHidden(false);
        // The names fit their longest entry (at least the classic 100 pixels); the values take
        // the rest of the panel and end in an ellipsis when they are longer, with the whole
        // value in the row's tooltip.
        header()->setMinimumSectionSize(k_column_width);
        header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
        header()->setSectionResizeMode(1, QHeaderView::Stretch);
        header()->setStretchLastSection(true);
        setTextElideMode(Qt::ElideRight);
        setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        setAllColumnsShowFocus(true); // whole-row selection
        const uint32_t word0 = dictionary_->platform_id(0);
        const bool pc_heading = (word0 == 8 || word0 == 9) && !is_mobile_dictionary(*dictionary_);
        for (int group : {group_common, group_raster, group_flags, group_platform}) {
            auto* heading = new QTreeWidgetItem(this);
            heading->setText(0, QString::fromLatin1(group_text(group, pc_heading)));
            heading->setFirstColumnSpanned(true);
            heading->setFlags(Qt::ItemIsEnabled);
            QFont bold = heading->font(0);
            bold.setBold(true);
            heading->setFont(0, bold);
            groups_.emplace_back(group, heading);
        }
        initialised_ = true;
    }
    rows_.clear();

    ps2_txd& d = *dictionary_;
    int row = 0;
    add_info_row(row++, group_common, L"ss",
                 {L"Texture Name", wide(d.texture_name(t, name_kind::texture))});
    add_info_row(row++, group_common, L"ss",
                 {L"Alpha Name", wide(d.texture_name(t, name_kind::mask))});
    add_info_row(row++, group_common, L"sd>", {L"Width", d.width(t), L" px"});
    add_info_row(row++, group_common, L"sd>", {L"Height", d.height(t), L" px"});
    add_info_row(row++, group_common, L"sd>", {L"Color Depth", d.depth(t), L" bpp"});
    add_info_row(row++, group_common, L"sd", {L"Mip Levels", d.mip_count(t)});

    switch (family_of(d, t)) {
    case texture_family::ps2:
        add_ps2_rows(t, row);
        break;
    case texture_family::pc_xbox:
        add_pc_rows(t, row);
        break;
    case texture_family::mobile:
        add_mobile_rows(t, row);
        break;
    case texture_family::gamecube:
        add_gamecube_rows(t, row);
        break;
    case texture_family::other:
        add_platform_row(t, row);
        break;
    }
    rebuild_items();
}

void CTextureInfoList::add_ps2_rows(uint32_t t, int& row) {
    ps2_txd& d = *dictionary_;
    const uint32_t format = d.raster_format(t);
    const uint32_t w = d.width(t), h = d.height(t), depth = d.depth(t);
    rw_chunk* raster = d.texture_chunk(t)->child(3);
    rw_chunk* raster_data = raster ? raster->child(1) : nullptr;
    const uint64_t data_offset = written_data_offset(d.root.get(), raster_data);

    add_info_row(row++, group_common, L"ss", {L"Color Format", wide(colour_format_name(format))});
    add_info_row(row++, group_common, L"ss",
                 {L"Swizzling state", !d.is_swizzled(t) ? L"No"
                                      // As the status line says it: "Texture unswizzled".
                                      : shown_swizzle == swizzle_mode::as_stored
                                          ? L"Yes (shown unswizzled)"
                                          : L"Yes"});
    add_info_row(row++, group_common, L"sx",
                 {L"Raster address", data_offset + k_ps2_transfer_bytes});
    if (depth < 16)
        add_info_row(row++, group_common, L"sx",
                     {L"Palette address",
                      static_cast<unsigned long>(data_offset + uint64_t(w) * h * depth / 8 +
                                                 2 * k_ps2_transfer_bytes)});

    // The raster data begins with its first transfer header for swizzle kind 2.
    if ((format & ps2_layout::swizzle_kind_2) && raster_data) {
        const std::vector<uint8_t>* data = raster_data ? d.load_data(raster_data) : nullptr;
        const std::span<const uint8_t> bytes =
            data ? std::span<const uint8_t>(data->data(),
                                            std::min<size_t>(data->size(), raster_data->size))
                 : std::span<const uint8_t>();
        const ps2_transfer_header first =
            read_ps2_transfer_header(bytes).value_or(ps2_transfer_header{});
        const uint32_t qwc = first.image_tag;
        add_info_row(row++, group_raster, L"sd", {L"RAW Width", first.transfer.rrw});
        add_info_row(row++, group_raster, L"sd", {L"RAW Height", first.transfer.rrh});
        add_info_row(row++, group_raster, L"ss",
                     {L"RAW Raster Size",
                      QString::asprintf("%d / %d", int(qwc), int(qwc * 16)).toStdWString()});
        if (depth < 16) {
            // The palette block's own transfer header sits just before the palette.
            const std::span<uint8_t> palette = d.palette(t);
            uint32_t palette_qwc = 0;
            if (!palette.empty() && data) {
                const ptrdiff_t at = palette.data() - data->data();
                if (at >= static_cast<ptrdiff_t>(k_ps2_transfer_bytes) &&
                    size_t(at) <= bytes.size())
                    palette_qwc = read_ps2_transfer_header(bytes.subspan(at - k_ps2_transfer_bytes))
                                      .value_or(ps2_transfer_header{})
                                      .image_tag;
            }
            add_info_row(row++, group_raster, L"ss",
                         {L"RAW Palette Size",
                          QString::asprintf("%d / %d", int(palette_qwc), int(palette_qwc * 16))
                              .toStdWString()});
        }
    }
    add_info_row(row++, group_flags, L"sx", {L"Filter Flags", d.texture_flags(t)});
    add_info_row(row++, group_flags, L"sx", {L"Raster Flags", format});
}

void CTextureInfoList::add_pc_rows(uint32_t t, int& row) {
    ps2_txd& d = *dictionary_;
    const uint32_t compression = d.compression(t);
    if (compression != 0)
        add_info_row(row++, group_platform, L"sd<", {L"Compression", compression, L"DXT-"});
    else
        add_info_row(row++, group_platform, L"ss", {L"Compression", L"Not used"});
    const std::vector<uint8_t>* data = texture_struct_bytes(d, t);
    const uint32_t format = data ? u32_at(*data, k_pc_raster_format_offset).value_or(0) : 0;
    if (format != 0)
        add_info_row(row++, group_common, L"ss",
                     {L"Color Format", wide(colour_format_name(format))});
    add_platform_row(t, row);
}

void CTextureInfoList::add_mobile_rows(uint32_t t, int& row) {
    ps2_txd& d = *dictionary_;
    const std::vector<uint8_t>* data = texture_struct_bytes(d, t);
    const uint32_t alpha =
        data && data->size() > k_mobile_alpha_offset ? (*data)[k_mobile_alpha_offset] : 0;
    add_info_row(row++, group_platform, L"ss",
                 {L"Raster format", wide(colour_format_names[(alpha + 2) % 11])});
    const uint32_t word = d.platform_id(t);
    const wchar_t* compression = word == 9    ? L"DXT"
                                 : word == 10 ? L"PVR"
                                 : word == 11 ? L"ATC"
                                              : L"Not used";
    add_info_row(row++, group_platform, L"ss", {L"Compression", compression});
    // Word 9 of a mobile texture means DXT blocks, not Direct3D 9.
    if (word == 9)
        add_info_row(row++, group_platform, L"ss", {L"RW Platform", L"DXT (mobile)"});
    else
        add_platform_row(t, row);
}

void CTextureInfoList::add_gamecube_rows(uint32_t t, int& row) {
    auto* gc = dynamic_cast<gc_txd*>(dictionary_);
    const auto f = gc ? gc->fields(t) : std::nullopt;
    if (f) {
        add_info_row(row++, group_common, L"ss",
                     {L"Color Format", wide(colour_format_name(f->raster_format))});
        add_info_row(row++, group_flags, L"sx", {L"Filter Flags", f->filter});
        add_info_row(row++, group_flags, L"sx", {L"Raster Flags", f->raster_format});
        std::string gx = gx_format_name(f->gx);
        if (!gx_format_verified(f->gx)) gx += " (unverified)";
        add_info_row(row++, group_platform, L"ss", {L"GX Format", wide(gx)});
        add_info_row(row++, group_platform, L"ss",
                     {L"Palette Format", wide(gx_palette_name(f->palette_format))});
        add_info_row(row++, group_platform, L"sd", {L"Palette Entries", f->palette_entries});
        add_info_row(row++, group_platform, L"sd", {L"Levels Stored", f->levels});
        add_info_row(row++, group_platform, L"sd", {L"Alpha Flag", f->alpha});
        add_info_row(row++, group_platform, L"sd", {L"Data Size", f->data_size});
        add_info_row(row++, group_platform, L"ss",
                     {L"Words 8-20", QString::asprintf("%u %u %u %u", f->words[0], f->words[1],
                                                       f->words[2], f->words[3])
                                         .toStdWString()});
    }
    add_platform_row(t, row);
}

void CTextureInfoList::add_platform_row(uint32_t t, int& row) {
    add_info_row(row++, group_platform, L"ss",
                 {L"RW Platform", wide(platform_name(dictionary_->platform_id(t)))});
}

void CTextureInfoList::add_info_row(int row, int group, const wchar_t* format,
                                    std::initializer_list<info_arg> args) {
    QString columns[2];
    auto next = args.begin();
    auto take_text = [&]() -> QString {
        if (next == args.end()) return {};
        const info_arg& a = *next++;
        return a.kind == info_arg::text ? QString::fromStdWString(a.string) : QString();
    };
    int field = 0;
    for (const wchar_t* p = format; p && *p; ++p, ++field) {
        QString text;
        bool leave = false;
        switch (*p) {
        case L's':
            text = take_text();
            break;
        case L'd':
            if (next != args.end()) {
                const info_arg& a = *next++;
                text = QString::number(
                    a.kind == info_arg::integer ? a.number : static_cast<long long>(a.value));
            }
            break;
        case L'x':
            if (next != args.end()) {
                const info_arg& a = *next++;
                text = QStringLiteral("0x") +
                       QString::number(static_cast<uint32_t>(a.number), 16).toUpper();
            }
            break;
        case L'f':
            if (next != args.end()) {
                const info_arg& a = *next++;
                text = QString::number(
                    a.kind == info_arg::real ? a.value : static_cast<double>(a.number), 'f', 6);
            }
            break;
        case L'u':
            leave = true;
            break;
        default:
            continue;
        }
        if (p[1] == L'<' || p[1] == L'>') {
            const QString extra = take_text();
            text = p[1] == L'<' ? extra + text : text + extra;
            ++p;
        }
        if (!leave) columns[field == 0 ? 0 : 1] = text;
    }
    info_row r{group, columns[0], columns[1]};
    const size_t at = std::min<size_t>(row < 0 ? 0 : static_cast<size_t>(row), rows_.size());
    rows_.insert(rows_.begin() + static_cast<ptrdiff_t>(at), r);
}

void CTextureInfoList::rebuild_items() {
    // Group view: each heading shows its rows in row order; empty groups stay hidden.
    for (auto& [group, heading] : groups_) {
        qDeleteAll(heading->takeChildren());
        for (const info_row& r : rows_) {
            if (r.group != group) continue;
            auto* item = new QTreeWidgetItem(heading);
            item->setText(0, r.label);
            item->setText(1, r.value);
            item->setToolTip(0, r.label + QStringLiteral(": ") + r.value);
            item->setToolTip(1, r.value);
        }
        heading->setHidden(heading->childCount() == 0);
        heading->setExpanded(true);
    }
}

QString CTextureInfoList::value_of(const QString& label) const {
    for (const info_row& r : rows_)
        if (r.label == label) return r.value;
    return {};
}

bool CTextureInfoList::has_row(const QString& label) const {
    for (const info_row& r : rows_)
        if (r.label == label) return true;
    return false;
}

QString CTextureInfoList::group_heading(int group) const {
    for (const auto& [id, heading] : groups_)
        if (id == group) return heading->text(0);
    return {};
}

} // namespace quillmap
