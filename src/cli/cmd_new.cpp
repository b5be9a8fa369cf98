#include "cli/cli_commands.h"
#include "stream/rw_ids.h"

namespace quillmap {

namespace {
// Device id a PS2 dictionary's Struct carries after its texture count.
constexpr uint8_t k_ps2_device_id = 6;
constexpr size_t k_device_id_offset = 2;
} // namespace

int cmd_new(const cli_args& args) {
    if (args.positional.size() != 1) return usage_error("new takes OUT.txd");
    uint32_t version = k_default_rw_version;
    if (args.options.count("--version")) {
        const auto given = parse_hex(args.get("--version"));
        if (!given || *given == 0 || *given == 0xFFFFFFFF)
            return usage_error("--version is a hexadecimal version stamp other than 0 and "
                               "0xFFFFFFFF");
        version = *given;
    }
    ps2_txd txd;
    txd.create_empty(version);
    auto* count = txd.root->child(0)->data.edit();
    if (count && count->size() > k_device_id_offset) (*count)[k_device_id_offset] = k_ps2_device_id;
    if (!txd.save(args.positional[0], 0)) return failure(txd.last_error);
    return k_exit_ok;
}

} // namespace quillmap
