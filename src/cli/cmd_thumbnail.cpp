#include "cli/cli_commands.h"

#include "imageio/png_codec.h"
#include "imageio/thumbnail.h"

#include <algorithm>
#include <csignal>
#include <optional>
#include <string_view>
#include <sys/resource.h>
#include <unistd.h>

namespace quillmap {

namespace {
// A file manager runs the thumbnailer on whatever lies in a folder; a file that would take longer
// or more memory than this is not worth a picture.
constexpr unsigned k_thumbnail_seconds = 10;
constexpr rlim_t k_thumbnail_memory_bytes = rlim_t(1) << 30;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool k_address_space_is_ours = false; // the sanitizer reserves terabytes of it
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool k_address_space_is_ours = false;
#else
constexpr bool k_address_space_is_ours = true;
#endif
#else
constexpr bool k_address_space_is_ours = true;
#endif

void cap_time_and_memory() {
    // The default action of SIGALRM ends the process before any output is written.
    std::signal(SIGALRM, SIG_DFL);
    alarm(k_thumbnail_seconds);
    if (k_address_space_is_ours) {
        rlimit limit{k_thumbnail_memory_bytes, k_thumbnail_memory_bytes};
        setrlimit(RLIMIT_AS, &limit);
    }
}

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}
// A path as given, or the path of a file:// URI (percent escapes decoded); none for a URI of
// another host or a malformed escape.
std::optional<std::string> path_of_file_argument(const std::string& argument) {
    constexpr std::string_view scheme = "file://";
    if (argument.compare(0, scheme.size(), scheme) != 0) return argument;
    std::string rest = argument.substr(scheme.size());
    // file://host/path: only the local host names a file here.
    const size_t slash = rest.find('/');
    if (slash == std::string::npos) return std::nullopt;
    const std::string host = rest.substr(0, slash);
    if (!host.empty() && host != "localhost") return std::nullopt;
    std::string path;
    for (size_t i = slash; i < rest.size(); ++i) {
        if (rest[i] != '%') {
            path += rest[i];
            continue;
        }
        if (i + 2 >= rest.size()) return std::nullopt;
        const int high = hex_digit(rest[i + 1]), low = hex_digit(rest[i + 2]);
        if (high < 0 || low < 0 || (high == 0 && low == 0)) return std::nullopt;
        path += char(high * 16 + low);
        i += 2;
    }
    return path;
}
} // namespace

// thumbnail FILE OUT.png [--size N]: FILE may be a path or a file:// URI, as a file manager's
// thumbnailer passes it. Nothing is written unless the whole picture was made.
int cmd_thumbnail(const cli_args& args) {
    if (args.positional.size() != 2) return usage_error("thumbnail needs FILE and OUT.png");
    uint32_t size = 256;
    if (args.has("--size")) {
        const auto parsed = parse_uint(args.get("--size"));
        if (!parsed) return usage_error("--size needs a number");
        size = std::clamp(*parsed, k_thumbnail_min_side, k_thumbnail_max_side);
    }
    const auto path = path_of_file_argument(args.positional[0]);
    if (!path) return failure(args.positional[0] + ": not a local file");
    cap_time_and_memory();

    cli_args input = args;
    input.positional = {*path};
    int code = k_exit_ok;
    auto opened = open_for_cli(input, code);
    if (!opened) return code;
    rgba_image picture;
    std::string error;
    if (!render_thumbnail(*opened->dictionary, size, picture, error))
        return failure(*path + ": " + error);
    const std::vector<uint8_t> png = encode_png_rgba(picture, error);
    if (png.empty() || !write_bytes(args.positional[1], png, error)) return failure(error);
    return k_exit_ok;
}

} // namespace quillmap
