#include "stream/section_name.h"

#include <array>

namespace quillmap {

namespace {
// Indexed by the id itself; slot 0 is never reached through the lookup below.
constexpr std::array<const char*, 0x2D> k_core_names = {
    "N/A",
    "Struct",
    "String",
    "Extension",
    "",
    "Camera",
    "Texture",
    "Material",
    "Material List",
    "Atomic Section",
    "Plane Section",
    "World",
    "Spline",
    "Matrix",
    "Frame List",
    "Geometry",
    "Clump",
    "",
    "Light",
    "Unicode String",
    "Atomic",
    "Texture Native",
    "Texture Dictionary",
    "Animation Database",
    "Image",
    "Skin Animation",
    "Geometry List",
    "Anim Animation",
    "Team",
    "Crowd",
    "Delta Morph Animation",
    "Right To Render",
    "MultiTexture Effect Native",
    "MultiTexture Effect Dictionary",
    "Team Dictionary",
    "Platform Independent Texture Dictionary",
    "Table of Contents",
    "Particle Standard Global Data",
    "AltPipe",
    "Platform Independent Peds",
    "Patch Mesh",
    "Chunk Group Start",
    "Chunk Group End",
    "UV Animation Dictionary",
    "Coll Tree",
};

// Indexed by id - 0x100.
constexpr std::array<const char*, 0x20> k_plugin_names = {
    "N/A",           "Metrics PLG",     "Spline PLG",      "Stereo PLG",     "VRML PLG",
    "Morph PLG",     "PVS PLG",         "Memory Leak PLG", "Animation PLG",  "Gloss PLG",
    "Logo PLG",      "Memory Info PLG", "Random PLG",      "PNG Image PLG",  "Bone PLG",
    "VRML Anim PLG", "Sky Mipmap Val",  "MRM PLG",         "LOD Atomic PLG", "ME PLG",
    "Lightmap PLG",  "Refine PLG",      "Skin PLG",        "Label PLG",      "Particles PLG",
    "GeomTX PLG",    "Synth Core PLG",  "STQPP PLG",       "Part PP PLG",    "Collision PLG",
    "HAnim PLG",     "User Data PLG",
};
} // namespace

const char* section_name(uint32_t id) {
    if (id >= 0x01 && id <= 0x2C) return k_core_names[id];
    if (id >= 0x101 && id <= 0x11F) return k_plugin_names[id - 0x100];
    return "N/A";
}

} // namespace quillmap
