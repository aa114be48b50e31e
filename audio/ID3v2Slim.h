// The slim form of an ID3v2 tag: its text frames alone, as ID3v2.3, without padding. What the
// radio needs of a tag whose texts the ID3v1 tag cannot hold, without the cover and the rest.
#pragma once

#include <string>

namespace velmora {

// True for the frames the slim form keeps: text frames (T..., TXXX included), comments, lyrics
// and links (W...), in any version's ids.
bool IsSlimTextFrame(const std::string& id);

struct TSlimID3v2 {
    std::string Bytes;    // the new tag; "" when none was made
    std::string Refusal;  // why not, in Russian, when Bytes is ""
};

// The slim form of the whole tag `tag` (header and all of its bytes, as the file holds them):
// ID3v2.3 through TagLib, or ID3v2.4 when 2.3 cannot carry one of its texts. Made only when
// every kept text reads back the same from the new tag; a tag unsynchronised as a whole, or
// with a compressed or encrypted text frame, is refused, as is anything TagLib cannot read.
TSlimID3v2 SlimID3v2(const std::string& tag);

}  // namespace velmora
