#pragma once

#include <set>
#include <string>

namespace quillmap {

// File names for many textures exported into one folder. Textures may share a name, or differ in
// case only, which most file systems of the game's users fold together: a name already given
// gets "_2", "_3"... before its extension, so no export overwrites another of the same run.
class export_name_set {
  public:
    // `name` ("sky.png") cleaned as clean_file_name does, or the first free "sky_2.png",
    // "sky_3.png"...; the result is taken.
    std::string claim(const std::string& name);

  private:
    std::set<std::string> taken_; // lower case
};

} // namespace quillmap
