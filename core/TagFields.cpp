#include "core/TagFields.h"

namespace velmora {

const std::array<TTagFieldInfo, kTagFieldCount>& TagFields() {
    static const std::array<TTagFieldInfo, kTagFieldCount> kFields = {{
        {TTagField::Artist, "artist", "edArtist", "KeepArtist",
         "Исполнитель:", "Сохранить исполнителя", "Исполнитель", fkArtist,
         &TFileInfoSummary::Artist, &TID3v2Info::Artist},
        {TTagField::Title, "title", "edTitle", "KeepName", "Название:", "Сохранить название",
         "Название", fkTitle, &TFileInfoSummary::Title, &TID3v2Info::Title},
        {TTagField::Genre, "genre", "edGenre", "KeepGanre", "Жанр:", "Сохранить жанр", "Жанр",
         fkNone, nullptr, &TID3v2Info::Genre},
        {TTagField::Year, "year", "edYear", "KeepYear", "Год:", "Сохранить год", "Год", fkYear,
         &TFileInfoSummary::Year, &TID3v2Info::Year},
        {TTagField::Comment, "comment", "edComment", "KeepComment",
         "Комментарий:", "Сохранить комментарий", nullptr, fkComment, &TFileInfoSummary::Comment,
         &TID3v2Info::Comment},
        {TTagField::Album, "album", "edAlbum", "KeepAlbum", "Альбом:", "Сохранить альбом", "Альбом",
         fkAlbum, &TFileInfoSummary::Album, &TID3v2Info::Album},
        {TTagField::Track, "track", "edTrack", "KeepTrack", "№ трека:", "Сохранить номер трека",
         "№ трека", fkNone, nullptr, &TID3v2Info::Track},
    }};
    return kFields;
}

const TTagFieldInfo& TagFieldInfo(TTagField field) {
    return TagFields()[FieldIndex(field)];
}

}  // namespace velmora
