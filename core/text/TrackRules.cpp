// The small pure rules of the track list: sizes, times and numbers.
#include <charconv>
#include <cstdint>
#include <stdexcept>
#include <string>

#include "core/text/TrackRules.h"

namespace velmora {
namespace {

// A decimal integer with an optional sign and nothing else; false when the text is not one or
// does not fit 32 bits.
bool ParseInt32(const std::string& text, int32_t& value) {
    const char* first = text.data();
    const char* last = first + text.size();
    if (first != last && *first == '+') {
        ++first;
        if (first != last && *first == '-')
            return false;
    }
    if (first == last)
        return false;
    const auto [ptr, ec] = std::from_chars(first, last, value);
    return ec == std::errc() && ptr == last;
}

int64_t RoundDiv(int64_t bytes, int64_t divisor) {
    // Floor division, then the remainder decides; an exact half goes to the even neighbour.
    int64_t q = bytes / divisor;
    int64_t r = bytes % divisor;
    if (r < 0) {
        --q;
        r += divisor;
    }
    if (2 * r > divisor || (2 * r == divisor && (q & 1) != 0))
        ++q;
    return q;
}

int32_t TimeField(const std::string& field) {
    int32_t value = 0;
    if (!ParseInt32(field, value)) {
        throw std::invalid_argument("'" + field + "' is not a valid integer value");
    }
    return value;
}

// Seconds of an "h:m:s" text, computed in 32 bits as the time fields are.
int64_t TimeSeconds(const std::string& text) {
    const size_t c1 = text.find(':');
    const std::string hours = text.substr(0, c1);
    const std::string rest1 = c1 == std::string::npos ? "" : text.substr(c1 + 1);
    const size_t c2 = rest1.find(':');
    const std::string minutes = rest1.substr(0, c2);
    const std::string seconds = c2 == std::string::npos ? "" : rest1.substr(c2 + 1);
    const int64_t h = TimeField(hours), m = TimeField(minutes), s = TimeField(seconds);
    const auto wrapped = static_cast<uint32_t>(static_cast<uint64_t>(h * 3600 + m * 60 + s));
    return static_cast<int32_t>(wrapped);
}

std::string TwoDigits(int64_t value) {
    std::string text = std::to_string(value);
    if (value < 10)
        text.insert(text.begin(), '0');
    return text;
}

}  // namespace

int32_t TrackSize(int64_t size) {
    if (size < 0)
        return 0;
    if (size >= (int64_t{1} << 31))
        return -1;
    return static_cast<int32_t>(size);
}

std::string AddTime(const std::string& total, const std::string& add) {
    const int64_t t = TimeSeconds(total) + TimeSeconds(add);
    const int64_t h = t / 3600;
    const int64_t r = t - h * 3600;
    const int64_t m = r / 60;
    const int64_t s = r - m * 60;
    return std::to_string(h) + ":" + TwoDigits(m) + ":" + TwoDigits(s);
}

int64_t RoundMegabytes(int64_t bytes) {
    return RoundDiv(bytes, int64_t{1} << 20);
}

int64_t RoundKilobytes(int64_t bytes) {
    return RoundDiv(bytes, 1024);
}

int32_t SpinValue(const std::string& text, int32_t fallback) {
    int32_t value = 0;
    return ParseInt32(text, value) ? value : fallback;
}

std::string StripLeadingZeros(const std::string& time) {
    size_t start = 0;
    while (time.size() - start > 4 && (time[start] == '0' || time[start] == ':'))
        ++start;
    return time.substr(start);
}

std::string Plural(int64_t n, const char* one, const char* few, const char* many) {
    const int64_t tens = (n < 0 ? -n : n) % 100, last = tens % 10;
    if (tens >= 11 && tens <= 14)
        return many;
    if (last == 1)
        return one;
    return last >= 2 && last <= 4 ? few : many;
}

std::string CountOf(int64_t n, const char* one, const char* few, const char* many) {
    return std::to_string(n) + " " + Plural(n, one, few, many);
}

}  // namespace velmora
