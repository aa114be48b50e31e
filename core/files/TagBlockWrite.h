// The write of a file's ID3v1 block: its last 128 bytes replaced when they are a tag, or 128 bytes
// appended. Another program may write the same file at any moment (a tagger growing its ID3v2
// tag in place moves the audio, and the old end with it), so the block goes in only while the
// file is the one that was read, checked under the descriptor right before the write, and the
// file is looked at again right after it.
#pragma once

#include <cstdint>
#include <string>

#include "audio/FileStream.h"
#include "core/files/SysCalls.h"

namespace velmora {

struct TTagBlockWrite {
    // 0, or the errno of the failure (the open's when Opened is false). The file is as it was.
    int Error = 0;
    bool Opened = false;
    // The file is not the one read, or another program changed it around the write: nothing
    // was written, or the old bytes were put back where that could be done.
    bool Changed = false;
    TFileIdentity Now;  // the file as written
};

// Writes `block` (128 bytes) at the end of the file at `path`: over the last 128 bytes when they
// begin with "TAG", else appended. When `identity` is known, only while the open file is still
// that one (device, inode, size, modification and change times) and its last 128 bytes are still
// `readBlock` (when that is not ""). Afterwards the size must be the one written; otherwise the
// old bytes go back over a block still in place and Changed is set. A failed write puts the old
// bytes back (or the old length).
TTagBlockWrite WriteTagBlock(TSysCalls& sys, const std::string& path, const TFileIdentity& identity,
                             const std::string& readBlock, const uint8_t* block);

}  // namespace velmora
