// The texts the window shows for the analysed file, as a pure function of a TAudioInfo.
#pragma once

#include <cstdint>
#include <string>

#include "audio/AudioInfo.h"

namespace velmora {

struct TFileInfoSummary {
    // Status line (UTF-8): "Найдены теги ID3v1.1 tag", "Найдены теги ID3v1 tag" or
    // "ID3v1 теги не найдены."
    std::string lblId3Status;
    bool HasTag = false;
    // The seven field values (raw Windows-1251 tag bytes; empty / 0 / 255 without a tag).
    std::string Title, Artist, Album, Year, Comment;
    int32_t Track = 0;
    int32_t GenreCode = 255;
    // The five MPEG lines (ASCII).
    std::string lblMpegVersion, lblDuration, lblMpegParam, lblMpegFlags, lblMpegInternal;
};

TFileInfoSummary SummarizeFileInfo(const TAudioInfo& info);

// Milliseconds as "h:nn:ss" of a time of day (whole days are dropped).
std::string DurationText(int32_t milliseconds);

}  // namespace velmora
