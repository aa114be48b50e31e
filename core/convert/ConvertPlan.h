// The plan of a conversion: what in a folder (its files and its folders' files, one level, as
// they go on a disc) becomes a radio-safe MP3, under which name, and where each original goes.
// Made before anything is written, by reading only: the listing and the analysis through the
// file-system layer, each source probed by the decoder and its tags read.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/convert/ConvertRules.h"
#include "core/convert/ConvertTags.h"
#include "core/files/FileSystem.h"

namespace velmora {

struct TConvertSettings {
    int Kbps = kDefaultConvertKbps;
    TAudioLimits Limits;   // what the radio plays: an MP3 outside it is converted
    int64_t MaxID3v2 = 0;  // bytes the new ID3v2 tag may take with its cover; 0: no limit
};

struct TConvertItem {
    enum class EKind {
        Source,  // a file that is not MP3: a new MP3 beside it, the file stays as it is
        Mp3,     // an MP3 the radio cannot play: converted under its own name, the original kept
    };
    EKind Kind = EKind::Source;
    std::string Source;    // full path
    std::string Target;    // full path of the new MP3 (for Mp3, Source itself)
    std::string Original;  // Mp3: the full path the original goes to
    // Why it cannot be converted ("" when it can): the reason, for the user.
    std::string Problem;
    TFileIdentity Identity;  // the source as the plan read it
    std::string From;  // what the source is: "FLAC, 44100 Гц" or "MPEG Layer II, 48000 Гц"
    int64_t DurationMs = 0;  // its playing time, 0 when not known
    int Channels = 2;        // of the new file: 1 for a mono source, else 2
    // The tags the new file gets (the cover's bytes are taken from the source again when it is
    // converted), whether the cover goes in, the ID3v1 block ("" for a source without tags), and
    // the ID3v2 tag's size.
    TCarriedTags Tags;
    bool Cover = false;
    int64_t CoverSize = 0;
    std::string ID3v1;
    int64_t ID3v2Size = 0;
};

struct TConvertPlan {
    std::string Folder;
    TConvertSettings Settings;
    // In the list's order: the folder's files, then each folder's.
    std::vector<TConvertItem> Items;
    size_t Convertible() const;  // items without a problem
};

// Plans the conversion of `folder`. `step` is called after each file looked at, with the count so
// far and the files to look at (it may let the window's events through). Throws EModuleMissing
// when the decoder cannot be loaded and there is something to convert.
TConvertPlan PlanConversion(TFileSystem& fs, const std::string& folder,
                            const TConvertSettings& settings,
                            const std::function<void(size_t, size_t)>& step = {});

// The new file as a plan sees it before it is made: its ID3v2 tag (the cover as zeros of the
// cover's size, so the tag has its true size), two silent frames of its kind at `kbps`, and its
// ID3v1 tag. What the batch's plan reads where a conversion will have put a file.
std::vector<uint8_t> PlannedFileBytes(const TConvertItem& item, int kbps);

// The new file's size as it is planned: its tags and `kbps` over the source's playing time (the
// tags only when the time is not known).
int64_t ConvertedSize(const TConvertItem& item, int kbps);

// "FLAC, 44100 Гц → MP3 192 кбит/с, 44100 Гц" and, for an MP3, "; оригинал останется как
// «Song.mp3.orig»": what the plan and the run say of an item.
std::string ConvertDetail(const TConvertItem& item, int kbps, const std::string& original);

// The source's bytes through its descriptor, for the decoder.
class TFileByteSource : public TByteSource {
  public:
    explicit TFileByteSource(int fd);
    int64_t Size() override { return FileSize; }
    int64_t ReadAt(int64_t offset, void* buffer, size_t count) override;

  private:
    int Fd;
    int64_t FileSize = 0;
};

}  // namespace velmora
