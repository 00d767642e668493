// make_icon: turns the star sprite into Kelvra's desktop icon, an RGBA PNG file of a given size, or
// the Windows program's icon file holding several sizes.
// The sprite's black surround becomes transparent the same way the program makes it transparent when
// it draws a star (alpha = twice the grey, opaque from grey 128 on), and the grey disc is brightened
// and tinted like a hot star, since a dim grey circle reads poorly at 16 pixels on a panel.
// Deterministic: the same image and size always give the same bytes.
// Usage: make_icon INPUT.tga SIZE OUTPUT.png
//        make_icon INPUT.tga SIZE,SIZE,... OUTPUT.ico   (each size 1 to 256)
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr long TgaHeaderBytes = 18;
constexpr int TgaTrueColour = 2;
constexpr int TgaTopLeftOrigin = 0x20;
constexpr int MinIconSide = 1;
constexpr int MaxIconSide = 1024;
// An icon file's directory gives sides in one byte, 0 standing for 256.
constexpr int MaxIcoSide = 256;
constexpr long MaxTgaBytes = 64L * 1024 * 1024;

// Grey 150, the body of the sprite, becomes full brightness; the tint is a warm white.
constexpr float Gain = 255.0f / 150.0f;
constexpr float Tint[3] = {1.0f, 0.93f, 0.72f};
// Sub-samples per axis and output pixel: enough to average the 8 x 8 source pixels behind one
// pixel of the 16-pixel icon.
constexpr int SubSamples = 8;

struct Image {
    int width;
    int height;
    std::vector<float> rgba;  // premultiplied by alpha, 0 to 1, rows from the top
};

bool ReadFile(const char* path, std::vector<unsigned char>* bytes) {
    std::FILE* f = std::fopen(path, "rb");
    if (!f) return false;
    unsigned char chunk[65536];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) {
        bytes->insert(bytes->end(), chunk, chunk + n);
        if (static_cast<long>(bytes->size()) > MaxTgaBytes) break;
    }
    const bool ok = !std::ferror(f) && static_cast<long>(bytes->size()) <= MaxTgaBytes;
    std::fclose(f);
    return ok;
}

// The alpha the program gives a 24-bit star pixel: twice the mean grey, opaque above 127.
int SpriteAlpha(int r, int g, int b) {
    const int m = (r + g + b) / 3;
    return m > 127 ? 255 : 2 * m;
}

// Decodes an uncompressed true-colour TGA of 24 or 32 bits; refuses anything whose header promises
// more pixels than the file holds.
bool DecodeTga(const std::vector<unsigned char>& f, Image* out) {
    if (static_cast<long>(f.size()) < TgaHeaderBytes) return false;
    const int idLength = f[0];
    const int colourMapType = f[1];
    const int imageType = f[2];
    const int width = f[12] | (f[13] << 8);
    const int height = f[14] | (f[15] << 8);
    const int bpp = f[16];
    const bool topDown = (f[17] & TgaTopLeftOrigin) != 0;
    if (colourMapType != 0 || imageType != TgaTrueColour || width == 0 || height == 0) return false;
    if (bpp != 24 && bpp != 32) return false;
    const long bytesPerPixel = bpp / 8;
    const long first = TgaHeaderBytes + idLength;
    if (static_cast<long>(f.size()) - first < static_cast<long>(width) * height * bytesPerPixel) return false;

    out->width = width;
    out->height = height;
    out->rgba.assign(static_cast<size_t>(width) * height * 4, 0.0f);
    for (int y = 0; y < height; ++y) {
        const int row = topDown ? y : height - 1 - y;
        for (int x = 0; x < width; ++x) {
            const unsigned char* p = &f[first + (static_cast<long>(row) * width + x) * bytesPerPixel];
            const int b = p[0], g = p[1], r = p[2];
            const int a = bpp == 32 ? p[3] : SpriteAlpha(r, g, b);
            const float alpha = a / 255.0f;
            float* q = &out->rgba[(static_cast<size_t>(y) * width + x) * 4];
            const int rgb[3] = {r, g, b};
            for (int c = 0; c < 3; ++c)
                q[c] = std::min(1.0f, rgb[c] / 255.0f * Gain * Tint[c]) * alpha;
            q[3] = alpha;
        }
    }
    return true;
}

// Bilinear sample at source pixel coordinates, the edges extended.
void Sample(const Image& img, float sx, float sy, float* out) {
    sx = std::clamp(sx, 0.0f, img.width - 1.0f);
    sy = std::clamp(sy, 0.0f, img.height - 1.0f);
    const int x0 = static_cast<int>(sx), y0 = static_cast<int>(sy);
    const int x1 = std::min(x0 + 1, img.width - 1), y1 = std::min(y0 + 1, img.height - 1);
    const float fx = sx - x0, fy = sy - y0;
    const auto at = [&](int x, int y, int c) { return img.rgba[(static_cast<size_t>(y) * img.width + x) * 4 + c]; };
    for (int c = 0; c < 4; ++c) {
        const float top = at(x0, y0, c) * (1 - fx) + at(x1, y0, c) * fx;
        const float bottom = at(x0, y1, c) * (1 - fx) + at(x1, y1, c) * fx;
        out[c] = top * (1 - fy) + bottom * fy;
    }
}

// Scales to side x side by averaging bilinear sub-samples over each output pixel's footprint, which
// serves both shrinking (16 to 64) and enlarging (256); un-premultiplies into 8-bit RGBA.
std::vector<unsigned char> Resample(const Image& img, int side) {
    std::vector<unsigned char> out(static_cast<size_t>(side) * side * 4);
    const float scaleX = static_cast<float>(img.width) / side;
    const float scaleY = static_cast<float>(img.height) / side;
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x) {
            float sum[4] = {0, 0, 0, 0};
            for (int j = 0; j < SubSamples; ++j)
                for (int i = 0; i < SubSamples; ++i) {
                    float s[4];
                    Sample(img, (x + (i + 0.5f) / SubSamples) * scaleX - 0.5f,
                           (y + (j + 0.5f) / SubSamples) * scaleY - 0.5f, s);
                    for (int c = 0; c < 4; ++c) sum[c] += s[c];
                }
            const float alpha = sum[3] / (SubSamples * SubSamples);
            unsigned char* q = &out[(static_cast<size_t>(y) * side + x) * 4];
            for (int c = 0; c < 3; ++c) {
                const float v = alpha > 0 ? sum[c] / sum[3] : 0.0f;
                q[c] = static_cast<unsigned char>(std::lround(std::clamp(v, 0.0f, 1.0f) * 255));
            }
            q[3] = static_cast<unsigned char>(std::lround(std::clamp(alpha, 0.0f, 1.0f) * 255));
        }
    return out;
}

void PutBigEndian32(std::vector<unsigned char>* v, std::uint32_t n) {
    v->insert(v->end(), {static_cast<unsigned char>(n >> 24), static_cast<unsigned char>(n >> 16),
                         static_cast<unsigned char>(n >> 8), static_cast<unsigned char>(n)});
}

void PutChunk(std::vector<unsigned char>* png, const char type[4], const std::vector<unsigned char>& data) {
    PutBigEndian32(png, static_cast<std::uint32_t>(data.size()));
    const size_t typeAt = png->size();
    png->insert(png->end(), type, type + 4);
    png->insert(png->end(), data.begin(), data.end());
    const uLong crc = crc32(0L, png->data() + typeAt, static_cast<uInt>(4 + data.size()));
    PutBigEndian32(png, static_cast<std::uint32_t>(crc));
}

// An 8-bit RGBA PNG: every row unfiltered, the whole image in one zlib stream.
bool EncodePng(const std::vector<unsigned char>& rgba, int side, std::vector<unsigned char>* png) {
    constexpr unsigned char Signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    constexpr unsigned char BitDepth = 8, ColourTypeRgba = 6;
    png->assign(Signature, Signature + 8);

    std::vector<unsigned char> header;
    PutBigEndian32(&header, side);
    PutBigEndian32(&header, side);
    header.insert(header.end(), {BitDepth, ColourTypeRgba, 0, 0, 0});
    PutChunk(png, "IHDR", header);

    const size_t rowBytes = static_cast<size_t>(side) * 4;
    std::vector<unsigned char> raw;
    for (int y = 0; y < side; ++y) {
        raw.push_back(0);
        raw.insert(raw.end(), rgba.begin() + y * rowBytes, rgba.begin() + (y + 1) * rowBytes);
    }
    uLongf packedSize = compressBound(raw.size());
    std::vector<unsigned char> packed(packedSize);
    if (compress2(packed.data(), &packedSize, raw.data(), raw.size(), Z_BEST_COMPRESSION) != Z_OK) return false;
    packed.resize(packedSize);
    PutChunk(png, "IDAT", packed);
    PutChunk(png, "IEND", {});
    return true;
}

void PutLittleEndian(std::vector<unsigned char>* v, std::uint32_t n, int bytes) {
    for (int k = 0; k < bytes; ++k) v->push_back(static_cast<unsigned char>(n >> (8 * k)));
}

// One image of an icon file as Windows reads it from every program since Windows 95: a bitmap
// header of twice the height (colour rows, then the mask), 32-bit BGRA rows from the bottom, and an
// all-clear 1-bit mask, since the alpha channel decides.
std::vector<unsigned char> EncodeIconBitmap(const std::vector<unsigned char>& rgba, int side) {
    constexpr int HeaderBytes = 40, Planes = 1, BitsPerPixel = 32;
    std::vector<unsigned char> dib;
    PutLittleEndian(&dib, HeaderBytes, 4);
    PutLittleEndian(&dib, side, 4);
    PutLittleEndian(&dib, 2 * side, 4);
    PutLittleEndian(&dib, Planes, 2);
    PutLittleEndian(&dib, BitsPerPixel, 2);
    for (int k = 0; k < 6; ++k) PutLittleEndian(&dib, 0, 4);  // no compression, sizes and palette unused
    for (int y = side - 1; y >= 0; --y)
        for (int x = 0; x < side; ++x) {
            const unsigned char* p = &rgba[(static_cast<size_t>(y) * side + x) * 4];
            dib.insert(dib.end(), {p[2], p[1], p[0], p[3]});
        }
    const size_t maskRowBytes = (static_cast<size_t>(side) + 31) / 32 * 4;
    dib.insert(dib.end(), maskRowBytes * side, 0);
    return dib;
}

// An icon file: the 256-pixel image as PNG, as Windows Vista and later store it, the others as bitmaps.
bool EncodeIco(const Image& img, const std::vector<int>& sides, std::vector<unsigned char>* ico) {
    constexpr int IconType = 1, DirectoryBytes = 6, EntryBytes = 16;
    std::vector<std::vector<unsigned char>> images;
    for (const int side : sides) {
        const std::vector<unsigned char> rgba = Resample(img, side);
        std::vector<unsigned char> data;
        if (side == MaxIcoSide) {
            if (!EncodePng(rgba, side, &data)) return false;
        } else {
            data = EncodeIconBitmap(rgba, side);
        }
        images.push_back(data);
    }
    ico->clear();
    PutLittleEndian(ico, 0, 2);
    PutLittleEndian(ico, IconType, 2);
    PutLittleEndian(ico, static_cast<std::uint32_t>(sides.size()), 2);
    size_t offset = DirectoryBytes + EntryBytes * sides.size();
    for (size_t k = 0; k < sides.size(); ++k) {
        const int side = sides[k] % MaxIcoSide;
        ico->insert(ico->end(), {static_cast<unsigned char>(side), static_cast<unsigned char>(side), 0, 0});
        PutLittleEndian(ico, 1, 2);   // planes
        PutLittleEndian(ico, 32, 2);  // bits per pixel
        PutLittleEndian(ico, static_cast<std::uint32_t>(images[k].size()), 4);
        PutLittleEndian(ico, static_cast<std::uint32_t>(offset), 4);
        offset += images[k].size();
    }
    for (const auto& data : images) ico->insert(ico->end(), data.begin(), data.end());
    return true;
}

// The comma-separated sides of an icon file, each 1 to 256.
bool ParseSides(const char* text, std::vector<int>* sides) {
    for (const char* p = text;; ++p) {
        char* end = nullptr;
        const long side = std::strtol(p, &end, 10);
        if (end == p || side < MinIconSide || side > MaxIcoSide) return false;
        sides->push_back(static_cast<int>(side));
        p = end;
        if (*p == '\0') return true;
        if (*p != ',') return false;
    }
}

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

bool WriteFile(const char* path, const std::vector<unsigned char>& bytes) {
    std::FILE* f = std::fopen(path, "wb");
    if (!f) return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && written;
}

}  // namespace

int MakeIco(const char* input, const char* sizes, const char* output) {
    std::vector<int> sides;
    if (!ParseSides(sizes, &sides)) {
        std::fprintf(stderr, "make_icon: sizes must be a comma-separated list of 1 to %d pixels, not '%s'\n",
                     MaxIcoSide, sizes);
        return 2;
    }
    std::vector<unsigned char> tga;
    Image img;
    if (!ReadFile(input, &tga) || !DecodeTga(tga, &img)) {
        std::fprintf(stderr, "make_icon: %s is not an uncompressed 24- or 32-bit TGA image\n", input);
        return 1;
    }
    std::vector<unsigned char> ico;
    if (!EncodeIco(img, sides, &ico) || !WriteFile(output, ico)) {
        std::fprintf(stderr, "make_icon: cannot write %s\n", output);
        return 1;
    }
    return 0;
}

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: make_icon INPUT.tga SIZE OUTPUT.png | make_icon INPUT.tga SIZE,SIZE,... OUTPUT.ico\n");
        return 2;
    }
    if (EndsWith(argv[3], ".ico")) return MakeIco(argv[1], argv[2], argv[3]);
    char* end = nullptr;
    const long side = std::strtol(argv[2], &end, 10);
    if (*argv[2] == '\0' || *end != '\0' || side < MinIconSide || side > MaxIconSide) {
        std::fprintf(stderr, "make_icon: size must be %d to %d pixels, not '%s'\n", MinIconSide, MaxIconSide, argv[2]);
        return 2;
    }
    std::vector<unsigned char> tga;
    Image img;
    if (!ReadFile(argv[1], &tga) || !DecodeTga(tga, &img)) {
        std::fprintf(stderr, "make_icon: %s is not an uncompressed 24- or 32-bit TGA image\n", argv[1]);
        return 1;
    }
    std::vector<unsigned char> png;
    if (!EncodePng(Resample(img, static_cast<int>(side)), static_cast<int>(side), &png) || !WriteFile(argv[3], png)) {
        std::fprintf(stderr, "make_icon: cannot write %s\n", argv[3]);
        return 1;
    }
    return 0;
}
