// What the fuzz targets share: a check that stops the run with the failed condition, so a
// broken invariant counts as a crash for libFuzzer and the driver alike.
#pragma once
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(cond)                                                                      \
    do {                                                                                      \
        if (!(cond)) {                                                                        \
            std::fprintf(stderr, "%s:%d: invariant failed: %s\n", __FILE__, __LINE__, #cond); \
            std::abort();                                                                     \
        }                                                                                     \
    } while (0)

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
