// The one move of the program: never replaces an existing target, never loses the source.
#pragma once

#include <cstdint>
#include <string>

#include "core/files/FileSystem.h"
#include "core/files/SysCalls.h"

namespace velmora {

// Moves the file at `from` to `to`. Returns Ok, or the errno of the failure (EEXIST when the
// target exists). On every failure the source is where it was and nothing is overwritten. A
// symbolic link moved into another folder is made anew there pointing at the same file. A move
// stopped half way (the process killed) leaves no visible file that the next CleanLeftovers of
// the folder does not complete or remove (see core/Leftovers.h).
TMoveResult SafeMoveFile(const std::string& from, const std::string& to);
// The same through the given system calls.
TMoveResult SafeMoveFile(TSysCalls& sys, const std::string& from, const std::string& to);

// Rewrites the file at `path` (a link's target when it is a link) without its first
// `dropPrefixBytes` bytes: the rest goes to a hidden temporary file beside it, which gets the
// file's mode and times, is flushed and its size checked, and is renamed over the file. Only
// while the file is the one `identity` names (when known) and begins with `head`, read under the
// descriptor the copy is made from, and only while the name still names that file at the
// rename; otherwise ESTALE and nothing changes. Returns Ok or the errno of the failure (EINVAL
// when the file is shorter); on any failure or a kill the file is as it was.
// With `newPrefix`, those bytes begin the new file in place of the dropped ones.
TMoveResult SafeRewriteFile(TSysCalls& sys, const std::string& path, uint64_t dropPrefixBytes,
                            const TFileIdentity& identity = {}, const std::string& head = "",
                            const std::string& newPrefix = "");

}  // namespace velmora
