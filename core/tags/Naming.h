// Names made from a track's tag and file name: the merged title, the new file name, the folder
// names, and the rule that keeps characters a file name may not hold out of them.
#pragma once

#include <cstdint>
#include <string>

namespace velmora {

// Numbered folders run from D001 to D253.
constexpr int32_t kFirstFolder = 1;
constexpr int32_t kLastFolder = 253;

// The parts of a track a merged title or a new name is made of.
struct TNameParts {
    bool Track = false;
    bool Artist = false;
    bool Title = false;
    bool Any() const { return Track || Artist || Title; }
};

// True for a name the list takes as an MP3 file: its last three characters are "mp3", the "m"
// and "p" in either case ("song.MP3", and also "bmp3" and "c_mp3").
bool IsMp3Name(const std::string& name);
// True when the name ends in ".mp3" in any letter case: what a radio looks for on a disc.
bool HasMp3Extension(const std::string& name);

// Track number, artist and title merged with the separator; the title alone when no part is
// chosen.
std::string BuildMergedTitle(int32_t track, const std::string& artist, const std::string& title,
                             const std::string& separator, TNameParts parts);
// The chosen parts joined by "_", then ".mp3"; "" when no part is chosen. Not yet checked.
std::string JoinNewFileName(int32_t track, const std::string& artist, const std::string& title,
                            TNameParts parts);
// The replacement for a character a name may not hold: the first character of the replacement
// field, or "_" while that field is empty.
std::string NameReplacement(const std::string& replaceField);
// The name with each of \ / ? : * < > | " replaced by `replacement`.
std::string CheckName(const std::string& name, const std::string& replacement);
// "D" and the number in three digits.
std::string NumberedFolderName(int32_t number);
// A folder named after a file: the file's name without its last four characters (".mp3").
std::string FolderNameOfFile(const std::string& fileName);

}  // namespace velmora
