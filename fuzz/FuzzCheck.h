// The check of the fuzz targets: stops with the failed condition and its line, so a crash report
// says what broke.
#pragma once

#include <cstdio>
#include <cstdlib>

#define Check(condition)                                                                       \
    do {                                                                                       \
        if (!(condition)) {                                                                    \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                      \
        }                                                                                      \
    } while (false)
