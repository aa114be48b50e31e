#include "tools/ID3v2Writer.h"

#include <taglib/attachedpictureframe.h>
#include <taglib/commentsframe.h>
#include <taglib/id3v2tag.h>
#include <taglib/textidentificationframe.h>

namespace velmora::tools {
namespace {

TagLib::String Utf8(const std::string& text) {
    return TagLib::String(text, TagLib::String::UTF8);
}

void AddText(TagLib::ID3v2::Tag& tag, const char* id, const std::string& text) {
    if (text.empty())
        return;
    auto* frame = new TagLib::ID3v2::TextIdentificationFrame(TagLib::ByteVector(id, 4),
                                                             TagLib::String::UTF16);
    frame->setText(Utf8(text));
    tag.addFrame(frame);  // the tag owns it
}

}  // namespace

std::vector<uint8_t> RenderID3v2(const TID3v2Fields& f) {
    TagLib::ID3v2::Tag tag;
    AddText(tag, "TIT2", f.Title);
    AddText(tag, "TPE1", f.Artist);
    AddText(tag, "TALB", f.Album);
    AddText(tag, "TYER", f.Year);
    AddText(tag, "TRCK", f.Track);
    AddText(tag, "TCON", f.Genre);
    if (!f.Comment.empty()) {
        auto* comment = new TagLib::ID3v2::CommentsFrame(TagLib::String::UTF16);
        comment->setLanguage("rus");
        comment->setText(Utf8(f.Comment));
        tag.addFrame(comment);
    }
    if (!f.Picture.empty()) {
        auto* picture = new TagLib::ID3v2::AttachedPictureFrame;
        picture->setMimeType(f.PictureMime);
        picture->setType(TagLib::ID3v2::AttachedPictureFrame::FrontCover);
        picture->setPicture(TagLib::ByteVector(reinterpret_cast<const char*>(f.Picture.data()),
                                               static_cast<unsigned>(f.Picture.size())));
        tag.addFrame(picture);
    }
    const TagLib::ByteVector bytes = tag.render(TagLib::ID3v2::v3);
    return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

}  // namespace velmora::tools
