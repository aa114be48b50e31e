// A generator of realistic MP3 folders for benchmarks, screenshots and tests: short MPEG streams
// built from real frame headers, with and without ID3v1, ID3v1.1 and ID3v2 tags, some VBR with a
// Xing header. The same count and options always give the same names and bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace velmora::tools {

struct TGenOptions {
    int Count = 0;
    bool Cyrillic = false;  // Cyrillic artists and titles (Windows-1251 tags, UTF-8 names)
};

struct TGenFile {
    std::string Name;  // "NNN Artist - Title.mp3", NNN from 001
    std::vector<uint8_t> Bytes;
};

// File number `index` (0-based) of a folder made with `options`. The kinds repeat every 8 files:
// ID3v1.1, ID3v1 (30-byte comment), ID3v2 + ID3v1.1, Xing VBR + ID3v1.1, no tag, a large ID3v2
// tag (cover art) alone, MPEG-2 mono + ID3v1.1, ID3v1.1 with an empty album.
TGenFile GenerateFile(int index, const TGenOptions& options);

// Writes options.Count files into dir (which must exist); returns their full paths in order.
// Throws std::runtime_error when a file cannot be written.
std::vector<std::string> GenerateFolder(const std::string& dir, const TGenOptions& options);

}  // namespace velmora::tools
