#include "batch/batch_lint.h"

#include "dictionary/gc_raster_check.h"
#include "dictionary/mobile_raster_check.h"
#include "dictionary/pc_raster_check.h"
#include "dictionary/ps2_raster_check.h"
#include "stream/ascii_lower.h"

#include <algorithm>
#include <cctype>
#include <map>

namespace quillmap {

std::vector<lint_finding> lint_for_batch(ps2_txd& dictionary) {
    std::vector<lint_finding> findings;
    const uint32_t count = dictionary.texture_count();
    if (count > ps2_txd::k_max_textures)
        findings.push_back({{}, "holds " + std::to_string(count) + " textures, more than 255"});
    if (const std::string why = dictionary.count_disagreement(); !why.empty())
        findings.push_back({{}, why});
    // The game looks textures up by name without case: a second one of a name is never found.
    std::map<std::string, uint32_t> first_of_name;
    for (uint32_t t = 0; t < count; ++t) {
        const std::string name = dictionary.texture_name(t, name_kind::texture);
        const std::string shown = name.empty() ? "#" + std::to_string(t) : name;
        if (name.empty())
            findings.push_back({shown, "has no name"});
        else if (auto [it, fresh] = first_of_name.emplace(ascii_lower(name), t); !fresh)
            findings.push_back({shown, "has the name of texture " + std::to_string(it->second)});
        const uint32_t w = dictionary.width(t), h = dictionary.height(t);
        if (w == 0 || h == 0 || w > ps2_txd::k_max_dimension || h > ps2_txd::k_max_dimension)
            findings.push_back(
                {shown, "is " + std::to_string(w) + "x" + std::to_string(h) + ", outside 1..4096"});
        if (!dictionary.render(t, view_mode::texture, swizzle_mode::as_stored, nullptr, 0))
            findings.push_back({shown, dictionary.last_error.empty()
                                           ? std::string("cannot be shown")
                                           : "cannot be shown: " + dictionary.last_error});
        dictionary.release_pixels(t);
    }
    // PS2 textures: every derived raster word the game's converter would have written otherwise
    // (names were checked above).
    // PC and XBOX textures: the header words their free fields determine; deviations that games
    // accept are no finding.
    std::vector<ps2_problem> problems = lint_ps2_textures(dictionary);
    for (ps2_problem& problem : lint_pc_textures(dictionary))
        if (!problem.accepted) problems.push_back(std::move(problem));
    for (ps2_problem& problem : lint_mobile_textures(dictionary))
        problems.push_back(std::move(problem));
    for (ps2_problem& problem : lint_gc_textures(dictionary))
        if (!problem.accepted) problems.push_back(std::move(problem));
    for (const ps2_problem& problem : problems) {
        // Names and the dictionary's own problems were checked above.
        if (problem.what.rfind("name", 0) == 0 || problem.whole_dictionary) continue;
        const std::string shown =
            problem.name.empty() ? "#" + std::to_string(problem.texture) : problem.name;
        findings.push_back(
            {shown, problem.what + ": found " + problem.found + ", expected " + problem.expected});
    }
    return findings;
}

} // namespace quillmap
