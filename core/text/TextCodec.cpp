#include "core/text/TextCodec.h"

#include "core/text/Collation.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace velmora {
namespace {

// Unicode code points of the bytes 0x80..0xFF.
constexpr std::array<uint16_t, 128> kHigh = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409, 0x2039,
    0x040A, 0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0, 0x040E, 0x045E, 0x0408,
    0x00A4, 0x0490, 0x00A6, 0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB,
    0x0458, 0x0405, 0x0455, 0x0457, 0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417,
    0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F, 0x0420, 0x0421, 0x0422, 0x0423,
    0x0424, 0x0425, 0x0426, 0x0427, 0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F,
    0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437, 0x0438, 0x0439, 0x043A, 0x043B,
    0x043C, 0x043D, 0x043E, 0x043F, 0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447,
    0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F};

}  // namespace

void AppendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

size_t DecodeUtf8(const std::string& text, size_t i, uint32_t& cp) {
    const auto b = [&](size_t k) { return static_cast<uint8_t>(text[k]); };
    const uint8_t c = b(i);
    size_t len;
    if (c < 0x80) {
        cp = c;
        return 1;
    } else if ((c & 0xE0) == 0xC0) {
        len = 2;
        cp = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
        len = 3;
        cp = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
        len = 4;
        cp = c & 0x07;
    } else {
        return 0;
    }
    if (i + len > text.size())
        return 0;
    for (size_t k = 1; k < len; ++k) {
        if ((b(i + k) & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (b(i + k) & 0x3F);
    }
    static constexpr uint32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kMin[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return len;
}

std::string Cp1251ToUtf8(const std::string& bytes) {
    std::string out;
    out.reserve(bytes.size() * 2);
    for (char ch : bytes) {
        const auto c = static_cast<uint8_t>(ch);
        if (c < 0x80) {
            out += ch;
        } else {
            AppendUtf8(out, kHigh[c - 0x80]);
        }
    }
    return out;
}

std::string Utf8ToCp1251(const std::string& text, bool fold) {
    std::string out;
    out.reserve(text.size());
    ForEachUtf8Char(text, [&out, fold](uint32_t cp) {
        if (cp < 0x80) {
            out += static_cast<char>(cp);
            return;
        }
        if (cp >= 0x0410 && cp <= 0x044F) {
            out += static_cast<char>(0xC0 + (cp - 0x0410));
            return;
        }
        for (size_t k = 0; k < kHigh.size(); ++k) {
            if (kHigh[k] == cp) {
                out += static_cast<char>(0x80 + k);
                return;
            }
        }
        if (cp >= kStrayByte) {
            // Not UTF-8: a legacy name's byte, which is a Windows-1251 byte already.
            out += static_cast<char>(cp - kStrayByte);
            return;
        }
        const std::string latin = fold ? LatinLetters(cp) : std::string();
        out += latin.empty() ? std::string(1, '?') : latin;
    });
    return out;
}

TUtf8Char Utf8CharAt(const std::string& text, size_t i) {
    uint32_t cp = 0;
    const size_t len = DecodeUtf8(text, i, cp);
    if (len == 0)
        return {kStrayByte + static_cast<uint8_t>(text[i]), 1};
    return {cp, len};
}

size_t Utf8CharLength(const std::string& text, size_t i) {
    uint32_t cp = 0;
    const size_t len = DecodeUtf8(text, i, cp);
    return len == 0 ? 1 : len;
}

bool HasLetterOrDigit(const std::string& text) {
    bool found = false;
    ForEachUtf8Char(text, [&](uint32_t c) {
        const bool ascii =
            (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        const bool punctuation = c < 0xC0 || c == 0xD7 || c == 0xF7 ||
                                 (c >= 0x2000 && c <= 0x2BFF) || (c >= 0x3000 && c <= 0x303F) ||
                                 (c >= 0xFE30 && c <= 0xFE6F) || (c >= 0xFF00 && c <= 0xFF0F);
        found = found || ascii || !punctuation;
    });
    return found;
}

bool AllAscii(const std::string& text) {
    for (char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    }
    return true;
}

size_t Utf8Length(const std::string& text) {
    size_t n = 0;
    for (size_t i = 0; i < text.size(); i += Utf8CharLength(text, i))
        ++n;
    return n;
}

std::string Utf8First(const std::string& text) {
    return text.empty() ? text : text.substr(0, Utf8CharLength(text, 0));
}

std::string Utf8DropLast(const std::string& text, size_t count) {
    // Characters are found from the front: only there is it clear where a stray byte stands.
    const size_t chars = Utf8Length(text);
    if (chars <= count)
        return "";
    size_t end = 0;
    for (size_t k = 0; k < chars - count; ++k)
        end += Utf8CharLength(text, end);
    return text.substr(0, end);
}

std::string EscapeForLine(const std::string& text) {
    // Most texts are printable ASCII and stay as they are.
    if (std::all_of(text.begin(), text.end(),
                    [](char c) { return c >= 0x20 && c < 0x7F && c != '\\'; }))
        return text;
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const TUtf8Char c = Utf8CharAt(text, i);
        if (c.Code == '\\') {
            out += "\\\\";
        } else if (c.Code == '\n') {
            out += "\\n";
        } else if (c.Code == '\t') {
            out += "\\t";
        } else if (c.Code >= kStrayByte || c.Code < 0x20 || c.Code == 0x7F) {
            static constexpr char kHex[] = "0123456789abcdef";
            const auto b = static_cast<unsigned char>(text[i]);
            out += "\\x";
            out += kHex[b >> 4];
            out += kHex[b & 15];
        } else {
            out.append(text, i, c.Length);
        }
        i += c.Length;
    }
    return out;
}

std::vector<std::string> MessageLines(const std::string& text) {
    std::vector<std::string> lines(1);
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
            lines.emplace_back();
        } else {
            lines.back() += text[i];
        }
    }
    return lines;
}

}  // namespace velmora
