#include "cli/manual.h"

#include "platform/system.h"

#include <algorithm>
#include <cctype>
#include <map>

namespace quillmap {

namespace {
const std::map<std::string, std::string, std::less<>>& option_texts() {
    static const std::map<std::string, std::string, std::less<>> texts = {
        {"-o", "The output file or folder."},
        {"-t", "The texture to work on, counted from 0."},
        {"-f", "The file type to write (png, bmp, tm2, rwsect; for batch also the conversion "
               "target)."},
        {"-j", "How many files batch works on at once, and the most threads it keeps busy, "
               "pictures split between threads included (default: every core)."},
        {"--all", "Every texture of the dictionary."},
        {"--offset", "Where the dictionary starts inside a larger file, in hexadecimal bytes."},
        {"--platforms",
         "The platform classes to try, in order (PS2, PC, iOS, XBOX, TEX, GameCube)."},
        {"--json", "Prints the result as JSON."},
        {"--depth", "Bits per pixel of the textures written (4, 8, 32, or keep)."},
        {"--mips", "Mip levels: a count, auto for RenderWare's own count, or keep (the "
                   "default) for the levels the source holds; for replace auto (rebuilt when "
                   "the palette changes), keep or regenerate."},
        {"--dither", "Dithers when colours are reduced to a palette (on or off)."},
        {"--level", "The mip level to write, counted from 0."},
        {"--png-level",
         "How tightly PNG files are packed: 0 stores the pixels, 12 packs tightest (default 1)."},
        {"--view", "The view to write: texture, alpha or mixed."},
        {"--swizzle", "Reads pixels as swizzled (on), plain (off) or as stored (auto)."},
        {"--resize", "Scales a picture whose sides are not powers of two to the nearest ones."},
        {"--in-place", "Writes the result over FILE (at its offset) instead of to -o OUT."},
        {"--keep-alpha", "Keeps the texture's alpha and replaces only the colours."},
        {"--mask", "Renames the mask name instead of the texture name."},
        {"--version",
         "Alone: prints the program's version. With new: the RenderWare version stamp, in "
         "hexadecimal."},
        {"--quiet", "Prints only failures and the summary."},
        {"--overwrite", "Replaces output files that already exist."},
        {"--skip-existing", "Keeps output files that already exist and counts them as done, so "
                            "that a stopped batch run goes on where it stopped."},
        {"--fsync", "Flushes every batch output to disk before going on (slower; saves over "
                    "a user's file always flush)."},
        {"--to", "The platform to convert to: ps2, d3d8, d3d9, xbox, mobile or gamecube (batch "
                 "convert takes it as convert does)."},
        {"--format",
         "The format of PC and XBOX textures written: dxt1, dxt3, dxt5, 8888, 888, pal8 or "
         "pal4 (palettes on D3D8 only; default DXT1, or DXT5 for graded alpha). Mobile "
         "textures: dxt1 or dxt3 (one mip level), 565 or 4444 (with mip levels); default DXT1, "
         "or DXT3 for alpha. GameCube textures: c4 or c8 (palettes with RGB5A3 entries when the "
         "picture has alpha, else RGB565), rgb5a3, rgba8 or cmpr; default the texture's own, "
         "or CMPR (RGBA8 with alpha) for a new one."},
        {"--size", "The side of the square the thumbnail fits in, in pixels (default 256)."},
        {"--name", "The entry name an added file gets in the archive (at most 23 characters)."},
    };
    return texts;
}

bool is_option_character(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '-';
}

// Roff treats a leading dot or quote as a request and a backslash as an escape.
std::string roff(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\\')
            out += "\\e";
        else if (c == '-')
            out += "\\-";
        else
            out += c;
    }
    if (!out.empty() && (out[0] == '.' || out[0] == '\'')) out.insert(0, "\\&");
    return out;
}

std::string joined(const std::vector<std::string>& words) {
    std::string out;
    for (const auto& word : words)
        out += (out.empty() ? "" : " ") + word;
    return out;
}
} // namespace

std::vector<std::string> usage_options(const char* usage) {
    std::vector<std::string> options;
    const std::string text = usage;
    for (size_t i = 0; i < text.size(); ++i) {
        const bool starts_word = i == 0 || !is_option_character(text[i - 1]);
        if (text[i] != '-' || !starts_word) continue;
        size_t end = i;
        while (end < text.size() && is_option_character(text[end]))
            ++end;
        std::string option = text.substr(i, end - i);
        if (option.size() > 1 && std::find(options.begin(), options.end(), option) == options.end())
            options.push_back(option);
        i = end;
    }
    return options;
}

std::optional<std::string> option_description(const std::string& option) {
    const auto& texts = option_texts();
    const auto it = texts.find(option);
    if (it == texts.end()) return std::nullopt;
    return it->second;
}

bool write_manual_page(std::ostream& out, std::span<const cli_command> commands,
                       std::vector<std::string>& missing) {
    std::vector<std::string> options;
    for (const auto& command : commands) {
        for (const auto& option : usage_options(command.usage)) {
            if (std::find(options.begin(), options.end(), option) != options.end()) continue;
            options.push_back(option);
            if (!option_description(option)) missing.push_back(option);
        }
    }
    if (!missing.empty()) return false;
    out << ".TH QUILLMAP\\-CLI 1 \"\" \"Quillmap " << k_program_version << "\" \"User Commands\"\n"
        << ".SH NAME\nquillmap\\-cli \\- read and edit RenderWare texture dictionaries\n"
        << ".SH SYNOPSIS\n";
    for (const auto& command : commands)
        out << ".B quillmap\\-cli\n" << roff(command.usage) << "\n.br\n";
    out << ".B quillmap\\-cli\n\\-\\-version | \\-\\-help\n"
        << ".SH DESCRIPTION\n"
        << "Lists, exports, edits, converts and checks RenderWare texture dictionaries "
           "(\\fB.txd\\fR) of the PS2, PC, XBOX, mobile and GameCube versions of the games, TIM2 "
           "pictures, "
           "and the game archives that hold them. Files are written to a temporary file beside "
           "the target and renamed into place, so a failed run never leaves half a file.\n"
        << ".SH COMMANDS\n";
    for (const auto& command : commands)
        out << ".TP\n.B " << roff(command.name) << "\n" << roff(command.summary) << "\n";
    out << ".SH OPTIONS\n";
    for (const auto& option : options)
        out << ".TP\n.B " << roff(option) << "\n" << roff(*option_description(option)) << "\n";
    out << ".SH EXIT STATUS\n"
        << ".TP\n.B 0\nThe command did what was asked.\n"
        << ".TP\n.B 1\nA file or an operation failed; the reason is printed on standard error.\n"
        << ".TP\n.B 2\nThe command line was not understood; the usage is printed.\n"
        << ".SH SEE ALSO\n.BR quillmap (1)\n";
    return true;
}

void write_synopsis(std::ostream& out, std::span<const cli_command> commands) {
    for (const auto& command : commands)
        out << "quillmap-cli " << command.usage << "\n";
}

void write_bash_completion(std::ostream& out, std::span<const cli_command> commands) {
    std::vector<std::string> names;
    for (const auto& command : commands)
        names.push_back(command.name);
    out << "# bash completion for quillmap-cli\n"
        << "_quillmap_cli() {\n"
        << "    local cur=${COMP_WORDS[COMP_CWORD]}\n"
        << "    if [ \"$COMP_CWORD\" -eq 1 ]; then\n"
        << "        COMPREPLY=($(compgen -W \"" << joined(names)
        << " --version --help\" -- \"$cur\"))\n"
        << "        return\n"
        << "    fi\n"
        << "    local options=\n"
        << "    case ${COMP_WORDS[1]} in\n";
    for (const auto& command : commands)
        out << "        " << command.name << ") options=\"" << joined(usage_options(command.usage))
            << "\" ;;\n";
    out << "    esac\n"
        << "    if [[ $cur == -* ]]; then\n"
        << "        COMPREPLY=($(compgen -W \"$options\" -- \"$cur\"))\n"
        << "    else\n"
        << "        COMPREPLY=($(compgen -f -- \"$cur\"))\n"
        << "    fi\n"
        << "}\n"
        << "complete -o filenames -F _quillmap_cli quillmap-cli\n";
}

void write_zsh_completion(std::ostream& out, std::span<const cli_command> commands) {
    out << "#compdef quillmap-cli\n"
        << "# zsh completion for quillmap-cli\n"
        << "local -a commands\n"
        << "commands=(\n";
    for (const auto& command : commands) {
        std::string summary = command.summary;
        std::replace(summary.begin(), summary.end(), '\'', '`');
        std::replace(summary.begin(), summary.end(), ':', ';');
        out << "    '" << command.name << ":" << summary << "'\n";
    }
    out << ")\n"
        << "if (( CURRENT == 2 )); then\n"
        << "    _describe -t commands 'quillmap-cli command' commands\n"
        << "    return\n"
        << "fi\n"
        << "local -a options\n"
        << "case $words[2] in\n";
    for (const auto& command : commands)
        out << "    " << command.name << ") options=(" << joined(usage_options(command.usage))
            << ") ;;\n";
    out << "esac\n"
        << "if [[ $PREFIX == -* ]]; then\n"
        << "    compadd -a options\n"
        << "else\n"
        << "    _files\n"
        << "fi\n";
}

} // namespace quillmap
