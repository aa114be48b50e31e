// The ID3v2 tag at the start of an MP3 file, read with TagLib: the seven fields the editor knows,
// the pictures, the version and the size. Texts whose characters all lie in Latin-1 are kept as
// those bytes (many of them are Windows-1251 text) for the program to decode.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "audio/FileStream.h"

namespace velmora {

struct TID3v2Text {
    std::string Text;     // UTF-8, or the raw bytes when Latin1
    bool Latin1 = false;  // every character lies in Latin-1: Text holds those bytes
    bool Empty() const { return Text.empty(); }
};

struct TID3v2Info {
    bool Present = false;  // the file begins with an ID3v2 header
    bool Damaged = false;  // present, but its fields could not be read: none are given
    int Major = 0;         // 2, 3 or 4
    int Revision = 0;
    int64_t Size = 0;  // bytes of the whole tag: header, frames, padding, footer
    TID3v2Text Title, Artist, Album, Year, Track, Genre, Comment;
    // The text frames the seven fields do not show (lyrics "USLT", composer "TCOM", a second
    // comment "COMM", a compressed or encrypted "TIT2", ...), each id once, in the tag's order.
    std::vector<std::string> OtherTexts;
    int Pictures = 0;
    int64_t PictureBytes = 0;

    // "2.3.0", or "" without a tag.
    std::string Version() const;
    // How many of the seven fields hold text.
    int FieldCount() const;
};

// Reads a tag of `size` bytes (header included, as long as info.Size says) at the stream's
// position. A tag TagLib cannot make sense of (no frame read from a body that is not just padding),
// or one unsynchronised as a whole, is Damaged; frames TagLib cannot decode (encrypted ones) are
// left out. The bytes go straight into a buffer kept for the next tag (one a thread; a tag above
// 16 MB gets one of its own), which TagLib reads in place. Throws EStreamError when the stream
// ends before the tag does.
void ReadID3v2(TStream& stream, size_t size, TID3v2Info& info);

}  // namespace velmora
