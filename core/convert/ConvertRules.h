// What the conversion takes on and the names it gives: the audio files that are not MP3, the MP3
// files whose audio a radio cannot play, the name of each new MP3 and of each kept original. The
// disc check asks the same rules, so that its advice and the conversion agree.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "audio/AudioInfo.h"

namespace velmora {

// Where the check's advice sends the user for what the conversion cures.
inline constexpr const char* kConvertAdvice =
    "Обработка → Перекодировать для магнитолы… (velmora-cli convert)";

// The bitrates the conversion writes (kbit/s), and the one it writes unless told otherwise.
inline constexpr int kDefaultConvertKbps = 192;
bool IsConvertBitrate(int kbps);  // 128, 160, 192, 224, 256 or 320

// The audio a radio plays, as a profile says it (a profile without limits: every MPEG-1/2/2.5
// Layer III stream).
struct TAudioLimits {
    bool Limits = false;                 // MPEG-1 only, at the rates and bitrates below
    std::vector<int> SampleRates;        // Hz
    int MinBitrate = 0, MaxBitrate = 0;  // kbit/s
};

// What keeps an analysed MP3 file off the disc or out of the radio's profile, in a few words
// ("MPEG Layer II", "MPEG-2 Layer III, 22050 Гц"); "" when the radio plays it. The same
// conditions as the disc check's: WAV in the file, no stream of MPEG frames, Layer I or II, free
// format, a Xing header without frames; under the profile's limits MPEG-2 and 2.5, a sample rate
// or a constant bitrate outside it.
std::string Mp3Problem(const TAudioInfo& info, const TAudioLimits& limits);

// True for a name with the extension of an audio format the conversion reads (FLAC, M4A, MP4,
// Opus, Ogg, WAV, AIFF, WMA, APE, WavPack, MP2, …), letter case aside.
bool IsConvertibleName(const std::string& name);
// The name of the MP3 made from a file: its name with the extension replaced by ".mp3".
std::string ConvertedName(const std::string& name);
// True when the MP3 made from this source (ConvertedName) stands among `names` (one folder's).
bool HasConvertedBeside(const std::string& name, const std::set<std::string>& names);
// The next name to try when `name` is taken: "Song (2).mp3", "Song (3).mp3", … for n = 2, 3, ….
std::string NumberedName(const std::string& name, int n);

// Where an MP3 file's original goes when the file is converted under its own name: beside it,
// "Song.mp3.orig", then "Song.mp3.2.orig", "Song.mp3.3.orig", … for n = 1, 2, 3, …. Such a name is
// neither listed nor put on the disc.
std::string KeptOriginalName(const std::string& name, int n);
bool IsKeptOriginalName(const std::string& name);

}  // namespace velmora
