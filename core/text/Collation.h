// The natural order of names in the user's locale: case-insensitive, numbers by value ("9" before
// "10"), ties broken by the bytes so that the order is total. Folder listings, the track list's
// sort and the genre box all use it.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace velmora {

class TCollator {
  public:
    // A collator for a POSIX locale name such as "ru_RU.UTF-8" (encoding and modifier are
    // ignored). "", "C", "POSIX" and "C.<anything>" give the root order, as does a name the
    // collation library does not know.
    explicit TCollator(const std::string& posixLocale);
    ~TCollator();
    TCollator(const TCollator&) = delete;
    TCollator& operator=(const TCollator&) = delete;

    // Negative, zero or positive as a sorts before, with or after b; zero only for equal bytes.
    // Texts are UTF-8; an invalid byte compares as the replacement character.
    int Compare(const std::string& a, const std::string& b) const;
    // A key whose byte order is the order of Compare: the collation key, then the name's bytes.
    // Sorting by keys made once per name is much faster than comparing names.
    std::string Key(const std::string& name) const;
    bool Less(const std::string& a, const std::string& b) const { return Compare(a, b) < 0; }
    // True when the two texts are the same but for letter case (and what ICU counts as the same
    // letter): "rock", "Rock" and "ROCK"; "исполнитель" and "Исполнитель".
    bool Equivalent(const std::string& a, const std::string& b) const;
    // The part of Key that Equivalent compares: equal for equivalent texts, so a text's
    // equivalents can be found by it in a map.
    std::string EquivalenceKey(const std::string& text) const;
    // The locale actually used ("root" for the root order).
    const std::string& LocaleName() const { return Name; }

  private:
    struct Impl;
    std::unique_ptr<Impl> P;
    std::string Name;
};

// The locale that governs collation: the first non-empty of LC_ALL, LC_COLLATE and LANG, or "".
std::string UserCollationLocale();
// The process-wide collator of the user's locale, made on first use.
const TCollator& UserCollator();

// A character's Latin letters, for a text that must go where only Windows-1251 goes: "é" gives
// "e", "ß" "ss", "Œ" "OE", "ø" "o", Greek and other scripts their Latin spelling (ICU's
// Any-Latin; Latin-ASCII). "" when there are none.
std::string LatinLetters(uint32_t code);

// The text in Unicode's composed form (NFC): a letter stored as a base and a combining mark, as
// files copied from a Mac keep them ("И" + U+0306), becomes the one letter ("Й"). Bytes that are
// not UTF-8 stay as they are.
std::string ComposedText(const std::string& text);
// True when the text holds a letter of a script other than Latin (Cyrillic, Greek, …) or a byte
// that is not UTF-8: what a name in Latin letters would have to transliterate. Accented Latin
// letters ("Café", "Motörhead") are Latin.
bool HasNonLatinLetters(const std::string& text);

// Sorts names by the collator's order (one key per name).
void SortNames(std::vector<std::string>& names, const TCollator& collator = UserCollator());

}  // namespace velmora
