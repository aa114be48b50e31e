#include "core/tags/NameTags.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include "core/text/TextCodec.h"

namespace velmora {
namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Underscores as spaces, runs of spaces as one, none at the ends.
std::string Tidy(const std::string& text) {
    std::string out;
    for (char c : text) {
        const char d = c == '_' ? ' ' : c;
        if (d == ' ' && (out.empty() || out.back() == ' '))
            continue;
        out += d;
    }
    while (!out.empty() && out.back() == ' ')
        out.pop_back();
    return out;
}

// "07" and "7" are track numbers; a year or a longer number is not.
bool IsTrackNumber(const std::string& text) {
    return !text.empty() && text.size() <= 3 && std::all_of(text.begin(), text.end(), IsDigit);
}

std::string TrackText(const std::string& digits) {
    const size_t first = digits.find_first_not_of('0');
    return first == std::string::npos ? "0" : digits.substr(first);
}

std::optional<TNameTags> Checked(TNameTags tags) {
    for (std::string* field : {&tags.Track, &tags.Artist, &tags.Title, &tags.Album, &tags.Year}) {
        *field = Tidy(*field);
        if (!HasLetterOrDigit(*field))
            field->clear();
    }
    if (tags.Track.empty() && tags.Artist.empty() && tags.Title.empty() && tags.Album.empty() &&
        tags.Year.empty())
        return std::nullopt;
    return tags;
}

std::optional<TNameTags> ByShape(const std::string& stem) {
    TNameTags tags;
    std::string rest = stem;
    // A leading track number: "07 - ", "07. ", "07 ".
    size_t digits = 0;
    while (digits < rest.size() && IsDigit(rest[digits]))
        ++digits;
    if (digits > 0 && digits <= 3 && digits < rest.size()) {
        size_t at = digits;
        if (rest.compare(at, 3, " - ") == 0)
            at += 3;
        else if (rest.compare(at, 2, ". ") == 0)
            at += 2;
        else if (rest[at] == ' ')
            at += 1;
        if (at > digits) {
            tags.Track = TrackText(rest.substr(0, digits));
            rest = rest.substr(at);
        }
    }
    const size_t dash = rest.find(" - ");
    if (dash != std::string::npos) {
        tags.Artist = rest.substr(0, dash);
        tags.Title = rest.substr(dash + 3);
    } else {
        tags.Title = rest;
    }
    return Checked(tags);
}

struct TPart {
    char Field = 0;       // 'n', 'a', 't', 'b', 'y', or 0 for literal text
    std::string Literal;  // the text of a literal part
};

// The pattern as literal parts and fields; nothing when it is not valid.
std::optional<std::vector<TPart>> Parts(const std::string& pattern, std::string& why) {
    std::vector<TPart> parts;
    std::string seen;
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] != '%') {
            if (parts.empty() || parts.back().Field != 0)
                parts.push_back({});
            parts.back().Literal += pattern[i];
            continue;
        }
        const char f = i + 1 < pattern.size() ? pattern[i + 1] : '\0';
        ++i;
        if (f == '%') {
            if (parts.empty() || parts.back().Field != 0)
                parts.push_back({});
            parts.back().Literal += '%';
            continue;
        }
        if (std::string("natby").find(f) == std::string::npos || f == '\0') {
            why = "в образце неизвестное поле «%" +
                  std::string(f == '\0' ? "" : std::string(1, f)) + "»: есть %n, %a, %t, %b, %y";
            return std::nullopt;
        }
        if (seen.find(f) != std::string::npos) {
            why = "поле «%" + std::string(1, f) + "» в образце дважды";
            return std::nullopt;
        }
        if (!parts.empty() && parts.back().Field != 0) {
            why = "между полями образца нужен разделитель";
            return std::nullopt;
        }
        seen += f;
        parts.push_back({f, ""});
    }
    if (seen.empty()) {
        why = "в образце нет ни одного поля (%n, %a, %t, %b, %y)";
        return std::nullopt;
    }
    return parts;
}

std::optional<TNameTags> ByPattern(const std::string& stem, const std::vector<TPart>& parts) {
    TNameTags tags;
    size_t at = 0;
    for (size_t i = 0; i < parts.size(); ++i) {
        const TPart& part = parts[i];
        if (part.Field == 0) {
            if (stem.compare(at, part.Literal.size(), part.Literal) != 0)
                return std::nullopt;
            at += part.Literal.size();
            continue;
        }
        // A field runs to the next literal part (its first place), or to the end.
        size_t end = stem.size();
        if (i + 1 < parts.size()) {
            end = stem.find(parts[i + 1].Literal, at);
            if (end == std::string::npos)
                return std::nullopt;
        }
        std::string value = stem.substr(at, end - at);
        at = end;
        switch (part.Field) {
            case 'n':
                if (!IsTrackNumber(Tidy(value)))
                    return std::nullopt;
                tags.Track = TrackText(Tidy(value));
                break;
            case 'a':
                tags.Artist = value;
                break;
            case 't':
                tags.Title = value;
                break;
            case 'b':
                tags.Album = value;
                break;
            case 'y':
                tags.Year = value;
                break;
        }
    }
    if (at != stem.size())
        return std::nullopt;
    return Checked(tags);
}

}  // namespace

std::string CheckNamePattern(const std::string& pattern) {
    std::string why;
    Parts(pattern, why);
    return why;
}

std::optional<TNameTags> TagsFromName(const std::string& stem, const std::string& pattern) {
    if (pattern.empty())
        return ByShape(Tidy(stem));
    std::string why;
    const auto parts = Parts(pattern, why);
    if (!parts)
        return std::nullopt;
    // Underscores stand for spaces, unless the pattern itself has them.
    const bool underscores = pattern.find('_') != std::string::npos;
    std::string name = stem;
    if (!underscores)
        std::replace(name.begin(), name.end(), '_', ' ');
    return ByPattern(name, *parts);
}

}  // namespace velmora
