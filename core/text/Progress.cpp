#include "core/text/Progress.h"

#include <cmath>
#include <cstdio>

namespace velmora {

std::string TimeLeftText(double seconds) {
    if (!(seconds >= 0) || !std::isfinite(seconds))
        return "";
    const long long whole = std::llround(std::ceil(seconds));
    char text[48];
    if (whole >= 3600)
        std::snprintf(text, sizeof text, "осталось %lld:%02lld:%02lld", whole / 3600,
                      whole / 60 % 60, whole % 60);
    else
        std::snprintf(text, sizeof text, "осталось %lld:%02lld", whole / 60, whole % 60);
    return text;
}

}  // namespace velmora
