// A generator of realistic MP3 folders for benchmarks, screenshots and tests: short MPEG streams
// built from real frame headers, with and without ID3v1, ID3v1.1 and ID3v2 tags, some VBR with a
// Xing header; or files tagged as a tagger tags them, with cover art. The same options always
// give the same names and bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace velmora::tools {

enum class TGenKind {
    Mixed,   // the eight kinds of GenerateFile, ID3v2 tags of one short frame and padding
    Tagged,  // every file with an ID3v2.3 tag of seven UTF-16 text frames, some with a cover
};

struct TGenOptions {
    int Count = 0;
    bool Cyrillic = false;  // Cyrillic artists and titles (Windows-1251 tags, UTF-8 names)
    TGenKind Kind = TGenKind::Mixed;
    // Tagged: a cover on every CoverEvery-th file from the first (1 each, 2 every second, 0 none),
    // of CoverKB kilobytes (1024 bytes) within 4 %.
    int CoverEvery = 2;
    int CoverKB = 105;
    uint32_t Seed = 20240607;  // everything else drawn comes from it
};

struct TGenFile {
    std::string Name;  // "NNN Artist - Title.mp3", NNN from 001
    std::vector<uint8_t> Bytes;
};

// File number `index` (0-based) of a folder made with `options`.
// Mixed: the kinds repeat every 8 files: ID3v1.1, ID3v1 (30-byte comment), ID3v2 + ID3v1.1, Xing
// VBR + ID3v1.1, no tag, a large ID3v2 tag (padding) alone, MPEG-2 mono + ID3v1.1, ID3v1.1 with an
// empty album.
// Tagged: an ID3v2.3 tag written by TagLib (Cyrillic title, artist, album, year, "track/total",
// genre and comment, all UTF-16), CBR frames, and an ID3v1.1 tag on three files of four. The
// covers belong to albums of ten files; every fourth album's cover is a PNG, the others JPEG.
TGenFile GenerateFile(int index, const TGenOptions& options);

// Writes options.Count files into dir (which must exist); returns their full paths in order.
// Throws std::runtime_error when a file cannot be written.
std::vector<std::string> GenerateFolder(const std::string& dir, const TGenOptions& options);

}  // namespace velmora::tools
