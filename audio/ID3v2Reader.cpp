#include "audio/ID3v2Reader.h"

#include <taglib/attachedpictureframe.h>
#include <taglib/commentsframe.h>
#include <taglib/id3v2frame.h>
#include <taglib/id3v2tag.h>
#include <taglib/tbytevectorstream.h>
#include <taglib/tdebuglistener.h>
#include <taglib/textidentificationframe.h>
#include <taglib/tfile.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <utility>
#include <vector>

#include "audio/ID3Tags.h"
#include "audio/ID3v2Slim.h"
#include "audio/TagOnlyFile.h"

namespace velmora {
namespace {

// TagLib's complaints about broken tags would go to standard error; the status line says it.
class TQuietListener : public TagLib::DebugListener {
  public:
    void printMessage(const TagLib::String&) override {}
};

void Quieten() {
    static TQuietListener listener;
    static const bool set = [] {
        TagLib::setDebugListener(&listener);
        return true;
    }();
    (void)set;
}

// A text whose characters all lie in Latin-1 is kept as those bytes: whatever encoding its frame
// names, it may be Windows-1251 text read as Latin-1 (taggers that convert old tags to UTF-16
// carry such text along). The frame's encoding byte is not consulted: TagLib keeps an invalid one
// as it is, outside its enumeration.
TID3v2Text TextOf(const TagLib::String& text) {
    TID3v2Text result;
    result.Latin1 = text.isLatin1();
    result.Text = result.Latin1 ? text.to8Bit(false) : text.to8Bit(true);
    return result;
}

TID3v2Text FrameText(TagLib::ID3v2::Tag& tag, const char* id) {
    const TagLib::ID3v2::FrameList& frames = tag.frameListMap()[id];
    for (TagLib::ID3v2::Frame* frame : frames) {
        if (auto* text = dynamic_cast<TagLib::ID3v2::TextIdentificationFrame*>(frame)) {
            const TagLib::StringList fields = text->fieldList();
            if (!fields.isEmpty())
                return TextOf(fields.toString(" / "));
        }
    }
    return {};
}

// "(17)", "17" and "(17)Rock" name the genre of that number.
TID3v2Text GenreText(TagLib::ID3v2::Tag& tag) {
    TID3v2Text genre = FrameText(tag, "TCON");
    std::string digits;
    size_t i = genre.Text.size() > 0 && genre.Text[0] == '(' ? 1 : 0;
    while (i < genre.Text.size() && std::isdigit(static_cast<unsigned char>(genre.Text[i])))
        digits += genre.Text[i++];
    const bool numberOnly =
        !digits.empty() && digits.size() <= 3 &&
        (i == genre.Text.size() || (genre.Text[i] == ')' && genre.Text[0] == '('));
    if (numberOnly) {
        BuildID3Genres();
        const std::string name = ID3Genres().NameOf(std::stoi(digits));
        if (!name.empty())
            genre = {name, false};
    } else if (!digits.empty() && genre.Text[0] == '(' && i < genre.Text.size() &&
               genre.Text[i] == ')') {
        genre.Text = genre.Text.substr(i + 1);  // "(17)Rock": the name that follows
    }
    return genre;
}

TID3v2Text CommentText(TagLib::ID3v2::Tag& tag) {
    // The comment without a description is the one players show; else the first.
    TagLib::ID3v2::CommentsFrame* chosen = nullptr;
    for (TagLib::ID3v2::Frame* frame : tag.frameListMap()["COMM"]) {
        auto* comment = dynamic_cast<TagLib::ID3v2::CommentsFrame*>(frame);
        if (comment == nullptr)
            continue;
        if (chosen == nullptr ||
            (comment->description().isEmpty() && !chosen->description().isEmpty()))
            chosen = comment;
    }
    return chosen ? TextOf(chosen->text()) : TID3v2Text{};
}

// The frames the program reads, each kept whole up to kTextLimit (at most kSameIdLimit of one
// id), and the pictures, kept up to kPictureLimit (enough for their type and description; the
// bytes left out are counted). Every other frame is skipped unread.
constexpr size_t kTextLimit = 256 * 1024;
constexpr size_t kPictureLimit = 4096;
constexpr int kSameIdLimit = 8;
// The walk stops after this many frames: a tag of tiny frames costs no more than this.
constexpr int kWalkLimit = 1 << 18;

bool IsFrameIdChar(uint8_t c) {
    return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

bool IsPicture(const std::string& id) {
    return id == "APIC" || id == "PIC";
}

bool IsReadText(const std::string& id) {
    static const char* const kIds[] = {"TIT2", "TPE1", "TALB", "TDRC", "TYER",
                                       "TRCK", "TCON", "COMM", "TT2",  "TP1",
                                       "TAL",  "TYE",  "TRK",  "TCO",  "COM"};
    for (const char* known : kIds)
        if (id == known)
            return true;
    return false;
}

uint32_t SyncSafe(const uint8_t* p) {
    return uint32_t{p[0]} << 21 | uint32_t{p[1]} << 14 | uint32_t{p[2]} << 7 | p[3];
}
uint32_t Big32(const uint8_t* p) {
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

// What the walk over a tag's frames found: the tag again, with only the frames the program reads
// (header included), and what is known of what was left out.
struct TWalked {
    std::vector<char> Bytes;
    bool FrameFound = false;  // a frame TagLib would read (whatever it is)
    bool NotPadding = false;  // the body holds more than padding
    int64_t PictureBytesLeftOut = 0;
    std::vector<std::string> OtherTexts;
};

// Reads the tag of `size` bytes at the stream's position frame by frame, the way TagLib's parse
// steps through it, without reading what the program does not use. A compressed frame that is
// kept is marked encrypted, so that TagLib keeps it as an unknown frame instead of inflating it:
// a frame of a few hundred kilobytes can inflate to gigabytes.
void WalkFrames(TStream& stream, size_t size, TWalked& out) {
    const int64_t start = stream.Position();
    uint8_t header[10];
    stream.ReadBuffer(header, sizeof header);
    const unsigned version = header[3];
    out.Bytes.assign(header, header + 10);
    out.Bytes[5] = static_cast<char>(header[5] & ~0x50);  // no extended header, no footer
    if (version < 2 || version > 4 || (header[5] & 0x80) != 0 || size <= 10)
        return;
    const int64_t bodyStart = start + 10;
    const int64_t body = static_cast<int64_t>(size) - 10;
    const auto read = [&](int64_t at, uint8_t* to, size_t count) {
        stream.Seek(bodyStart + at);
        stream.ReadBuffer(to, count);
    };
    int64_t position = 0;
    int64_t length = body;
    if (version >= 3 && (header[5] & 0x40) != 0 && body >= 4) {
        uint8_t extended[4];
        read(0, extended, 4);
        out.NotPadding = true;
        const int64_t extendedSize = SyncSafe(extended);
        if (extendedSize <= length)
            position += extendedSize;
    }
    if ((header[5] & 0x10) != 0 && length > 10)
        length -= 10;  // the footer
    const int64_t headerSize = version == 2 ? 6 : 10;
    std::map<std::string, int> seen;
    for (int walked = 0;
         walked < kWalkLimit && length > headerSize && position < length - headerSize; ++walked) {
        uint8_t h[10] = {};
        read(position, h, static_cast<size_t>(headerSize));
        if (h[0] == 0)
            break;  // padding
        out.NotPadding = true;
        const size_t idLength = version == 2 ? 3 : 4;
        std::string id(reinterpret_cast<const char*>(h), idLength);
        if (!std::all_of(id.begin(), id.end(), [](char c) { return IsFrameIdChar(c); }))
            break;
        int64_t frameSize = version == 2   ? (int64_t{h[3]} << 16 | int64_t{h[4]} << 8 | h[5])
                            : version == 3 ? Big32(h + 4)
                                           : SyncSafe(h + 4);
        if (version == 4 && frameSize > 127) {
            // iTunes writes version 2.3 sizes into 2.4 tags; TagLib takes the plain size when
            // a frame follows it and none follows the sync-safe one.
            const auto idAt = [&](int64_t at) {
                uint8_t next[4];
                if (at < 0 || at + 4 > body)
                    return false;
                read(at, next, 4);
                return std::all_of(next, next + 4, IsFrameIdChar);
            };
            if (!idAt(position + frameSize + 10) && idAt(position + Big32(h + 4) + 10))
                frameSize = Big32(h + 4);
        }
        const bool lengthIndicator = version == 4 && (h[9] & 0x01) != 0;
        if (frameSize <= (lengthIndicator ? 4 : 0) || frameSize > body - position)
            break;  // TagLib's parse stops here too
        out.FrameFound = true;
        const bool picture = IsPicture(id);
        const bool text = IsReadText(id) && ++seen[id] <= kSameIdLimit;
        const bool comment = id == "COMM" || id == "COM";
        // A text frame TagLib is not given to read (compressed or encrypted) is a text too.
        const bool unread =
            version >= 3 && (version == 3 ? (h[9] & 0xC0) != 0 : (h[9] & 0x0C) != 0);
        if (IsSlimTextFrame(id) && (!IsReadText(id) || (comment && seen[id] > 1) || unread) &&
            std::find(out.OtherTexts.begin(), out.OtherTexts.end(), id) == out.OtherTexts.end())
            out.OtherTexts.push_back(id);
        if (picture || text) {
            // TagLib lets a frame run up to a header's length past the tag and cuts it there.
            const int64_t there = std::min<int64_t>(frameSize, body - position - headerSize);
            const int64_t kept = std::min<int64_t>(
                there, static_cast<int64_t>(picture ? kPictureLimit : kTextLimit));
            const bool compressed = version == 3 ? (h[9] & 0x80) != 0 : (h[9] & 0x08) != 0;
            const bool encrypted = version == 3 ? (h[9] & 0x40) != 0 : (h[9] & 0x04) != 0;
            if (version >= 3 && compressed)
                h[9] |= version == 3 ? 0x40 : 0x04;
            if (picture && !compressed && !encrypted)
                out.PictureBytesLeftOut += there - kept;
            // The size field says what is kept.
            const auto k = static_cast<uint32_t>(kept);
            if (version == 2) {
                h[3] = static_cast<uint8_t>(k >> 16);
                h[4] = static_cast<uint8_t>(k >> 8);
                h[5] = static_cast<uint8_t>(k);
            } else if (version == 3) {
                for (int i = 0; i < 4; ++i)
                    h[4 + i] = static_cast<uint8_t>(k >> (24 - 8 * i));
            } else {
                for (int i = 0; i < 4; ++i)
                    h[4 + i] = static_cast<uint8_t>((k >> (21 - 7 * i)) & 0x7F);
            }
            const size_t at = out.Bytes.size();
            out.Bytes.insert(out.Bytes.end(), h, h + headerSize);
            out.Bytes.resize(at + static_cast<size_t>(headerSize + kept));
            read(position + headerSize,
                 reinterpret_cast<uint8_t*>(out.Bytes.data() + at + headerSize),
                 static_cast<size_t>(kept));
        }
        position += frameSize + headerSize;
    }
    if (!out.FrameFound && !out.NotPadding) {
        // No frame at all: the body must be padding (zeros) alone, or the tag is damaged.
        std::vector<uint8_t> chunk(static_cast<size_t>(std::min<int64_t>(body, 65536)));
        for (int64_t at = 0; at < body && !out.NotPadding;) {
            const size_t count = static_cast<size_t>(std::min<int64_t>(body - at, 65536));
            read(at, chunk.data(), count);
            out.NotPadding = std::any_of(chunk.begin(), chunk.begin() + static_cast<long>(count),
                                         [](uint8_t b) { return b != 0; });
            at += static_cast<int64_t>(count);
        }
    }
    // The kept body's size, sync-safe, and a little padding after it.
    out.Bytes.resize(out.Bytes.size() + 16, 0);
    const auto kept = static_cast<uint32_t>(out.Bytes.size() - 10);
    for (int i = 0; i < 4; ++i)
        out.Bytes[6 + static_cast<size_t>(i)] = static_cast<char>((kept >> (21 - 7 * i)) & 0x7F);
}

// Reads the fields of the kept frames; info.Size says how long the whole tag is.
void ParseTag(const TWalked& walked, TID3v2Info& info) {
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(walked.Bytes.data());
    const int64_t tagSize = info.Size;
    info = TID3v2Info{};
    info.Present = walked.Bytes.size() >= 10;
    info.Size = tagSize;
    if (!info.Present)
        return;
    info.Major = bytes[3];
    info.Revision = bytes[4];
    info.Damaged = true;
    if (std::memcmp(bytes, "ID3", 3) != 0 || info.Major < 2 || info.Major > 4 ||
        (bytes[5] & 0x80) != 0 || tagSize <= 10)
        return;
    // A tag with frame bytes but not one frame TagLib could read is damaged.
    if (!walked.FrameFound && walked.NotPadding)
        return;
    info.Damaged = false;
    TagLib::ByteVector data(walked.Bytes.data(), static_cast<unsigned>(walked.Bytes.size()));
    TagLib::ByteVectorStream stream(data);
    TTagOnlyFile file(&stream);
    TagLib::ID3v2::Tag tag(&file, 0, TagLib::ID3v2::FrameFactory::instance());
    info.Title = FrameText(tag, "TIT2");
    info.Artist = FrameText(tag, "TPE1");
    info.Album = FrameText(tag, "TALB");
    info.Year = FrameText(tag, "TDRC");
    if (info.Year.Empty())
        info.Year = FrameText(tag, "TYER");  // a 2.3 year TagLib leaves as it is
    info.Track = FrameText(tag, "TRCK");
    info.Genre = GenreText(tag);
    info.Comment = CommentText(tag);
    for (TagLib::ID3v2::Frame* frame : tag.frameListMap()["APIC"]) {
        if (auto* picture = dynamic_cast<TagLib::ID3v2::AttachedPictureFrame*>(frame)) {
            ++info.Pictures;
            info.PictureBytes += picture->picture().size();
        }
    }
    info.PictureBytes += walked.PictureBytesLeftOut;
    info.OtherTexts = walked.OtherTexts;
}

}  // namespace

std::string TID3v2Info::Version() const {
    return Present ? "2." + std::to_string(Major) + "." + std::to_string(Revision) : "";
}

int TID3v2Info::FieldCount() const {
    int n = 0;
    for (const TID3v2Text* t : {&Title, &Artist, &Album, &Year, &Track, &Genre, &Comment})
        n += t->Empty() ? 0 : 1;
    return n;
}

void ReadID3v2(TStream& stream, size_t size, TID3v2Info& info) {
    // Before anything of TagLib runs: its complaints about broken tags go nowhere.
    Quieten();
    TWalked walked;
    if (size >= 10)
        WalkFrames(stream, size, walked);
    ParseTag(walked, info);
}

}  // namespace velmora
