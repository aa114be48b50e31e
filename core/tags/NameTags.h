// Tags read from a file's name, for files that have none: the common shapes people name songs
// by ("01 - Artist - Title", "01. Artist - Title", "Artist - Title", "01 - Title", "01 Title",
// underscores for spaces), or a pattern the user gives ("%n - %a - %t").
#pragma once

#include <optional>
#include <string>

namespace velmora {

struct TNameTags {
    // UTF-8; "" where the name has none.
    std::string Track, Artist, Title, Album, Year;
};

// "" when `pattern` can read names: its fields are %n (track number), %a (artist), %t (title),
// %b (album), %y (year), "%%" is a "%"; each field once, two fields apart by at least one other
// character. Otherwise why not, in Russian.
std::string CheckNamePattern(const std::string& pattern);
// The tags of a file name without its extension: by `pattern` (checked by CheckNamePattern) or,
// when it is "", by the common shapes; a name of any other shape gives its title alone. Nothing
// when the name does not fit the pattern, or gives no field with a letter or digit.
std::optional<TNameTags> TagsFromName(const std::string& stem, const std::string& pattern = "");

}  // namespace velmora
