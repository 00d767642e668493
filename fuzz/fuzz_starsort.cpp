// libFuzzer entry: a fault stops the run with its description, so that the input is kept as a crash.
#include <cstdio>
#include <cstdlib>

#include "starsort_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (const char* fault = FuzzStarSort(data, size)) {
        std::fprintf(stderr, "fuzz_starsort: %s\n", fault);
        std::abort();
    }
    return 0;
}
