// A file name and a pattern, as the user gives them: the first line is the pattern ("" for the
// common shapes), the rest the name. Whatever the bytes, reading ends, a pattern refused reads
// nothing, and every field read holds a letter or a digit.
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/tags/NameTags.h"
#include "fuzz/FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const size_t line = input.find('\n');
    const std::string pattern = line == std::string::npos ? "" : input.substr(0, line);
    const std::string stem = line == std::string::npos ? input : input.substr(line + 1);
    const bool valid = velmora::CheckNamePattern(pattern).empty();
    const auto tags = velmora::TagsFromName(stem, pattern);
    Check(valid || pattern.empty() || !tags);
    if (tags) {
        Check(!tags->Track.empty() || !tags->Artist.empty() || !tags->Title.empty() ||
              !tags->Album.empty() || !tags->Year.empty());
        for (const std::string* field :
             {&tags->Track, &tags->Artist, &tags->Title, &tags->Album, &tags->Year}) {
            Check(field->size() <= stem.size());
            Check(field->empty() || (field->front() != ' ' && field->back() != ' '));
        }
    }
    return 0;
}
