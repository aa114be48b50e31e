// The analysis of arbitrary bytes: it never reads out of range, its results stay in range, and
// they do not depend on where in a stream the analysed range begins.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "audio/AudioInfo.h"
#include "audio/FileInfoSummary.h"
#include "fuzz/FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    velmora::BuildID3Genres();
    velmora::TMemoryStream stream(data, size);
    velmora::TAudioInfo info;
    info.AnalyzeStream(stream, static_cast<int64_t>(size));
    const int64_t n = static_cast<int64_t>(size);
    Check(info.FirstFrameOffset >= -1 && info.FirstFrameOffset < n);
    if (info.FrameHdr.Valid)
        Check(info.FirstFrameOffset >= 0 && info.FirstFrameOffset + 4 <= n);
    Check(info.Duration >= 0 && info.Duration % 1000 == 0);
    Check(!info.ID3v1.Exists || n >= 128);
    Check(!info.IsVBR || info.FrameHdr.Valid);
    velmora::SummarizeFileInfo(info);

    // The same bytes behind a prefix and with a trailer give the same results.
    std::vector<uint8_t> padded(7, 0xFF);
    padded.insert(padded.end(), data, data + size);
    padded.insert(padded.end(), {'T', 'A', 'G'});
    velmora::TMemoryStream inner(padded);
    inner.Seek(7);
    velmora::TAudioInfo other;
    other.AnalyzeStream(inner, n);
    Check(other.FirstFrameOffset == info.FirstFrameOffset);
    Check(other.FrameHdr.Valid == info.FrameHdr.Valid);
    Check(std::memcmp(other.FrameHdr.HeaderBytes, info.FrameHdr.HeaderBytes, 4) == 0);
    Check(other.IsVBR == info.IsVBR);
    Check(other.Duration == info.Duration);
    Check(other.ID3v1.Exists == info.ID3v1.Exists);
    return 0;
}
