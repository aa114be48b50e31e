// Analysis of one MP3 file: first frame, following-frame check, Xing header, playing time, tag.
#pragma once

#include <cstdint>
#include <string>

#include "audio/FileStream.h"
#include "audio/ID3Tags.h"
#include "audio/MpegFrameHdr.h"

namespace velmora {

class TAudioInfo {
public:
    TMpegFrameHdr FrameHdr;
    int32_t FirstFrameOffset = 0;
    bool IsVBR = false;
    TID3v1Tag ID3v1;
    int32_t Duration = 0;  // milliseconds, whole seconds
    int32_t SyncSearchLimit = 10240;
    int32_t FileSize = 0;
    int32_t FileAge = 0;
    int32_t FileAttr = 0;

    void Clear();
    void LoadFromFile(const std::string& name);
    void AnalyzeStream(TStream& stream, int64_t size);
};

// FAT-style attribute bits reported in FileAttr.
enum : int32_t {
    faReadOnly = 0x01,
    faHidden = 0x02,
    faSysFile = 0x04,
    faDirectory = 0x10,
    faArchive = 0x20,
};

}  // namespace velmora
