#include "audio/ID3v2Reader.h"

#include <taglib/attachedpictureframe.h>
#include <taglib/commentsframe.h>
#include <taglib/id3v2extendedheader.h>
#include <taglib/id3v2frame.h>
#include <taglib/id3v2header.h>
#include <taglib/id3v2tag.h>
#include <taglib/tbytevectorstream.h>
#include <taglib/tdebuglistener.h>
#include <taglib/textidentificationframe.h>
#include <taglib/tfile.h>

#include <cctype>
#include <cstring>
#include <utility>
#include <vector>

#include "audio/ID3Tags.h"

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

// True when the tag's body holds more than padding (any non-zero byte after the header).
bool HasFrameBytes(const uint8_t* bytes, size_t size) {
    for (size_t i = 10; i < size; ++i) {
        if (bytes[i] != 0)
            return true;
    }
    return false;
}

// The tag's bytes as a TagLib file, for TagLib's ID3v2 reader and nothing else: an MPEG file
// would also look for an ID3v1 and an APE tag at the end and make empty ones, which this program
// does not ask about.
class TTagOnlyFile : public TagLib::File {
  public:
    explicit TTagOnlyFile(TagLib::IOStream* stream) : TagLib::File(stream) {}
    TagLib::Tag* tag() const override { return nullptr; }
    TagLib::AudioProperties* audioProperties() const override { return nullptr; }
    bool save() override { return false; }
};

// Marks every compressed frame of the tag (its bytes, header included) as encrypted, so that
// TagLib keeps it as an unknown frame instead of inflating it: a frame of a few hundred kilobytes
// can inflate to gigabytes, and no field this program reads is worth that. The frames are walked
// with TagLib's own header classes, so the walk steps exactly as TagLib's parse will.
struct TFrameHeaderAccess : TagLib::ID3v2::Frame {
    using TagLib::ID3v2::Frame::Header;  // TagLib keeps the frame header class protected
};

void DisarmCompressedFrames(TagLib::ByteVector& bytes, size_t size) {
    // Reads go through a const view: a write access to shared bytes would copy them.
    const TagLib::ByteVector& tag = bytes;
    const unsigned version = static_cast<uint8_t>(tag[3]);
    if (version < 3 || size <= 10)
        return;                        // version 2.2 has no frame flags
    std::vector<unsigned> compressed;  // where their format flags are
    {
        // Views that share the tag's bytes; they are gone before the flags change.
        const TagLib::ByteVector body = tag.mid(10, static_cast<unsigned>(size - 10));
        unsigned position = 0;
        unsigned length = body.size();
        if (tag[5] & 0x40) {  // an extended header comes first
            TagLib::ID3v2::ExtendedHeader extended;
            extended.setData(body);
            if (extended.size() <= length)
                position += extended.size();
        }
        if ((tag[5] & 0x10) && length > 10)
            length -= 10;  // the footer
        const unsigned headerSize = TagLib::ID3v2::Frame::headerSize(version);
        while (length > headerSize && position < length - headerSize && body[position] != 0) {
            const TFrameHeaderAccess::Header header(body.mid(position), version);
            if (header.frameSize() == 0 || header.frameSize() > length - position)
                break;  // TagLib's parse stops here too
            if (header.compression())
                compressed.push_back(10 + position + 9);
            position += header.frameSize() + headerSize;
        }
    }
    for (unsigned at : compressed)
        bytes[at] = static_cast<char>(tag[at] | (version == 3 ? 0x40 : 0x04));
}

// A tag larger than this is read into a buffer of its own, given back right after.
constexpr size_t kKeptBufferLimit = size_t{16} << 20;

// The bytes of the tag being read, kept from one tag to the next. Opening a folder reads one tag
// after another; a fresh cover-sized buffer for each would be handed back to the system after
// every file (glibc trims the heap's top, or unmaps a large block) and faulted in again for the
// next, which cost more than reading the bytes. TagLib's ByteVector shares its bytes between
// copies and slices (mid), so TagLib's stream, its tag and its picture frames all point into this
// buffer instead of copying it; they are gone when the parse returns, and the buffer is ours alone
// again.
TagLib::ByteVector& KeptBuffer() {
    thread_local TagLib::ByteVector buffer;
    return buffer;
}

// Reads the fields of a tag whose bytes `data` holds (header included); info.Size says how long
// the tag is.
void ParseTag(const TagLib::ByteVector& data, TID3v2Info& info) {
    Quieten();
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(data.data());
    const size_t size = data.size();
    const int64_t tagSize = info.Size;
    info = TID3v2Info{};
    info.Present = size >= 10;
    info.Size = tagSize;
    if (!info.Present)
        return;
    info.Major = bytes[3];
    info.Revision = bytes[4];
    info.Damaged = true;
    if (std::memcmp(bytes, "ID3", 3) != 0 || info.Major < 2 || info.Major > 4 ||
        (bytes[5] & 0x80) != 0 || static_cast<int64_t>(size) != tagSize || tagSize <= 10)
        return;
    TagLib::ByteVectorStream stream(data);
    TTagOnlyFile file(&stream);
    TagLib::ID3v2::Tag tag(&file, 0, TagLib::ID3v2::FrameFactory::instance());
    if (tag.header()->unsynchronisation())
        return;
    // Frames TagLib cannot decode (encrypted ones, say) are left out; a tag with frames but not
    // one TagLib could read is damaged.
    if (tag.frameList().isEmpty() && HasFrameBytes(bytes, size))
        return;
    info.Damaged = false;
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
    TagLib::ByteVector& kept = KeptBuffer();
    TagLib::ByteVector own;
    TagLib::ByteVector& buffer = size <= kKeptBufferLimit ? kept : own;
    if (buffer.size() < size)
        buffer = TagLib::ByteVector(static_cast<unsigned>(size));
    // data() copies the bytes only when they are shared, and nothing shares them between tags.
    stream.ReadBuffer(buffer.data(), size);
    if (size >= 10 && (std::as_const(buffer)[5] & 0x80) == 0)
        DisarmCompressedFrames(buffer, size);
    ParseTag(buffer.mid(0, static_cast<unsigned>(size)), info);
}

}  // namespace velmora
