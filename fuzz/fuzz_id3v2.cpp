// The bytes before the audio: an ID3v2 tag of any content behind a well-formed header, read
// through the analysis (and so through TagLib) and turned into the texts the program shows.
// Whatever the bytes, the reading ends, and a damaged tag gives no fields. Its slim form, when
// made, reads back undamaged, without pictures, with the title that was read.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "audio/AudioInfo.h"
#include "audio/ID3v2Slim.h"
#include "core/tags/ID3v2Text.h"
#include "fuzz/FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3)
        return 0;
    // The first three bytes choose the version, revision and flags; the rest is the body.
    const size_t body = size - 3;
    std::vector<uint8_t> file = {'I',
                                 'D',
                                 '3',
                                 static_cast<uint8_t>(2 + data[0] % 3),
                                 data[1],
                                 static_cast<uint8_t>(data[2] & 0xF0),
                                 static_cast<uint8_t>((body >> 21) & 0x7F),
                                 static_cast<uint8_t>((body >> 14) & 0x7F),
                                 static_cast<uint8_t>((body >> 7) & 0x7F),
                                 static_cast<uint8_t>(body & 0x7F)};
    file.insert(file.end(), data + 3, data + size);
    // A frame of MPEG-1 Layer III after the tag.
    const uint8_t frame[4] = {0xFF, 0xFB, 0x90, 0x00};
    file.insert(file.end(), frame, frame + 4);
    velmora::TMemoryStream stream(file);
    velmora::TAudioInfo info;
    info.AnalyzeStream(stream, stream.Size());
    const velmora::TID3v2Info& tag = info.ID3v2;
    Check(tag.Present);
    Check(!tag.Damaged || tag.FieldCount() == 0);
    Check(!velmora::ID3v2Status(tag).empty());
    for (const velmora::TID3v2Text* text :
         {&tag.Title, &tag.Artist, &tag.Album, &tag.Year, &tag.Track, &tag.Genre, &tag.Comment}) {
        (void)velmora::DecodeID3v2Text(*text);
    }
    const velmora::TSlimID3v2 slim =
        velmora::SlimID3v2(std::string(file.begin(), file.begin() + 10 + static_cast<long>(body)));
    Check(slim.Bytes.empty() != slim.Refusal.empty());
    if (!slim.Bytes.empty() && !tag.Damaged) {
        std::vector<uint8_t> slimFile(slim.Bytes.begin(), slim.Bytes.end());
        slimFile.insert(slimFile.end(), frame, frame + 4);
        velmora::TMemoryStream slimStream(slimFile);
        velmora::TAudioInfo slimInfo;
        slimInfo.AnalyzeStream(slimStream, slimStream.Size());
        Check(slimInfo.ID3v2.Present && !slimInfo.ID3v2.Damaged);
        Check(slimInfo.ID3v2.Pictures == 0);
        // The title read from the tag is kept (a frame the reading passed over as damaged may
        // come back readable: more text, never less).
        Check(tag.Title.Text.empty() || velmora::DecodeID3v2Text(slimInfo.ID3v2.Title) ==
                                            velmora::DecodeID3v2Text(tag.Title));
    }
    return 0;
}
