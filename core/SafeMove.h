// The one move of the program: never replaces an existing target, never loses the source.
#pragma once

#include <string>

#include "core/FileSystem.h"

namespace velmora {

// Moves the file at `from` to `to`. Returns Ok, or the errno of the failure (EEXIST when the
// target exists). On every failure the source is where it was and nothing is overwritten.
TMoveResult SafeMoveFile(const std::string& from, const std::string& to);

}  // namespace velmora
