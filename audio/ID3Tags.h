// The ID3v1/ID3v1.1 tag of an MP3 file (the last 128 bytes) and the genre list.
// Texts are raw Windows-1251 bytes exactly as they stand in the tag.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "audio/FileStream.h"

namespace velmora {

constexpr size_t kID3v1Size = 128;

// The field kinds of TID3v1Tag::SetField, in this order.
enum TID3Field : int { fkNone = 0, fkTitle, fkArtist, fkYear, fkAlbum, fkComment };

class TID3v1Tag {
  public:
    bool Exists = false;
    bool Modified = false;
    bool NoTrack = false;
    std::string Title;
    std::string Artist;
    std::string Album;
    int32_t Track = 0;
    std::string Comment;
    std::string Year;
    int32_t GenreCode = 0;
    std::string GenreName;
    // The 128 bytes the tag was read from (the file's last 128, tag or not), "" when the file
    // was shorter: a save checks that they are still there before it writes.
    std::string ReadBlock;

    void LoadFromFile(const std::string& name);
    void LoadFromStream(TStream& stream, int64_t size);
    void LoadFromBuffer(const uint8_t* buffer, size_t length);
    // Replaces the tag at the end of the file in place, or appends one. A failed write leaves the
    // file as it was (the old 128 bytes written back, or the file cut to its old length) and
    // rethrows.
    void SaveToFile(const std::string& name);
    // The same on an open stream that holds the whole file.
    void SaveToWholeStream(TStream& stream);
    void SaveToStream(TStream& stream);
    // Throws std::length_error("TID3v1Tag.Save: Buffer too small") when length < 128.
    void SaveToBuffer(uint8_t* buffer, size_t length);

    void SetField(int kind, const std::string& text);
    void SetTrack(int32_t number);
    void SetGenre(int32_t code);
};

// The program-wide genre list: 148 names, each with its code (0..147), built in code order.
class TGenreList {
  public:
    struct Item {
        std::string Name;
        int32_t Code;
    };
    std::vector<Item> Items;

    // The name of the first item carrying the code, or "" when none does.
    std::string NameOf(int32_t code) const;
    // Position of the first item carrying the code, or -1.
    int IndexOfCode(int32_t code) const;
    // Sorted mode: orders the items by name with the given "less" (stable); switching it off
    // keeps the current order.
    void Sort(const std::function<bool(const std::string&, const std::string&)>& less);
    bool Sorted = false;
};

// Builds the list once (idempotent); call before any window exists.
void BuildID3Genres();
TGenreList& ID3Genres();

}  // namespace velmora
