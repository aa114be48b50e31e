// A long piece of work as the user follows it, whichever front end shows it: the window's
// progress dialog or the command line's progress lines.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>

namespace velmora {

struct TProgress {
    std::string Key{};        // the step for the command line's lines: "image", "write", …
    std::string Step{};       // the step as the user reads it: "Запись диска"
    std::string Item{};       // the file at hand; "" when there is none
    int64_t Done = 0;         // of Total: bytes, sectors or files
    int64_t Total = 0;        // 0 while not known
    std::string Speed{};      // "16,0x"; "" while not known
    double SecondsLeft = -1;  // -1 while not known
    std::string Warning{};    // what a cancel now would cost, shown under the bar; "" for none

    int Percent() const {  // 0..100
        return Total > 0 ? static_cast<int>(std::clamp<int64_t>(Done * 100 / Total, 0, 100)) : 0;
    }
};

// "осталось 3:05" or "осталось 1:02:03"; "" while not known (a negative or endless time).
std::string TimeLeftText(double seconds);

}  // namespace velmora
