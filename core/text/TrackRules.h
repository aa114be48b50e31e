// The small pure rules of the track list: file sizes, playing-time sums, roundings and the values
// of spin edits.
#pragma once

#include <cstdint>
#include <string>

namespace velmora {

// A file's size (-1 for a missing file) as a signed 32-bit number: 0 when missing, -1 at 2 GiB
// or more.
int32_t TrackSize(int64_t bytes);
// Sum of two "h:m:s" texts as "H:MM:SS"; throws std::invalid_argument on a bad field.
std::string AddTime(const std::string& total, const std::string& add);
// bytes / 1024 / 1024 (or / 1024 once) rounded half to even.
int64_t RoundMegabytes(int64_t bytes);
int64_t RoundKilobytes(int64_t bytes);
// The value of a spin edit: its text as a decimal integer, fallback when it is not a number.
int32_t SpinValue(const std::string& text, int32_t fallback);
// The Russian word for `n` of a thing, by the number's last digits: `one` for 1, 21, 31 … (not
// 11), `few` for 2–4, 22–24 … (not 12–14), `many` for the rest ("1 символ", "3 символа",
// "31 символ", "11 символов"). A word after "из" or a comparative takes its genitive forms
// ("из 21 сектора", "длиннее 31 символа": Plural(n, "сектора", "секторов", "секторов")).
std::string Plural(int64_t n, const char* one, const char* few, const char* many);
// The number and its word: "31 символ".
std::string CountOf(int64_t n, const char* one, const char* few, const char* many);
// Leading "0" and ":" removed while the text is longer than four characters.
std::string StripLeadingZeros(const std::string& time);

}  // namespace velmora
