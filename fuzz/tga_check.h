// The star-image decoder under arbitrary files. The first byte of the input picks the alpha mode, the
// rest is the file. An accepted file must have held every pixel byte it declared, and the decoded
// buffers must be the swapped pixels and the alpha the mode prescribes; a refused one must leave
// nothing behind that FreeTGA cannot release.
#pragma once

#include "fuzz_input.h"
#include "graphics.h"

inline int ExpectedAlpha(int mode, int r, int g, int b) {
    const int mean = (r + g + b) / 3;
    switch (mode) {
    case 0: return (r | g | b) != 0 ? 255 : 0;
    case 1: return r > g ? (r > b ? r : b) : (g > b ? g : b);
    case 2: return mean;
    default: return mean > 127 ? 255 : 2 * mean;
    }
}

// The first fault in an accepted image, or null.
inline const char* DecodedImageFault(const TextureImage& image, const std::uint8_t* src, long size, int mode) {
    if (image.bpp != 24 && image.bpp != 32) return "accepted a depth other than 24 or 32 bits";
    if (image.width <= 0 || image.height <= 0) return "accepted an empty image";
    const long count = static_cast<long>(image.width) * image.height;
    const long step = image.bpp / 8;
    if (TgaHeaderSize + count * step > size) return "accepted a file shorter than its pixels";
    if (image.pixels == nullptr) return "no pixel buffer after success";
    if (image.bpp == 24 && image.rgba == nullptr) return "no RGBA buffer for a 24-bit image";
    for (long i = 0; i < count; ++i) {
        const std::uint8_t* file = src + TgaHeaderSize + i * step;
        const unsigned char* px = image.pixels + i * step;
        if (px[0] != file[2] || px[1] != file[1] || px[2] != file[0]) return "red and blue not swapped";
        if (step == 4 && px[3] != file[3]) return "a 32-bit image lost its own alpha";
        if (image.bpp != 24) continue;
        const unsigned char* q = image.rgba + i * 4;
        if (q[0] != px[0] || q[1] != px[1] || q[2] != px[2]) return "RGBA copy differs from the pixels";
        if (q[3] != ExpectedAlpha(mode, px[0], px[1], px[2])) return "alpha does not follow the mode";
    }
    return nullptr;
}

// The first fault of one run, or null.
inline const char* FuzzTga(const std::uint8_t* data, std::size_t size) {
    FuzzBytes in{data, size};
    const int mode = FuzzTake(&in) % 4;
    TextureImage image{};
    const long length = static_cast<long>(in.size);
    const char* fault = nullptr;
    if (EmbDecodeTGA(&image, in.data, length, mode)) fault = DecodedImageFault(image, in.data, length, mode);
    FreeTGA(&image);
    return fault;
}
