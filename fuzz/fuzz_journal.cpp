// Arbitrary bytes as one of the program's journals, as a folder from anywhere can bring them:
// reading never fails, a record is either whole or cut short but never both, and what a whole
// one names is as the record has it (folders by plain names only).
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/files/Journal.h"
#include "fuzz/FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    velmora::TJournal journal;
    const bool whole = velmora::ParseJournal(bytes, "/music/.velmora-1-1.journal", journal);
    Check(!(whole && velmora::IsUnfinishedRecord(bytes)));
    if (!whole)
        return 0;
    Check(journal.Path == "/music/.velmora-1-1.journal");
    Check(std::string("clhxrwvd").find(static_cast<char>(journal.Kind)) != std::string::npos);
    Check(bytes.find(journal.From) != std::string::npos);
    for (const velmora::TJournal::TMadeFolder& made : journal.Made)
        Check(!made.Name.empty() && bytes.find(made.Name) != std::string::npos);
    Check(journal.Made.empty() || journal.Kind == velmora::TJournal::EKind::Folders);
    return 0;
}
