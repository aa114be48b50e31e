// What the program makes of an ID3v2 tag's texts: the Windows-1251 rule for frames marked
// Latin-1, the track number of "3/12", and the status line shown under the ID3v1 status.
#pragma once

#include <cstdint>
#include <string>

#include "audio/ID3v2Reader.h"

namespace velmora {

// True when bytes a frame calls Latin-1 are Windows-1251 Cyrillic: of its letters (a-z, A-Z and
// the bytes 0xC0-0xFF, with Ё/ё 0xA8/0xB8), at least half are 0xC0-0xFF/Ё/ё, or three of those
// stand in a row. True Latin-1 text has an accented letter here and there between plain ones
// ("Café", "Motörhead"); Russian words are runs of such bytes ("Çâåçäà" is "Звезда").
bool LooksLikeCp1251(const std::string& latin1);
// True when the bytes of an ID3v1 field are a damaged copy of the ID3v2 field's text (UTF-8), as
// today's taggers leave them when they write both tags: a character by character copy (possibly
// cut to the field's width) in which the characters outside ASCII became "?" (a tagger writing
// Latin-1 or ASCII), the low byte of their code ("П" as 0x1F, a tagger writing UTF-16 as bytes),
// or their Latin-1 byte, which reads as another letter in Windows-1251 ("Café" as "Cafй"). A
// faithful copy, and a text of the user's own, are not damaged.
bool IsDamagedCopy(const std::string& id3v1Bytes, const std::string& id3v2Text);
// The one rule of a damaged ID3v1 field, for the check, the fill and the track list: the bytes
// hold a control byte (a tagger's UTF-16 written as bytes: "П" as 0x1F), a "?" standing for a
// letter (two in a row, or one inside a word: a tagger writing ASCII), Latin-1 letters that read
// as stray Cyrillic in Windows-1251 ("Café" as "Cafй"), or a damaged copy of the ID3v2 field's
// text (IsDamagedCopy) — whether or not the ID3v2 tag has the field. "" is not damaged; a real
// question mark ("Why?", "Who? Me") and Windows-1251 Cyrillic are not either.
bool IsDamagedField(const std::string& id3v1Bytes, const std::string& id3v2Text);
// The text in UTF-8: a Latin-1 frame's bytes as Windows-1251 or Latin-1 by the rule above.
std::string DecodeID3v2Text(const TID3v2Text& text);
// The code of the genre of that name, letter case aside; -1 when no genre has it.
int32_t GenreCodeByName(const std::string& name);
// The number a track text begins with ("3/12" gives 3, "" or "x" gives 0).
int32_t TrackNumberOf(const std::string& text);
// The tag's fields, one line each: "Название: Звезда", ..., "Обложка: 48 КБ"; "" without a tag.
std::string ID3v2Fields(const TID3v2Info& info);
// "ID3v2 нет", "ID3v2.3: 6 полей, обложка", "ID3v2.4: 1 поле, картинок 2", "ID3v2.3 повреждён".
std::string ID3v2Status(const TID3v2Info& info);

}  // namespace velmora
