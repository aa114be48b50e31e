// The path toolkit: every place that splits, joins or compares paths goes through these. Paths are
// bytes joined by "/"; nothing here touches the disk.
#pragma once

#include <string>

namespace velmora {

// folder + "/" + name, with no test for a separator already there (so "/" gives "//name", which
// names the same file).
inline std::string JoinPath(const std::string& folder, const std::string& name) {
    return folder + "/" + name;
}
// The last part of a path: "a/b.mp3" gives "b.mp3", "b.mp3" itself, "a/" gives "".
std::string NameOf(const std::string& path);
// The folder part of a path without its final "/": "a/b" gives "a", "/b" gives "/", and a path
// without a "/" gives ".".
std::string ParentOf(const std::string& path);
// The one spelling of a path: repeated "/" as one, no "/" at the end ("a//b/" gives "a/b"; "/"
// stays "/").
std::string NormalPath(const std::string& path);
// The path relative to the folder (both taken in their normal form): "." for the folder itself,
// the path as it is (normal form) when it lies outside.
std::string RelativePath(const std::string& path, const std::string& folder);
// True when the normal form of path is the folder or lies below it (by spelling alone).
bool PathWithin(const std::string& path, const std::string& folder);

}  // namespace velmora
