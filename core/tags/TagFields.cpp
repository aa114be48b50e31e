#include "core/tags/TagFields.h"

namespace velmora {

const std::array<TTagFieldInfo, kTagFieldCount>& TagFields() {
    static const std::array<TTagFieldInfo, kTagFieldCount> kFields = {{
        {TTagField::Artist, "artist", "edArtist", "KeepArtist",
         "Исполнитель:", "Сохранить исполнителя", "Исполнитель", fkArtist,
         &TFileInfoSummary::Artist, &TID3v2Info::Artist, &TID3v1Tag::Artist, "исполнитель"},
        {TTagField::Title, "title", "edTitle", "KeepName", "Название:", "Сохранить название",
         "Название", fkTitle, &TFileInfoSummary::Title, &TID3v2Info::Title, &TID3v1Tag::Title,
         "название"},
        {TTagField::Genre, "genre", "edGenre", "KeepGanre", "Жанр:", "Сохранить жанр", "Жанр",
         fkNone, nullptr, &TID3v2Info::Genre, nullptr, "жанр"},
        {TTagField::Year, "year", "edYear", "KeepYear", "Год:", "Сохранить год", "Год", fkYear,
         &TFileInfoSummary::Year, &TID3v2Info::Year, &TID3v1Tag::Year, "год"},
        {TTagField::Comment, "comment", "edComment", "KeepComment",
         "Комментарий:", "Сохранить комментарий", nullptr, fkComment, &TFileInfoSummary::Comment,
         &TID3v2Info::Comment, &TID3v1Tag::Comment, "комментарий"},
        {TTagField::Album, "album", "edAlbum", "KeepAlbum", "Альбом:", "Сохранить альбом", "Альбом",
         fkAlbum, &TFileInfoSummary::Album, &TID3v2Info::Album, &TID3v1Tag::Album, "альбом"},
        {TTagField::Track, "track", "edTrack", "KeepTrack", "№ трека:", "Сохранить номер трека",
         "№ трека", fkNone, nullptr, &TID3v2Info::Track, nullptr, "№ трека"},
    }};
    return kFields;
}

std::string FieldNouns(const std::vector<TTagField>& fields) {
    std::string nouns;
    for (TTagField field : fields)
        nouns += (nouns.empty() ? "" : ", ") + std::string(TagFieldInfo(field).Noun);
    return nouns;
}

const TTagFieldInfo& TagFieldInfo(TTagField field) {
    return TagFields()[FieldIndex(field)];
}

}  // namespace velmora
