#include "core/tags/StripRule.h"

#include <algorithm>

#include "core/tags/ID3v2Text.h"
#include "core/text/TextCodec.h"

namespace velmora {
namespace {

// The word for a text frame beyond the seven fields (ids of 2.3/2.4, then of 2.2).
std::string FrameWord(const std::string& id) {
    static const std::pair<const char*, const char*> kWords[] = {{"USLT", "текст песни"},
                                                                 {"ULT", "текст песни"},
                                                                 {"TCOM", "композитор"},
                                                                 {"TCM", "композитор"},
                                                                 {"TEXT", "автор слов"},
                                                                 {"TXT", "автор слов"},
                                                                 {"COMM", "ещё комментарий"},
                                                                 {"COM", "ещё комментарий"},
                                                                 {"TPE2", "исполнитель альбома"},
                                                                 {"TP2", "исполнитель альбома"},
                                                                 {"TPOS", "номер диска"},
                                                                 {"TPA", "номер диска"},
                                                                 {"TXXX", "свои поля"},
                                                                 {"TXX", "свои поля"},
                                                                 {"TCOP", "авторское право"},
                                                                 {"TCR", "авторское право"},
                                                                 {"TSSE", "настройки кодировщика"},
                                                                 {"TSS", "настройки кодировщика"},
                                                                 {"TENC", "кто закодировал"},
                                                                 {"TEN", "кто закодировал"}};
    for (const auto& [known, word] : kWords)
        if (id == known)
            return word;
    return (id[0] == 'W' ? "ссылка " : "поле ") + id;
}

// The bytes an ID3v1 field has room for.
size_t Width(TTagField field, const TID3v1Tag& v1) {
    if (field == TTagField::Year)
        return 4;
    if (field == TTagField::Comment)
        return v1.Track != 0 ? 28 : 30;
    return 30;
}

}  // namespace

std::vector<std::string> TextsOnlyInID3v2(const TID3v2Info& v2, const TID3v1Tag& v1,
                                          const std::vector<TTagField>& cut) {
    std::vector<std::string> lost;
    if (!v2.Present || v2.Damaged)
        return lost;
    for (const TTagFieldInfo& field : TagFields()) {
        const TID3v2Text& value = v2.*field.ID3v2Text;
        if (value.Empty())
            continue;
        const std::string text = DecodeID3v2Text(value);
        bool held = v1.Exists;
        if (held && field.Field == TTagField::Track) {
            held = v1.Track != 0 && v1.Track == TrackNumberOf(text);
        } else if (held && field.Field == TTagField::Genre) {
            const int32_t code = GenreCodeByName(text);
            held = code >= 0 && v1.GenreCode == code;
        } else if (held) {
            const std::string& bytes = v1.*field.V1Text;
            const bool full = bytes.size() >= Width(field.Field, v1) && bytes != Utf8ToCp1251(text);
            held = !bytes.empty() && !IsDamagedField(bytes, text) && !full &&
                   std::find(cut.begin(), cut.end(), field.Field) == cut.end();
        }
        if (!held)
            lost.push_back(field.Noun);
    }
    for (const std::string& id : v2.OtherTexts) {
        const std::string word = FrameWord(id);
        if (std::find(lost.begin(), lost.end(), word) == lost.end())
            lost.push_back(word);
    }
    return lost;
}

std::string JoinWords(const std::vector<std::string>& words) {
    std::string joined;
    for (const std::string& word : words)
        joined += (joined.empty() ? "" : ", ") + word;
    return joined;
}

}  // namespace velmora
