// Analysis of one MP3 file: first frame, following-frame check, Xing header, playing time, tag.
#pragma once

#include <cstdint>
#include <string>

#include "audio/FileStream.h"
#include "audio/ID3Tags.h"
#include "audio/ID3v2Reader.h"
#include "audio/MpegFrameHdr.h"

namespace velmora {

class TAudioInfo {
  public:
    TMpegFrameHdr FrameHdr;
    int32_t FirstFrameOffset = 0;
    int64_t ID3v2Size = 0;  // bytes of a leading ID3v2 tag (header, body, footer); 0 when none
    bool IsVBR = false;
    TID3v1Tag ID3v1;
    TID3v2Info ID3v2;      // the ID3v2 tag at the start, read once with the analysis
    int32_t Duration = 0;  // milliseconds, whole seconds (at most 2147483000)
    int32_t SyncSearchLimit = 10240;
    // A setting: false leaves the ID3v2 tag's fields unread (its presence, version and size are
    // still known), for a pass that only sums playing times; ID3v2FieldsRead tells which it was.
    bool ReadID3v2Fields = true;
    bool ID3v2FieldsRead = false;
    int32_t FileSize = 0;    // -1 for a file of 2 GiB or more (it is still analysed whole)
    int32_t FileAge = 0;     // FatDateTime of the modification time
    int32_t FileAttr = 0;    // FatAttributes of the file
    TFileIdentity Identity;  // the file analysed (from LoadFromFile, or as the caller sets it)
    uint32_t Links = 1;      // how many names the file has (hard links), as the open found it
    std::string ID3v2Head;   // the first 10 bytes of the leading ID3v2 tag, "" without one
    // One frame length after the first frame there is a header of the same version, layer and
    // sample rate (false when the file ends first, or the length is 0 as in free format).
    bool NextFrameMatches = false;
    // The file begins with a RIFF header: a WAV file (or another RIFF file), whatever its name.
    bool Riff = false;

    void Clear();
    // Analyses a regular file; throws EStreamError when it cannot be opened or read.
    void LoadFromFile(const std::string& name);
    // The same on a file opened already (its path is the stream's).
    void LoadFromOpenFile(TFileStream& stream);
    // Brings the analysis up to date after this program wrote `written` as the file's ID3v1
    // tag and the file became `now`, as a new analysis would give it; false (and nothing
    // changed) where the analysis did not read the tag from the file's last 128 bytes.
    bool AfterTagWrite(const TID3v1Tag& written, const TFileIdentity& now);
    // The same over a stream that holds the whole file, with the file's modification time (Unix
    // seconds), mode bits and name.
    void LoadFromStream(TStream& stream, int64_t modificationTime, uint32_t mode,
                        const std::string& name);
    // Analyses the size bytes from the stream's position. A range that begins with an ID3v2 tag
    // is searched for the first frame from the end of that tag; offsets stay counted from the
    // start of the range.
    void AnalyzeStream(TStream& stream, int64_t size);

  private:
    void ReadLeadingID3v2(TStream& stream, int64_t start, int64_t size, int64_t tagLength);
    // The constant-bitrate playing time of `size` bytes (with the tag as read).
    void CountDuration(int64_t size);
};

// A Unix time as a local FAT date and time: date in the high 16 bits (years since 1980, month,
// day), time in the low 16 bits (hours, minutes, seconds / 2); -1 outside the years 1980..2107.
int32_t FatDateTime(int64_t unixTime);
// FAT attribute bits of a file-system entry: read-only when the owner may not write, hidden for a
// name whose last part begins with ".", directory, archive for a regular file.
int32_t FatAttributes(uint32_t mode, const std::string& name);

// FAT-style attribute bits reported in FileAttr.
enum : int32_t {
    faReadOnly = 0x01,
    faHidden = 0x02,
    faSysFile = 0x04,
    faDirectory = 0x10,
    faArchive = 0x20,
};

}  // namespace velmora
