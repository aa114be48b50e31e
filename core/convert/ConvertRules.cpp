#include "core/convert/ConvertRules.h"

#include <algorithm>

#include "core/tags/Naming.h"

namespace velmora {
namespace {

std::string Lower(std::string text) {
    for (char& c : text)
        c = c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
    return text;
}

// The extension after the last "." of a name that has something before it, in small letters;
// "" when there is none.
std::string Extension(const std::string& name) {
    const size_t dot = name.rfind('.');
    return dot == std::string::npos || dot == 0 ? "" : Lower(name.substr(dot + 1));
}

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

bool IsConvertBitrate(int kbps) {
    for (int k : {128, 160, 192, 224, 256, 320})
        if (kbps == k)
            return true;
    return false;
}

std::string Mp3Problem(const TAudioInfo& info, const TAudioLimits& limits) {
    const TMpegFrameHdr& h = info.FrameHdr;
    if (info.Riff)
        return "WAV (RIFF) в файле .mp3";
    if (!h.Valid)
        return "нет кадров MPEG";
    if (h.LayerIndex() == 1)
        return "MPEG Layer I";
    if (h.LayerIndex() == 2)
        return "MPEG Layer II";
    if (h.Bitrate == 0)
        return "MP3 свободного формата";
    if (!info.NextFrameMatches)
        return "за первым кадром MPEG нет второго";
    if (info.IsVBR && info.Duration == 0)
        return "заголовок Xing без кадров";
    if (!limits.Limits)
        return "";
    std::string problem;
    const auto add = [&problem](const std::string& what) {
        problem += (problem.empty() ? "" : ", ") + what;
    };
    if (h.VersionIndex == 2)
        add("MPEG-2 Layer III");
    else if (h.VersionIndex == 3)
        add("MPEG-2.5 Layer III");
    if (std::find(limits.SampleRates.begin(), limits.SampleRates.end(), h.SampleRate) ==
        limits.SampleRates.end())
        add(std::to_string(h.SampleRate) + " Гц");
    if (!info.IsVBR && (h.Bitrate < limits.MinBitrate || h.Bitrate > limits.MaxBitrate))
        add(std::to_string(h.Bitrate) + " кбит/с");
    return problem;
}

bool IsConvertibleName(const std::string& name) {
    static const std::set<std::string> extensions = {
        "flac", "fla", "m4a", "m4b",  "mp4",  "aac", "opus", "ogg", "oga", "wav",
        "wave", "w64", "aif", "aiff", "aifc", "wma", "ape",  "wv",  "mp2", "mp1",
        "mpc",  "tta", "ac3", "mka",  "caf",  "au",  "amr",  "tak", "dsf", "shn"};
    return extensions.count(Extension(name)) != 0;
}

std::string ConvertedName(const std::string& name) {
    const size_t dot = name.rfind('.');
    return (dot == std::string::npos || dot == 0 ? name : name.substr(0, dot)) + ".mp3";
}

bool HasConvertedBeside(const std::string& name, const std::set<std::string>& names) {
    return names.count(ConvertedName(name)) != 0;
}

std::string NumberedName(const std::string& name, int n) {
    const size_t dot = name.rfind('.');
    const size_t at = dot == std::string::npos || dot == 0 ? name.size() : dot;
    return name.substr(0, at) + " (" + std::to_string(n) + ")" + name.substr(at);
}

std::string KeptOriginalName(const std::string& name, int n) {
    return name + (n > 1 ? "." + std::to_string(n) : "") + ".orig";
}

bool IsKeptOriginalName(const std::string& name) {
    if (!EndsWith(Lower(name), ".orig"))
        return false;
    std::string rest = name.substr(0, name.size() - 5);
    // "Song.mp3.2.orig": the number of a second original.
    const size_t dot = rest.rfind('.');
    if (dot != std::string::npos && dot + 1 < rest.size() &&
        std::all_of(rest.begin() + static_cast<long>(dot) + 1, rest.end(),
                    [](char c) { return c >= '0' && c <= '9'; }))
        rest.erase(dot);
    return IsMp3Name(rest);
}

}  // namespace velmora
