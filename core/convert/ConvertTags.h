// The tags a conversion carries from the source to the new MP3: read with TagLib from the
// formats it knows (Vorbis comments, MP4 atoms, APE, ID3, RIFF INFO, ASF), from FFmpeg's
// metadata for the rest, and written as an ID3v2.3 tag and an ID3v1 tag. The only file of the
// conversion that talks to TagLib.
#pragma once

#include <cstdint>
#include <string>

#include "audio/AudioInfo.h"
#include "core/convert/Codec.h"

namespace velmora {

struct TCarriedTags {
    // UTF-8.
    std::string Title, Artist, Album, Year, Track, Genre, Comment, Lyrics;
    std::string Cover, CoverMime;  // the picture's bytes and type
};

// An MP3 file's own texts as the program reads them everywhere else: each field from its ID3v2
// tag where that has it (Windows-1251 in Latin-1 frames decoded), else from its ID3v1 tag.
TCarriedTags TagsOfMp3(const TAudioInfo& info);

// Adds the tags of the open source `fd` to `tags`: fields still empty are taken from TagLib's
// reading of the container FFmpeg found, then from FFmpeg's metadata; the lyrics from either;
// the cover from FFmpeg's attached picture. Only reads.
void ReadSourceTags(int fd, const TSourceFacts& facts, TCarriedTags& tags);

// The ID3v2.3 tag of the new file: the texts (UTF-16 where they are not ASCII), the lyrics, and
// the cover only while the whole tag stays within `limit` bytes (0: no limit). "" when there is
// nothing to write.
std::string RenderID3v2(const TCarriedTags& tags, int64_t limit);

// The ID3v1 tag as the batch writes it: Windows-1251 with the letters it lacks folded to Latin,
// the track number, the genre's code when the list has its name.
TID3v1Tag ID3v1Of(const TCarriedTags& tags);

}  // namespace velmora
