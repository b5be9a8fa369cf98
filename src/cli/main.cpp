#include "cli/cli_commands.h"
#include "platform/system.h"

#include <cstring>
#include <iostream>

namespace {
struct command_entry {
    const char* name;
    int (*run)(const cli_args&);
    const char* usage;
};

// Every command of the tool; each lives in its own cmd_*.cpp.
const command_entry k_commands[] = {
    {"list", cmd_list, "list FILE [--offset HEX] [--platforms TEXT] [--json]"},
    {"tree", cmd_tree, "tree FILE [--offset HEX]"},
    {"save", cmd_save, "save FILE -o OUT [--offset HEX]"},
    {"convert", cmd_convert,
     "convert FILE -o OUT.txd [--to ps2|d3d8|d3d9|xbox|mobile] [--offset HEX] "
     "[--platforms TEXT] [--depth 4|8|32|keep] [--format dxt1|dxt3|dxt5|8888|888|pal8|pal4] "
     "[--mips N|auto|keep|regenerate] [--dither on|off]"},
    {"export", cmd_export,
     "export FILE (-t N | --all) [-f png|bmp|tm2|rwsect|dds] [--level K] "
     "[--view texture|alpha|mixed] [--swizzle auto|on|off] [-o DIR_OR_FILE]"},
    {"add", cmd_add,
     "add FILE INPUT... [--swizzle on|off] [--depth 4|8|32] [--mips N|auto] [--resize] "
     "[--format dxt1|dxt3|dxt5|8888|888|pal8|pal4] [--dither on|off] (-o OUT | --in-place)"},
    {"replace", cmd_replace,
     "replace FILE -t N IMAGE [--keep-alpha] [--dither on|off] [--mips N|auto|keep|regenerate] "
     "[--format dxt1|dxt3|dxt5|8888|888|pal8|pal4] [--resize] (-o OUT | --in-place)"},
    {"mips", cmd_mips,
     "mips FILE -t N --mips N|auto|regenerate [--dither on|off] (-o OUT | --in-place)"},
    {"rename", cmd_rename, "rename FILE -t N NAME [--mask] (-o OUT | --in-place)"},
    {"delete", cmd_delete, "delete FILE -t N (-o OUT | --in-place)"},
    {"move", cmd_move, "move FILE -t N up|down (-o OUT | --in-place)"},
    {"set-version", cmd_set_version, "set-version FILE VERSION (-o OUT | --in-place)"},
    {"new", cmd_new, "new OUT.txd [--version HEX]"},
    {"lint", cmd_lint, "lint FILE... [--json]"},
    {"repair", cmd_repair, "repair FILE (-o OUT | --in-place)"},
    {"render", cmd_render,
     "render FILE -t N [--level K] [--view texture|alpha|mixed] [--swizzle auto|on|off] -o "
     "OUT.bmp"},
    {"batch", cmd_batch,
     "batch export|convert|lint|list INPUT... [-o OUT] [-f FORMAT] [-j N] [--json] [--quiet] "
     "[--overwrite]"},
    {"archive", cmd_archive, "archive list ARCHIVE [--json]"},
};

void print_usage(std::ostream& out) {
    out << "usage: quillmap-cli COMMAND ... | --version\n";
    for (const auto& command : k_commands)
        out << "  quillmap-cli " << command.usage << "\n";
}
} // namespace

int main(int argc, char** argv) {
    std::string error;
    auto args = parse_cli(argc, argv, error);
    if (!args) {
        print_usage(std::cerr);
        return usage_error(error);
    }
    if (args->command == "--help" || args->command == "-h" || args->command == "help") {
        print_usage(std::cout);
        return k_exit_ok;
    }
    if (args->command == "--version") {
        std::cout << "quillmap-cli " << k_program_version << " build " << build_number() << "\n";
        return k_exit_ok;
    }
    for (const auto& command : k_commands)
        if (args->command == command.name) return command.run(*args);
    print_usage(std::cerr);
    return usage_error("unknown command " + args->command);
}
