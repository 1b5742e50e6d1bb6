// The fuzz targets' property check: a violated property is a finding, so it
// aborts with the condition and where it stands, and libFuzzer keeps the input.
#pragma once

#include <cstdio>
#include <cstdlib>

#define KX_FUZZ_REQUIRE(condition)                                                            \
  do {                                                                                        \
    if (!(condition)) {                                                                       \
      std::fprintf(stderr, "%s:%d: property violated: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                           \
    }                                                                                         \
  } while (false)
