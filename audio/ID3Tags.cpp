#include "audio/ID3Tags.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace velmora {

namespace {

// The genre names in code order: each name's code is its position.
constexpr const char* kGenreNames[] = {
    "Blues",
    "Classic Rock",
    "Country",
    "Dance",
    "Disco",
    "Funk",
    "Grunge",
    "Hip-Hop",
    "Jazz",
    "Metal",
    "New Age",
    "Oldies",
    "Other",
    "Pop",
    "R&B",
    "Rap",
    "Reggae",
    "Rock",
    "Techno",
    "Industrial",
    "Alternative",
    "Ska",
    "Death Metal",
    "Pranks",
    "Soundtrack",
    "Euro-Techno",
    "Ambient",
    "Trip-Hop",
    "Vocal",
    "Jazz+Funk",
    "Fusion",
    "Trance",
    "Classical",
    "Instrumental",
    "Acid",
    "House",
    "Game",
    "Sound Clip",
    "Gospel",
    "Noise",
    "AlternRock",
    "Bass",
    "Soul",
    "Punk",
    "Space",
    "Meditative",
    "Instrumental Pop",
    "Instrumental Rock",
    "Ethnic",
    "Gothic",
    "Darkwave",
    "Techno-Industrial",
    "Electronic",
    "Pop-Folk",
    "Eurodance",
    "Dream",
    "Southern Rock",
    "Comedy",
    "Cult",
    "Gangsta",
    "Top 40",
    "Christian Rap",
    "Pop/Funk",
    "Jungle",
    "Native American",
    "Cabaret",
    "New Wave",
    "Psychedelic",
    "Rave",
    "Showtunes",
    "Trailer",
    "Lo-Fi",
    "Tribal",
    "Acid Punk",
    "Acid Jazz",
    "Polka",
    "Retro",
    "Musical",
    "Rock & Roll",
    "Hard Rock",
    "Folk",
    "Folk/Rock",
    "National Folk",
    "Swing",
    "Fast Fusion",
    "Bebob",
    "Latin",
    "Revival",
    "Celtic",
    "Bluegrass",
    "Avantgarde",
    "Gothic Rock",
    "Progressive Rock",
    "Psychedelic Rock",
    "Symphonic Rock",
    "Slow Rock",
    "Big Band",
    "Chorus",
    "Easy Listening",
    "Acoustic",
    "Humour",
    "Speech",
    "Chanson",
    "Opera",
    "Chamber Music",
    "Sonata",
    "Symphony",
    "Booty Bass",
    "Primus",
    "Porn Groove",
    "Satire",
    "Slow Jam",
    "Club",
    "Tango",
    "Samba",
    "Folklore",
    "Ballad",
    "Power Ballad",
    "Rhythmic Soul",
    "Freestyle",
    "Duet",
    "Punk Rock",
    "Drum Solo",
    "Acapella",
    "Euro-House",
    "Dance Hall",
    "Goa",
    "Drum & Bass",
    "Club-House",
    "Hardcore",
    "Terror",
    "Indie",
    "BritPop",
    "Negerpunk",
    "Polsk Punk",
    "Beat",
    "Christian Gangs",
    "Heavy Metal",
    "Black Metal",
    "Crossover",
    "Contemporary Ch?",
    "Cristian Rock",
    "Merengue",
    "Salsa",
    "Thrash Metal",
    "Anime",
    "JPop",
    "Synthpop",
};
static_assert(sizeof kGenreNames / sizeof kGenreNames[0] == 148);

// A text field: the bytes before the first zero, without trailing bytes of value 32 or less.
std::string DecodeField(const uint8_t* block, size_t offset, size_t width) {
    const uint8_t* begin = block + offset;
    const uint8_t* end = std::find(begin, begin + width, 0);
    while (end > begin && end[-1] <= 32)
        --end;
    return std::string(begin, end);
}

void EncodeField(uint8_t* block, size_t offset, size_t width, const std::string& text) {
    const size_t n = std::min(text.size(), width);
    std::memcpy(block + offset, text.data(), n);
    std::memset(block + offset + n, ' ', width - n);
}

}  // namespace

void TID3v1Tag::LoadFromFile(const std::string& name) {
    TFileStream stream(name, TFileStream::Mode::Read);
    LoadFromStream(stream, stream.Size());
}

void TID3v1Tag::LoadFromStream(TStream& stream, int64_t size) {
    if (size < static_cast<int64_t>(kID3v1Size)) {
        LoadFromBuffer(nullptr, 0);
        return;
    }
    uint8_t block[kID3v1Size];
    stream.Seek(stream.Position() + size - static_cast<int64_t>(kID3v1Size));
    stream.ReadBuffer(block, sizeof block);
    LoadFromBuffer(block, sizeof block);
}

void TID3v1Tag::LoadFromBuffer(const uint8_t* buffer, size_t length) {
    Exists = false;
    Modified = false;
    std::string block;
    if (length >= kID3v1Size)
        block.assign(reinterpret_cast<const char*>(buffer), kID3v1Size);
    if (length < kID3v1Size || DecodeField(buffer, 0, 3) != "TAG") {
        // No tag: nothing of an earlier file's tag may stay here to be written into this file
        // (its genre byte above all, which a save keeps when no genre is chosen).
        *this = TID3v1Tag{};
        NoTrack = true;
        GenreCode = 255;
        ReadBlock = std::move(block);
        return;
    }
    ReadBlock = std::move(block);
    Exists = true;
    Title = DecodeField(buffer, 3, 30);
    Artist = DecodeField(buffer, 33, 30);
    Album = DecodeField(buffer, 63, 30);
    Year = DecodeField(buffer, 93, 4);
    Comment = DecodeField(buffer, 97, 30);
    if (buffer[125] == 0 && buffer[126] != 0) {
        NoTrack = false;
        Track = buffer[126];
    } else {
        NoTrack = true;
        Track = 0;
    }
    GenreCode = buffer[127];
    GenreName = ID3Genres().NameOf(GenreCode);
}

void TID3v1Tag::SaveToFile(const std::string& name) {
    TFileStream stream(name, TFileStream::Mode::ReadWrite);
    SaveToWholeStream(stream);
}

void TID3v1Tag::SaveToWholeStream(TStream& stream) {
    const int64_t size = stream.Size();
    const int64_t tagAt = size - static_cast<int64_t>(kID3v1Size);
    uint8_t old[kID3v1Size];
    bool inPlace = false;
    if (size >= static_cast<int64_t>(kID3v1Size)) {
        stream.Seek(tagAt);
        stream.ReadBuffer(old, sizeof old);
        inPlace = std::memcmp(old, "TAG", 3) == 0;
    }
    const bool wasModified = Modified;
    try {
        stream.Seek(inPlace ? tagAt : size);
        SaveToStream(stream);
    } catch (...) {
        // Leave the file as it was: the old tag back in place, or the old length.
        Modified = wasModified;
        try {
            if (inPlace) {
                stream.Seek(tagAt);
                stream.Write(old, sizeof old);
            } else {
                stream.Truncate(size);
            }
        } catch (...) {
            // The first error is the one to report.
        }
        throw;
    }
}

void TID3v1Tag::SaveToStream(TStream& stream) {
    uint8_t block[kID3v1Size];
    SaveToBuffer(block, sizeof block);
    stream.Write(block, sizeof block);
}

void TID3v1Tag::SaveToBuffer(uint8_t* buffer, size_t length) {
    if (length < kID3v1Size)
        throw std::length_error("TID3v1Tag.Save: Buffer too small");
    std::memcpy(buffer, "TAG", 3);
    EncodeField(buffer, 3, 30, Title);
    EncodeField(buffer, 33, 30, Artist);
    EncodeField(buffer, 63, 30, Album);
    EncodeField(buffer, 93, 4, Year);
    EncodeField(buffer, 97, 30, Comment);
    if (!NoTrack) {
        buffer[125] = 0;
        buffer[126] = static_cast<uint8_t>(Track);
    }
    buffer[127] = static_cast<uint8_t>(GenreCode);
    Modified = false;
}

void TID3v1Tag::SetField(int kind, const std::string& text) {
    std::string* field = nullptr;
    size_t width = 30;
    switch (kind) {
        case fkTitle:
            field = &Title;
            break;
        case fkArtist:
            field = &Artist;
            break;
        case fkYear:
            field = &Year;
            width = 4;
            break;
        case fkAlbum:
            field = &Album;
            break;
        case fkComment:
            field = &Comment;
            width = NoTrack ? 30 : 28;
            break;
        default:
            return;
    }
    std::string value = text.substr(0, width);
    if (value != *field) {
        *field = std::move(value);
        Modified = true;
    }
}

void TID3v1Tag::SetTrack(int32_t number) {
    if (number == Track)
        return;
    Track = number;
    NoTrack = number == 0;
    Modified = true;
}

void TID3v1Tag::SetGenre(int32_t code) {
    if (code == GenreCode)
        return;
    GenreCode = code;
    Modified = true;
}

std::string TGenreList::NameOf(int32_t code) const {
    const int i = IndexOfCode(code);
    return i < 0 ? std::string() : Items[static_cast<size_t>(i)].Name;
}

int TGenreList::IndexOfCode(int32_t code) const {
    for (size_t i = 0; i < Items.size(); ++i) {
        if (Items[i].Code == code)
            return static_cast<int>(i);
    }
    return -1;
}

void TGenreList::Sort(const std::function<bool(const std::string&, const std::string&)>& less) {
    std::stable_sort(Items.begin(), Items.end(),
                     [&](const Item& a, const Item& b) { return less(a.Name, b.Name); });
    Sorted = true;
}

TGenreList& ID3Genres() {
    static TGenreList list = [] {
        TGenreList built;
        int32_t code = 0;
        for (const char* name : kGenreNames)
            built.Items.push_back({name, code++});
        return built;
    }();
    return list;
}

void BuildID3Genres() {
    ID3Genres();
}

}  // namespace velmora
