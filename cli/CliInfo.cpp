#include "cli/CliInfo.h"

#include <exception>

#include "audio/FileInfoSummary.h"
#include "cli/CliCommand.h"
#include "core/tags/ID3v2Text.h"
#include "core/text/TextCodec.h"

namespace velmora {

namespace {

class TLines {
  public:
    void Add(const char* key, const std::string& value) {
        Text += std::string(key) + ": " + EscapeForLine(value) + "\n";
    }
    void Add(const char* key, int64_t value) { Add(key, std::to_string(value)); }
    void Add(const char* key, bool value) { Add(key, std::string(value ? "true" : "false")); }
    std::string Text;
};

}  // namespace

std::string FileInfoBlock(const std::string& path, const TAudioInfo& info) {
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

int PrintFileInfo(const std::vector<std::string>& paths, std::ostream& out, std::ostream& err) {
    BuildID3Genres();
    int status = 0;
    bool first = true;
    for (const std::string& path : paths) {
        TAudioInfo info;
        try {
            info.LoadFromFile(path);
        } catch (const std::exception& e) {
            for (const std::string& line : MessageLines(e.what()))
                err << line << "\n";
            status = 1;
            continue;
        }
        if (!first)
            out << "\n";
        first = false;
        out << FileInfoBlock(path, info);
    }
    out.flush();
    return status;
}

// ---- The command ----

namespace {

constexpr char kInfoHelp[] =
    "Analyses each FILE as the program does when it is selected, and prints one block of\n"
    "\"key: value\" lines in UTF-8 per file, with a blank line between blocks. Each block begins\n"
    "with \"file: \" and the path as given. Then, in this order:\n"
    "  FirstFrameOffset  byte offset of the first MPEG frame, -1 when none\n"
    "  Valid             true when an MPEG stream was found (first and following frame)\n"
    "  VersionIndex      0 reserved, 1 MPEG-1, 2 MPEG-2, 3 MPEG-2.5\n"
    "  LayerIndex        0 reserved, 1..3 Layer I..III\n"
    "  Bitrate           kbit/s of the first frame (0 free format, -1 none)\n"
    "  SampleRate        Hz (-1 none)\n"
    "  FrameLength       bytes of the first frame\n"
    "  IsVBR             true when the first frame carries a Xing header\n"
    "  Duration          playing time in milliseconds (whole seconds)\n"
    "  FileSize          bytes; -1 for a file of 2 GiB or more\n"
    "  Exists            true when the file ends in an ID3v1 tag\n"
    "  NoTrack           true when the tag carries no track number\n"
    "  Title, Artist, Album, Year, Comment   tag texts, converted from Windows-1251\n"
    "  Track, GenreCode, GenreName\n"
    "  lblId3Status, lblMpegVersion, lblDuration, lblMpegParam, lblMpegFlags, lblMpegInternal\n"
    "                    the texts the main window shows for the file\n"
    "  ID3v2Version      the version of the ID3v2 tag at the start (\"2.3.0\"), empty without one\n"
    "  ID3v2Size         bytes of that tag (header, frames, padding, footer), empty without one\n"
    "  ID3v2Title, ID3v2Artist, ID3v2Album, ID3v2Year, ID3v2Track, ID3v2Genre, ID3v2Comment\n"
    "                    its texts in UTF-8 (Windows-1251 in \"Latin-1\" frames decoded)\n"
    "  ID3v2Pictures     how many pictures (covers) it holds\n"
    "Booleans read true or false; numbers are plain decimal. Values are written on one line.\n"
    "A file that cannot be opened or read gets its error on standard error; the other files are\n"
    "still printed, and the exit status is then 1.\n";

int RunInfo(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::vector<std::string> files = args;
    if (!files.empty() && files[0] == "--")
        files.erase(files.begin());
    if (files.empty())
        return UsageError(err, kInfoCommand, "нужен хотя бы один файл");
    return PrintFileInfo(files, out, err);
}

}  // namespace

const TCliCommand kInfoCommand = {"info", "info FILE...", kInfoHelp, RunInfo};

}  // namespace velmora
