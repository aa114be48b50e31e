// Conversion between the program's UTF-8 text and Windows-1251 bytes (tags, table file, reports).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace velmora {

// Every byte maps to one character (0x98, unassigned, maps to U+0098), so bytes round-trip.
std::string Cp1251ToUtf8(const std::string& bytes);
// A character Windows-1251 cannot hold becomes "?"; invalid UTF-8 bytes become "?" too.
std::string Utf8ToCp1251(const std::string& text);
// Decodes the UTF-8 sequence at text[i] (i < text.size()) into cp and returns its length, or 0
// when the byte there does not begin a valid, shortest-form sequence.
size_t DecodeUtf8(const std::string& text, size_t i, uint32_t& cp);
// Number of characters of a UTF-8 text (an invalid byte counts as one).
size_t Utf8Length(const std::string& text);

}  // namespace velmora
