// Reading a fuzzer's byte string as a stream of small values: an exhausted stream reads as zeros, so
// every input, however short, is a complete run.
#pragma once

#include <cstddef>
#include <cstdint>

struct FuzzBytes {
    const std::uint8_t* data;
    std::size_t size;
};

inline std::uint8_t FuzzTake(FuzzBytes* in) {
    if (in->size == 0) return 0;
    --in->size;
    return *in->data++;
}

inline std::uint32_t FuzzTake32(FuzzBytes* in) {
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= static_cast<std::uint32_t>(FuzzTake(in)) << (8 * i);
    return v;
}

inline std::uint32_t FuzzTake16(FuzzBytes* in) {
    const std::uint32_t low = FuzzTake(in);
    return low | static_cast<std::uint32_t>(FuzzTake(in)) << 8;
}
