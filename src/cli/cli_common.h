#pragma once

#include "dictionary/ps2_txd.h"
#include "dictionary/txd_probe.h"
#include "session/editor_session.h"
#include "stream/hex_text.h"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace quillmap {

// Exit codes of quillmap-cli.
constexpr int k_exit_ok = 0;
constexpr int k_exit_failure = 1; // the file or operation failed; the system's message on stderr
constexpr int k_exit_usage = 2;
constexpr int k_exit_interrupted = 130; // stopped by SIGINT or SIGTERM after the current item

struct cli_args {
    std::string command;
    std::vector<std::string> positional;
    std::map<std::string, std::string> options; // "-o" -> "out.txd"
    std::set<std::string> flags;                // "--json"

    bool has(const std::string& name) const { return flags.count(name) || options.count(name); }
    std::string get(const std::string& name, const std::string& fallback = {}) const {
        auto it = options.find(name);
        return it == options.end() ? fallback : it->second;
    }
};

// Options that take no value; every other option takes the next argument.
bool cli_is_flag(const std::string& name);
// Splits argv into the command, positional arguments, options and flags; none on a usage error.
// With `taken`, an option the command does not take is a usage error naming it.
std::optional<cli_args> parse_cli(int argc, char** argv, std::string& error,
                                  const std::vector<std::string>* taken = nullptr);

// Prints a usage error and returns k_exit_usage.
int usage_error(const std::string& message);
// Prints the system's message and returns k_exit_failure.
int failure(const std::string& message);

std::optional<uint32_t> parse_uint(const std::string& text);

// Opens FILE (positional 0) with --offset and --platforms into an editor session; on failure
// prints why. The other fields repeat the session's state for short reads.
struct opened_dictionary {
    editor_session session;
    ps2_txd* dictionary = nullptr; // the session's, which keeps it at one address
    std::optional<txd_platform> platform;
    uint32_t restriction_mask = 0;
    uint32_t offset = 0;
    const char* platform_name() const { return session.platform_name(); }
};
std::optional<opened_dictionary> open_for_cli(const cli_args& args, int& exit_code);

// Reads "-t N" and checks it against the texture count; prints why on failure.
std::optional<uint32_t> texture_index(const cli_args& args, ps2_txd& dictionary, int& exit_code);
// --view texture|alpha|mixed and --swizzle auto|on|off.
std::optional<view_mode> view_option(const cli_args& args, int& exit_code);
std::optional<swizzle_mode> swizzle_option(const cli_args& args, int& exit_code);

// Writes the dictionary to -o OUT or, with --in-place, over FILE at its offset.
int save_result(const cli_args& args, opened_dictionary& opened);

std::string json_escape(const std::string& text);
std::string hex32(uint32_t value); // "0x%08X"

} // namespace quillmap
