#include "audio/ID3v2Slim.h"

#include <taglib/id3v2tag.h>
#include <taglib/tbytevectorstream.h>
#include <taglib/tfile.h>
#include <taglib/tpropertymap.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "audio/TagOnlyFile.h"

namespace velmora {
namespace {

uint32_t SyncSafe(const uint8_t* p) {
    return uint32_t{p[0]} << 21 | uint32_t{p[1]} << 14 | uint32_t{p[2]} << 7 | p[3];
}
uint32_t Big32(const uint8_t* p) {
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

std::string Header(int major, uint32_t size) {
    std::string h = {'I', 'D', '3', static_cast<char>(major), 0, 0};
    for (int i = 0; i < 4; ++i)
        h += static_cast<char>((size >> (21 - 7 * i)) & 0x7F);
    return h;
}

// What TagLib reads of the tag's texts, one property a key.
struct TParsed {
    TagLib::PropertyMap Texts;
    size_t Frames = 0;
};

TParsed Parse(const std::string& bytes, TagLib::ByteVector* renderAs = nullptr, int major = 3) {
    TagLib::ByteVector data(bytes.data(), static_cast<unsigned>(bytes.size()));
    TagLib::ByteVectorStream stream(data);
    TTagOnlyFile file(&stream);
    TagLib::ID3v2::Tag tag(&file, 0, TagLib::ID3v2::FrameFactory::instance());
    if (renderAs != nullptr)
        *renderAs = tag.render(major == 4 ? TagLib::ID3v2::v4 : TagLib::ID3v2::v3);
    return {tag.properties(), tag.frameList().size()};
}

// The rendered tag without its padding, under a header of ours (no flags).
std::string WithoutPadding(const TagLib::ByteVector& rendered, int major) {
    const auto* p = reinterpret_cast<const uint8_t*>(rendered.data());
    const size_t size = rendered.size();
    size_t at = 10;
    while (at + 10 <= size && p[at] != 0) {
        const uint32_t n = major == 4 ? SyncSafe(p + at + 4) : Big32(p + at + 4);
        if (n > size - at - 10)
            break;
        at += 10 + n;
    }
    return Header(major, static_cast<uint32_t>(at - 10)) +
           std::string(rendered.data() + 10, rendered.data() + at);
}

}  // namespace

bool IsSlimTextFrame(const std::string& id) {
    if (id.empty())
        return false;
    // IPLS (IPL in 2.2): the involved people of 2.3, text that 2.4 keeps in TIPL.
    return id[0] == 'T' || id[0] == 'W' || id == "COMM" || id == "COM" || id == "USLT" ||
           id == "ULT" || id == "IPLS" || id == "IPL";
}

TSlimID3v2 SlimID3v2(const std::string& tag) {
    const auto* t = reinterpret_cast<const uint8_t*>(tag.data());
    if (tag.size() < 10 || std::memcmp(t, "ID3", 3) != 0 || t[3] < 2 || t[3] > 4)
        return {"", "тег ID3v2 не прочитан"};
    const int major = t[3];
    if ((t[5] & 0x80) != 0)
        return {"", "тег ID3v2 записан целиком в несинхронизированном виде"};
    const size_t end = std::min<size_t>(tag.size(), 10 + SyncSafe(t + 6));
    size_t at = 10;
    if (major >= 3 && (t[5] & 0x40) != 0 && end >= 14) {
        const uint32_t extended = major == 4 ? SyncSafe(t + 10) : Big32(t + 10) + 4;
        at += extended;
    }
    // The text frames, whole, one after another under a header without flags.
    const size_t headerSize = major == 2 ? 6 : 10;
    const size_t idSize = major == 2 ? 3 : 4;
    std::string kept;
    size_t frames = 0;
    while (at + headerSize <= end && t[at] != 0) {
        const std::string id(tag.data() + at, idSize);
        const uint8_t* h = t + at;
        size_t n = major == 2   ? (size_t{h[3]} << 16 | size_t{h[4]} << 8 | h[5])
                   : major == 3 ? Big32(h + 4)
                                : SyncSafe(h + 4);
        if (major == 4 && n > 127) {
            // iTunes writes version 2.3 sizes into 2.4 tags: the plain size is taken when what
            // follows it fits and what follows the sync-safe one does not.
            const auto idAt = [&](size_t pos) {
                return pos + 4 <= end && std::all_of(t + pos, t + pos + 4, [](uint8_t c) {
                           return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
                       });
            };
            // A frame, padding or the tag's end must follow.
            const auto fits = [&](size_t pos) {
                return pos == end || (pos < end && t[pos] == 0) || idAt(pos);
            };
            if (!fits(at + 10 + n) && fits(at + 10 + Big32(h + 4)))
                n = Big32(h + 4);
        }
        if (n > end - at - headerSize)
            return {"", "кадр " + id + " выходит за конец тега"};
        if (IsSlimTextFrame(id)) {
            const bool packed = major == 3   ? (h[9] & 0xC0) != 0
                                : major == 4 ? (h[9] & 0x0E) != 0
                                             : false;
            if (packed)
                return {"", "кадр " + id + " сжат, зашифрован или несинхронизирован"};
            kept.append(tag, at, headerSize + n);
            ++frames;
        }
        at += headerSize + n;
    }
    // What follows the frames is padding, zeros to the end: frames read past a zero byte would
    // be lost to the slim form.
    if (at < end && std::any_of(t + at, t + end, [](uint8_t c) { return c != 0; }))
        return {"", "за кадрами тега ID3v2 ещё есть данные"};
    // No text frame to keep: a tag of nothing is no slim form (the strip is what fits then).
    if (frames == 0)
        return {"", "в теге нет кадров текста"};
    const std::string filtered = Header(major, static_cast<uint32_t>(kept.size())) + kept;
    // The new tag holds the texts TagLib reads from the old one: in 2.3 where it can, in 2.4
    // (the old tag's own version) where 2.3 has no frame for one of them.
    TagLib::ByteVector rendered;
    const TParsed before = Parse(filtered, &rendered, 3);
    if (frames > 0 && before.Frames == 0)
        return {"", "тексты тега не прочитаны"};
    std::string slim = WithoutPadding(rendered, 3);
    TParsed after = Parse(slim);
    if (!(after.Texts == before.Texts)) {
        if (major != 4)
            return {"", "тексты тега не переносятся в ID3v2.3 без потерь"};
        Parse(filtered, &rendered, 4);
        slim = WithoutPadding(rendered, 4);
        after = Parse(slim);
        if (!(after.Texts == before.Texts))
            return {"", "тексты тега не переносятся без потерь"};
    }
    return {slim, ""};
}

}  // namespace velmora
