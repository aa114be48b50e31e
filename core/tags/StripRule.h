// When an ID3v2 tag may go: only when the ID3v1 tag holds every text it carries, whole.
#pragma once

#include <string>
#include <vector>

#include "audio/ID3Tags.h"
#include "audio/ID3v2Reader.h"
#include "core/tags/TagFields.h"

namespace velmora {

// What the file's texts would lose if its ID3v2 tag went and its ID3v1 tag `v1` stayed as it is:
// a word for each text the ID3v1 tag does not hold whole, in the tag's order ("название",
// "текст песни", "композитор"); none when the tag may go. An ID3v1 field holds its ID3v2 text
// when it is not empty, not damaged (IsDamagedField), and not cut: neither named in `cut` (the
// fields the last save had to shorten) nor filling its whole width with other bytes than the
// ID3v2 text's. The track number must be the ID3v2 one, the genre the ID3v2 genre's code (a
// genre ID3v1 has no code for is lost). Every text frame beyond the seven fields is lost.
std::vector<std::string> TextsOnlyInID3v2(const TID3v2Info& v2, const TID3v1Tag& v1,
                                          const std::vector<TTagField>& cut = {});
// The words joined by ", ".
std::string JoinWords(const std::vector<std::string>& words);

}  // namespace velmora
