// Conversion between the program's UTF-8 text and Windows-1251 bytes (tags, table file, reports).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace velmora {

// Every byte maps to one character (0x98, unassigned, maps to U+0098), so bytes round-trip.
std::string Cp1251ToUtf8(const std::string& bytes);
// A character Windows-1251 cannot hold becomes its Latin letters ("é" "e", "ö" "o", "ß" "ss",
// LatinLetters in core/Collation.h), or "?" when it has none or when `fold` is false. A byte that
// is not UTF-8 (a legacy file name's) is kept as it is: it is a Windows-1251 byte already.
std::string Utf8ToCp1251(const std::string& text, bool fold = true);

// Walking UTF-8 text. File names keep their exact bytes, so text may hold bytes that are not
// UTF-8: each such byte is one character of its own, wherever it stands.

// Decodes the UTF-8 sequence at text[i] (i < text.size()) into cp and returns its length, or 0
// when the byte there does not begin a valid, shortest-form sequence of a Unicode scalar value.
size_t DecodeUtf8(const std::string& text, size_t i, uint32_t& cp);
// Bytes of the character at text[i] (i < text.size()): a valid sequence, or one stray byte.
size_t Utf8CharLength(const std::string& text, size_t i);
// A character of a text: its code point, or for a stray byte b the value kStrayByte + b, above
// every code point, so that such a byte only ever equals itself.
constexpr uint32_t kStrayByte = 0x110000;
struct TUtf8Char {
    uint32_t Code;
    size_t Length;
};
TUtf8Char Utf8CharAt(const std::string& text, size_t i);
// Calls f(code) for each character of a text, as Utf8CharAt gives it.
template <class F>
void ForEachUtf8Char(const std::string& text, F&& f) {
    for (size_t i = 0; i < text.size();) {
        const TUtf8Char c = Utf8CharAt(text, i);
        f(c.Code);
        i += c.Length;
    }
}
// True when the text holds a letter or a digit of some script: not only separators, punctuation,
// dashes, quotes and symbols. A byte that is not UTF-8 (a legacy name's letter) counts as one.
bool HasLetterOrDigit(const std::string& text);
// True when every byte of the text is ASCII.
bool AllAscii(const std::string& text);
// Number of characters of a text.
size_t Utf8Length(const std::string& text);
// The first character of a text ("" for an empty text).
std::string Utf8First(const std::string& text);
// The text without its last `count` characters; "" when it has no more than that.
std::string Utf8DropLast(const std::string& text, size_t count);
// The text on one line, for output that is read line by line: a backslash as \\, a newline as
// \n, a tab as \t, every other control character and every byte that is not UTF-8 as \xNN.
std::string EscapeForLine(const std::string& text);
// A message's lines: the window's boxes break lines at "\r" (and "\n"); a front end that prints
// lines takes them one by one. An empty message is one empty line.
std::vector<std::string> MessageLines(const std::string& text);
// Appends the UTF-8 form of a code point.
void AppendUtf8(std::string& out, uint32_t cp);

}  // namespace velmora
