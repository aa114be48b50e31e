#include "cli/CliInfo.h"

#include <exception>

#include "audio/FileInfoSummary.h"
#include "core/ID3v2Text.h"
#include "core/TextCodec.h"

namespace velmora {

namespace {

class TLines {
  public:
    void Add(const char* key, const std::string& value) {
        Text += std::string(key) + ": " + value + "\n";
    }
    void Add(const char* key, int64_t value) { Add(key, std::to_string(value)); }
    void Add(const char* key, bool value) { Add(key, std::string(value ? "true" : "false")); }
    std::string Text;
};

}  // namespace

std::string ProbeBlock(const std::string& path, const TAudioInfo& info) {
    const TMpegFrameHdr& h = info.FrameHdr;
    const TID3v1Tag& tag = info.ID3v1;
    const TFileInfoSummary summary = SummarizeFileInfo(info);
    TLines lines;
    lines.Add("file", path);
    lines.Add("FirstFrameOffset", int64_t{info.FirstFrameOffset});
    lines.Add("Valid", h.Valid);
    lines.Add("VersionIndex", int64_t{h.VersionIndex});
    lines.Add("LayerIndex", int64_t{h.LayerIndex()});
    lines.Add("Bitrate", int64_t{h.Bitrate});
    lines.Add("SampleRate", int64_t{h.SampleRate});
    lines.Add("FrameLength", int64_t{h.FrameLength});
    lines.Add("IsVBR", info.IsVBR);
    lines.Add("Duration", int64_t{info.Duration});
    lines.Add("FileSize", int64_t{info.FileSize});
    lines.Add("Exists", tag.Exists);
    lines.Add("NoTrack", tag.NoTrack);
    lines.Add("Title", Cp1251ToUtf8(tag.Title));
    lines.Add("Artist", Cp1251ToUtf8(tag.Artist));
    lines.Add("Album", Cp1251ToUtf8(tag.Album));
    lines.Add("Year", Cp1251ToUtf8(tag.Year));
    lines.Add("Comment", Cp1251ToUtf8(tag.Comment));
    lines.Add("Track", int64_t{tag.Track});
    lines.Add("GenreCode", int64_t{tag.GenreCode});
    lines.Add("GenreName", Cp1251ToUtf8(tag.GenreName));
    lines.Add("lblId3Status", summary.lblId3Status);
    lines.Add("lblMpegVersion", summary.lblMpegVersion);
    lines.Add("lblDuration", summary.lblDuration);
    lines.Add("lblMpegParam", summary.lblMpegParam);
    lines.Add("lblMpegFlags", summary.lblMpegFlags);
    lines.Add("lblMpegInternal", summary.lblMpegInternal);
    const TID3v2Info& v2 = info.ID3v2;
    lines.Add("ID3v2Version", v2.Version());
    lines.Add("ID3v2Size", v2.Present ? std::to_string(v2.Size) : std::string());
    const std::pair<const char*, const TID3v2Text*> fields[] = {
        {"ID3v2Title", &v2.Title},    {"ID3v2Artist", &v2.Artist}, {"ID3v2Album", &v2.Album},
        {"ID3v2Year", &v2.Year},      {"ID3v2Track", &v2.Track},   {"ID3v2Genre", &v2.Genre},
        {"ID3v2Comment", &v2.Comment}};
    for (const auto& [key, text] : fields)
        lines.Add(key, DecodeID3v2Text(*text));
    lines.Add("ID3v2Pictures", int64_t{v2.Pictures});
    return lines.Text;
}

int ProbeFiles(const std::vector<std::string>& paths, std::ostream& out, std::ostream& err) {
    BuildID3Genres();
    int status = 0;
    bool first = true;
    for (const std::string& path : paths) {
        TAudioInfo info;
        try {
            info.LoadFromFile(path);
        } catch (const std::exception& e) {
            err << e.what() << "\n";
            status = 1;
            continue;
        }
        if (!first)
            out << "\n";
        first = false;
        out << ProbeBlock(path, info);
    }
    out.flush();
    return status;
}

}  // namespace velmora
