// The seven tag fields of the editor, each with its edit, its Keep box, its caption and its place
// in the tag, in the order the file information fills the edits. Everything that walks the fields
// (showing, clearing, applying the edits, the Keep rule, the tag list report, the window) loops
// over this table; the few rules that take the fields in another order name that order below.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <vector>

#include "audio/FileInfoSummary.h"
#include "audio/ID3Tags.h"

namespace velmora {

enum class TTagField { Artist, Title, Genre, Year, Comment, Album, Track };

struct TTagFieldInfo {
    TTagField Field;
    const char* Key;       // the command line's name of the field ("title", "artist", ...)
    const char* Edit;      // the edit's control name
    const char* Keep;      // its Keep box
    const char* Caption;   // the caption beside the edit
    const char* KeepHint;  // the Keep box's hint
    // The field's name in the tag list report, nullptr when the report has none.
    const char* ReportName;
    // A text field's kind for TID3v1Tag::SetField and its text in the file information;
    // fkNone and nullptr for the genre and the track number, which are numbers.
    TID3Field TextKind;
    std::string TFileInfoSummary::*ShownText;
    TID3v2Text TID3v2Info::*ID3v2Text;  // the same field of an ID3v2 tag
    std::string TID3v1Tag::*V1Text;     // its bytes in the ID3v1 tag; nullptr for the numbers
    const char* Noun;  // the field in a sentence: "название", "№ трека"
};

constexpr size_t kTagFieldCount = 7;

// The fields in the order the file information fills the edits, which is also the order the edits
// are stored into the tag.
const std::array<TTagFieldInfo, kTagFieldCount>& TagFields();
const TTagFieldInfo& TagFieldInfo(TTagField field);
inline size_t FieldIndex(TTagField field) {
    return static_cast<size_t>(field);
}

// The fields as nouns joined by ", ": "название, исполнитель".
std::string FieldNouns(const std::vector<TTagField>& fields);

// The rows of the editor from top to bottom; the batch turns the Keep boxes off in this order.
constexpr std::array<TTagField, kTagFieldCount> kEditorRowOrder = {
    TTagField::Title, TTagField::Artist, TTagField::Album,  TTagField::Year,
    TTagField::Track, TTagField::Genre,  TTagField::Comment};
// Clearing the list empties these in this order; the genre box keeps its selection.
constexpr std::array<TTagField, 6> kClearListOrder = {TTagField::Title, TTagField::Artist,
                                                      TTagField::Album, TTagField::Year,
                                                      TTagField::Track, TTagField::Comment};
// Transliteration changes these text fields, in this order.
constexpr std::array<TTagField, 4> kTranslitOrder = {TTagField::Title, TTagField::Artist,
                                                     TTagField::Album, TTagField::Comment};

}  // namespace velmora
