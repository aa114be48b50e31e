// ID3v2.3 tags as a tagger writes them, rendered by TagLib: text frames in UTF-16 and an attached
// picture. For the folder generator and the tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace velmora::tools {

struct TID3v2Fields {
    // UTF-8 texts; an empty one gets no frame. Year goes into TYER, Comment into a COMM frame
    // with the language "rus" and no description.
    std::string Title{}, Artist{}, Album{}, Year{}, Track{}, Genre{}, Comment{};
    std::vector<uint8_t> Picture{};  // the cover's encoded bytes; none when empty
    std::string PictureMime = "image/jpeg";
};

// The whole tag (header, frames, TagLib's padding of 1024 bytes), version 2.3.
std::vector<uint8_t> RenderID3v2(const TID3v2Fields& fields);

}  // namespace velmora::tools
