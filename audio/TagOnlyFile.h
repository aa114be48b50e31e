// The tag's bytes as a TagLib file, for TagLib's ID3v2 code and nothing else: an MPEG file would
// also look for an ID3v1 and an APE tag at the end and make empty ones, which this program does
// not ask about. For the files of audio/ that read or render a tag through TagLib.
#pragma once

#include <taglib/tfile.h>

namespace velmora {

class TTagOnlyFile : public TagLib::File {
  public:
    explicit TTagOnlyFile(TagLib::IOStream* stream) : TagLib::File(stream) {}
    TagLib::Tag* tag() const override { return nullptr; }
    TagLib::AudioProperties* audioProperties() const override { return nullptr; }
    bool save() override { return false; }
};

}  // namespace velmora
