#include "audio/FileInfoSummary.h"

#include <cstdio>
#include <cstdlib>

namespace velmora {

std::string DurationText(int32_t milliseconds) {
    const int64_t ofDay = std::llabs(int64_t{milliseconds}) % 86400000;
    const int64_t seconds = ofDay / 1000;
    char text[16];
    std::snprintf(text, sizeof text, "%d:%02d:%02d", static_cast<int>(seconds / 3600),
                  static_cast<int>(seconds / 60 % 60), static_cast<int>(seconds % 60));
    return text;
}

TFileInfoSummary SummarizeFileInfo(const TAudioInfo& info) {
    TFileInfoSummary s;
    const TID3v1Tag& tag = info.ID3v1;
    s.HasTag = tag.Exists;
    if (tag.Exists) {
        s.lblId3Status = std::string("Найдены теги ID3v1") + (tag.NoTrack ? "" : ".1") + " tag";
        s.Title = tag.Title;
        s.Artist = tag.Artist;
        s.Album = tag.Album;
        s.Year = tag.Year;
        s.Comment = tag.Comment;
        s.Track = tag.Track;
        s.GenreCode = tag.GenreCode;
    } else {
        s.lblId3Status = "ID3v1 теги не найдены.";
    }

    const TMpegFrameHdr& h = info.FrameHdr;
    if (!h.Valid) {
        s.lblDuration = "0:00:00";
        return s;
    }
    s.lblDuration = DurationText(info.Duration);
    s.lblMpegVersion = std::string("MPEG ") + h.VersionName() + " layer " + h.LayerName();
    s.lblMpegFlags = std::string("(") + (h.IsSync() ? "Sync" : "No sync") +
                     (h.HasCRC() ? ", CRC" : ", No CRC") +
                     (h.IsCopyright() ? ", Copyright" : ", No Copyright") +
                     (h.IsOriginal() ? ", Original" : ", No Original") + ")";
    s.lblMpegParam = (info.IsVBR ? "VBR " : "") + std::to_string(h.Bitrate) + " kbps, " +
                     std::to_string(h.SampleRate) + " Hz, " + h.ChannelModeName() + " " +
                     h.ModeExtensionName() + " ";
    if (h.FrameLength != 0) {
        s.lblMpegInternal = "Frame len=" + std::to_string(h.FrameLength) + ", " +
                            std::to_string(info.FileSize / h.FrameLength) + " frames";
    }
    return s;
}

}  // namespace velmora
