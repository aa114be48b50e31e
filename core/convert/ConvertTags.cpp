#include "core/convert/ConvertTags.h"

#include <taglib/aifffile.h>
#include <taglib/apefile.h>
#include <taglib/asffile.h>
#include <taglib/attachedpictureframe.h>
#include <taglib/commentsframe.h>
#include <taglib/flacfile.h>
#include <taglib/id3v2framefactory.h>
#include <taglib/id3v2tag.h>
#include <taglib/mp4file.h>
#include <taglib/mpcfile.h>
#include <taglib/mpegfile.h>
#include <taglib/oggflacfile.h>
#include <taglib/opusfile.h>
#include <taglib/speexfile.h>
#include <taglib/tdebuglistener.h>
#include <taglib/textidentificationframe.h>
#include <taglib/tfilestream.h>
#include <taglib/tpropertymap.h>
#include <taglib/trueaudiofile.h>
#include <taglib/unsynchronizedlyricsframe.h>
#include <taglib/vorbisfile.h>
#include <taglib/wavfile.h>
#include <taglib/wavpackfile.h>
#include <unistd.h>

#include <memory>

#include "audio/ID3Tags.h"
#include "core/tags/ID3v2Text.h"
#include "core/text/TextCodec.h"

namespace velmora {
namespace {

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

// TagLib's reader of the container FFmpeg found; null where TagLib has none.
std::unique_ptr<TagLib::File> TagLibFile(TagLib::IOStream* stream, const TSourceFacts& facts) {
    const std::string& c = facts.Container;
    TagLib::ID3v2::FrameFactory* frames = TagLib::ID3v2::FrameFactory::instance();
    if (c == "flac")
        return std::make_unique<TagLib::FLAC::File>(stream, frames, false);
    if (c == "ogg" && facts.Codec == "vorbis")
        return std::make_unique<TagLib::Ogg::Vorbis::File>(stream, false);
    if (c == "ogg" && facts.Codec == "opus")
        return std::make_unique<TagLib::Ogg::Opus::File>(stream, false);
    if (c == "ogg" && facts.Codec == "flac")
        return std::make_unique<TagLib::Ogg::FLAC::File>(stream, false);
    if (c == "ogg" && facts.Codec == "speex")
        return std::make_unique<TagLib::Ogg::Speex::File>(stream, false);
    if (c.rfind("mov,", 0) == 0)
        return std::make_unique<TagLib::MP4::File>(stream, false);
    if (c == "wav")
        return std::make_unique<TagLib::RIFF::WAV::File>(stream, false);
    if (c == "aiff")
        return std::make_unique<TagLib::RIFF::AIFF::File>(stream, false);
    if (c == "asf")
        return std::make_unique<TagLib::ASF::File>(stream, false);
    if (c == "ape")
        return std::make_unique<TagLib::APE::File>(stream, false);
    if (c == "wv")
        return std::make_unique<TagLib::WavPack::File>(stream, false);
    if (c == "mpc" || c == "mpc8")
        return std::make_unique<TagLib::MPC::File>(stream, false);
    if (c == "tta")
        return std::make_unique<TagLib::TrueAudio::File>(stream, false);
    if (c == "mp3")
        return std::make_unique<TagLib::MPEG::File>(stream, frames, false);
    return nullptr;
}

void Fill(std::string& field, const std::string& value) {
    if (field.empty())
        field = value;
}

void FillFrom(const TagLib::PropertyMap& map, TCarriedTags& tags) {
    const auto value = [&map](const char* key) {
        const auto it = map.find(key);
        return it == map.end() || it->second.isEmpty() ? std::string()
                                                       : it->second.toString(" / ").to8Bit(true);
    };
    Fill(tags.Title, value("TITLE"));
    Fill(tags.Artist, value("ARTIST"));
    Fill(tags.Album, value("ALBUM"));
    Fill(tags.Year, value("DATE"));
    Fill(tags.Track, value("TRACKNUMBER"));
    Fill(tags.Genre, value("GENRE"));
    Fill(tags.Comment, value("COMMENT"));
    Fill(tags.Lyrics, value("LYRICS"));
}

void FillFrom(const TSourceFacts& facts, TCarriedTags& tags) {
    for (const auto& [key, value] : facts.Metadata) {
        if (key == "title")
            Fill(tags.Title, value);
        else if (key == "artist")
            Fill(tags.Artist, value);
        else if (key == "album")
            Fill(tags.Album, value);
        else if (key == "date" || key == "year")
            Fill(tags.Year, value);
        else if (key == "track" || key == "tracknumber")
            Fill(tags.Track, value);
        else if (key == "genre")
            Fill(tags.Genre, value);
        else if (key == "comment" || key == "description")
            Fill(tags.Comment, value);
        else if (key == "lyrics" || key == "unsyncedlyrics" || key.rfind("lyrics-", 0) == 0)
            Fill(tags.Lyrics, value);
    }
}

TagLib::String Text(const std::string& utf8) {
    return TagLib::String(utf8, TagLib::String::UTF8);
}

TagLib::String::Type EncodingFor(const std::string& utf8) {
    return AllAscii(utf8) ? TagLib::String::Latin1 : TagLib::String::UTF16;
}

void AddText(TagLib::ID3v2::Tag& tag, const char* id, const std::string& value) {
    if (value.empty())
        return;
    auto* frame = new TagLib::ID3v2::TextIdentificationFrame(id, EncodingFor(value));
    frame->setText(Text(value));
    tag.addFrame(frame);
}

TagLib::ByteVector Render(const TCarriedTags& tags, bool cover) {
    TagLib::ID3v2::Tag tag;
    AddText(tag, "TIT2", tags.Title);
    AddText(tag, "TPE1", tags.Artist);
    AddText(tag, "TALB", tags.Album);
    AddText(tag, "TDRC", tags.Year);
    AddText(tag, "TRCK", tags.Track);
    AddText(tag, "TCON", tags.Genre);
    if (!tags.Comment.empty()) {
        auto* frame = new TagLib::ID3v2::CommentsFrame(EncodingFor(tags.Comment));
        frame->setLanguage("eng");
        frame->setText(Text(tags.Comment));
        tag.addFrame(frame);
    }
    if (!tags.Lyrics.empty()) {
        auto* frame = new TagLib::ID3v2::UnsynchronizedLyricsFrame(EncodingFor(tags.Lyrics));
        frame->setLanguage("eng");
        frame->setText(Text(tags.Lyrics));
        tag.addFrame(frame);
    }
    if (cover && !tags.Cover.empty()) {
        auto* frame = new TagLib::ID3v2::AttachedPictureFrame;
        frame->setMimeType(tags.CoverMime.empty() ? "image/jpeg" : tags.CoverMime);
        frame->setType(TagLib::ID3v2::AttachedPictureFrame::FrontCover);
        frame->setPicture(
            TagLib::ByteVector(tags.Cover.data(), static_cast<unsigned>(tags.Cover.size())));
        tag.addFrame(frame);
    }
    if (tag.isEmpty())
        return {};
    return tag.render(TagLib::ID3v2::v3);
}

}  // namespace

TCarriedTags TagsOfMp3(const TAudioInfo& info) {
    TCarriedTags tags;
    const TID3v2Info& v2 = info.ID3v2;
    const TID3v1Tag& v1 = info.ID3v1;
    const auto pick = [&](const TID3v2Text& text, const std::string& v1Bytes) {
        if (!v2.Damaged && !text.Empty())
            return DecodeID3v2Text(text);
        return v1.Exists ? Cp1251ToUtf8(v1Bytes) : std::string();
    };
    tags.Title = pick(v2.Title, v1.Title);
    tags.Artist = pick(v2.Artist, v1.Artist);
    tags.Album = pick(v2.Album, v1.Album);
    tags.Year = pick(v2.Year, v1.Year);
    tags.Comment = pick(v2.Comment, v1.Comment);
    tags.Track = pick(v2.Track, v1.Exists && v1.Track > 0 ? std::to_string(v1.Track) : "");
    if (!v2.Damaged && !v2.Genre.Empty()) {
        tags.Genre = DecodeID3v2Text(v2.Genre);
    } else if (v1.Exists) {
        BuildID3Genres();
        tags.Genre = ID3Genres().NameOf(v1.GenreCode);
    }
    return tags;
}

void ReadSourceTags(int fd, const TSourceFacts& facts, TCarriedTags& tags) {
    Quieten();
    const int copy = ::dup(fd);
    if (copy >= 0) {
        // TagLib's stream closes the copy of the descriptor it is given.
        TagLib::FileStream stream(copy, true);
        if (stream.isOpen()) {
            const std::unique_ptr<TagLib::File> file = TagLibFile(&stream, facts);
            if (file && file->isValid())
                FillFrom(file->properties(), tags);
        }
    }
    FillFrom(facts, tags);
    if (tags.Cover.empty()) {
        tags.Cover = facts.Cover;
        tags.CoverMime = facts.CoverMime;
    }
}

std::string RenderID3v2(const TCarriedTags& tags, int64_t limit) {
    Quieten();
    TagLib::ByteVector bytes = Render(tags, true);
    if (limit > 0 && static_cast<int64_t>(bytes.size()) > limit && !tags.Cover.empty())
        bytes = Render(tags, false);
    return std::string(bytes.data(), bytes.size());
}

TID3v1Tag ID3v1Of(const TCarriedTags& tags) {
    TID3v1Tag tag;
    tag.Exists = true;
    tag.SetField(fkTitle, Utf8ToCp1251(tags.Title));
    tag.SetField(fkArtist, Utf8ToCp1251(tags.Artist));
    tag.SetField(fkAlbum, Utf8ToCp1251(tags.Album));
    tag.SetField(fkYear, Utf8ToCp1251(tags.Year));
    tag.SetField(fkComment, Utf8ToCp1251(tags.Comment));
    tag.SetTrack(TrackNumberOf(tags.Track));
    const int32_t genre = tags.Genre.empty() ? -1 : GenreCodeByName(tags.Genre);
    tag.SetGenre(genre < 0 ? 255 : genre);
    return tag;
}

}  // namespace velmora
