// ID3v1 decoding of arbitrary blocks, and the round trip of arbitrary field values: what is set
// and saved reads back as the same value cut to its width, up to the first zero byte and without
// trailing bytes of value 32 or less.
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

#include "audio/ID3Tags.h"
#include "fuzz/FuzzCheck.h"

namespace {

using velmora::TID3v1Tag;

std::string Normalized(std::string text) {
    const size_t zero = text.find('\0');
    if (zero != std::string::npos)
        text.resize(zero);
    while (!text.empty() && static_cast<uint8_t>(text.back()) <= 32)
        text.pop_back();
    return text;
}

bool SameFields(const TID3v1Tag& a, const TID3v1Tag& b) {
    return a.Exists == b.Exists && a.NoTrack == b.NoTrack && a.Title == b.Title &&
           a.Artist == b.Artist && a.Album == b.Album && a.Year == b.Year &&
           a.Comment == b.Comment && a.Track == b.Track && a.GenreCode == b.GenreCode &&
           a.GenreName == b.GenreName;
}

// Takes the next text of the input: a length byte, then that many bytes.
std::string TakeText(const uint8_t*& data, size_t& size) {
    if (size == 0)
        return {};
    size_t n = *data % 40;
    ++data;
    --size;
    n = n < size ? n : size;
    std::string text(reinterpret_cast<const char*>(data), n);
    data += n;
    size -= n;
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    velmora::BuildID3Genres();

    // Decoding a block, then saving and decoding it again, changes nothing.
    TID3v1Tag loaded;
    loaded.LoadFromBuffer(data, size);
    Check(loaded.Exists == (size >= 128 && data[0] == 'T' && data[1] == 'A' && data[2] == 'G'));
    if (loaded.Exists) {
        Check(loaded.Title.size() <= 30 && loaded.Year.size() <= 4 && loaded.Comment.size() <= 30);
        Check(loaded.NoTrack == (loaded.Track == 0));
        uint8_t block[128];
        TID3v1Tag copy = loaded;
        copy.SaveToBuffer(block, sizeof block);
        TID3v1Tag again;
        again.LoadFromBuffer(block, sizeof block);
        Check(SameFields(loaded, again));
    }

    // Setting arbitrary values, saving and loading.
    const uint8_t* p = data;
    size_t left = size;
    const uint8_t trackByte = left ? (--left, *p++) : 0;
    const uint8_t genreByte = left ? (--left, *p++) : 0;
    TID3v1Tag tag;
    const bool clearTrack = trackByte & 1;
    if (clearTrack) {
        tag.SetTrack(1);
        tag.SetTrack(0);  // no track: a 30-byte comment
    }
    const std::string title = TakeText(p, left);
    const std::string artist = TakeText(p, left);
    const std::string album = TakeText(p, left);
    const std::string year = TakeText(p, left);
    const std::string comment = TakeText(p, left);
    tag.SetField(velmora::fkTitle, title);
    tag.SetField(velmora::fkArtist, artist);
    tag.SetField(velmora::fkAlbum, album);
    tag.SetField(velmora::fkYear, year);
    tag.SetField(velmora::fkComment, comment);
    const int32_t track = clearTrack ? 0 : trackByte >> 1;
    tag.SetTrack(track);
    tag.SetGenre(genreByte);

    uint8_t small[127];
    try {
        tag.SaveToBuffer(small, sizeof small);
        Check(false);
    } catch (const std::length_error&) {
    }
    uint8_t block[128];
    tag.SaveToBuffer(block, sizeof block);
    Check(!tag.Modified);
    TID3v1Tag back;
    back.LoadFromBuffer(block, sizeof block);
    Check(back.Exists);
    Check(back.Title == Normalized(title.substr(0, 30)));
    Check(back.Artist == Normalized(artist.substr(0, 30)));
    Check(back.Album == Normalized(album.substr(0, 30)));
    Check(back.Year == Normalized(year.substr(0, 4)));
    Check(back.GenreCode == genreByte);
    Check(back.GenreName == velmora::ID3Genres().NameOf(genreByte));
    if (tag.NoTrack) {
        // A comment whose byte 28 is a zero and byte 29 (or the blank that pads it) is not
        // reads back as a track number.
        const std::string full = comment.substr(0, 30);
        const char b125 = full.size() > 28 ? full[28] : ' ';
        const char b126 = full.size() > 29 ? full[29] : ' ';
        const bool looksLikeTrack = b125 == '\0' && b126 != '\0';
        Check(back.NoTrack == !looksLikeTrack);
        Check(back.Track == (looksLikeTrack ? static_cast<uint8_t>(b126) : 0));
        Check(back.Comment == Normalized(full));
    } else {
        Check(back.Track == (track & 0xFF));
        Check(back.NoTrack == ((track & 0xFF) == 0));
        Check(back.Comment == Normalized(comment.substr(0, 28)));
    }
    return 0;
}
