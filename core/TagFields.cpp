#include "core/TagFields.h"

namespace velmora {

const std::array<TTagFieldInfo, kTagFieldCount>& TagFields() {
    static const std::array<TTagFieldInfo, kTagFieldCount> kFields = {{
        {TTagField::Artist, "edArtist", "KeepArtist", "Исполнитель:", "Сохранить исполнителя",
         "Исполнитель", fkArtist, &TFileInfoSummary::Artist},
        {TTagField::Title, "edTitle", "KeepName", "Название:", "Сохранить название", "Название",
         fkTitle, &TFileInfoSummary::Title},
        {TTagField::Genre, "edGenre", "KeepGanre", "Жанр:", "Сохранить жанр", "Жанр", fkNone,
         nullptr},
        {TTagField::Year, "edYear", "KeepYear", "Год:", "Сохранить год", "Год", fkYear,
         &TFileInfoSummary::Year},
        {TTagField::Comment, "edComment", "KeepComment", "Комментарий:", "Сохранить комментарий",
         nullptr, fkComment, &TFileInfoSummary::Comment},
        {TTagField::Album, "edAlbum", "KeepAlbum", "Альбом:", "Сохранить альбом", "Альбом", fkAlbum,
         &TFileInfoSummary::Album},
        {TTagField::Track, "edTrack", "KeepTrack", "№ трека:", "Сохранить номер трека", "№ трека",
         fkNone, nullptr},
    }};
    return kFields;
}

const TTagFieldInfo& TagFieldInfo(TTagField field) {
    return TagFields()[FieldIndex(field)];
}

}  // namespace velmora
