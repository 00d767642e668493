// Decoding of the star image without a GL context: header checks, the red/blue swap, the alpha
// channel a 24-bit image gets, and the embedded picture itself.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "graphics.h"

namespace {

// An uncompressed true-colour TGA file, header as the embedded one, pixels given in file order.
std::vector<unsigned char> MakeTga(int width, int height, int bpp, const std::vector<unsigned char>& pixels) {
    std::vector<unsigned char> file(TgaHeaderSize + pixels.size(), 0);
    file[2] = 2;
    file[12] = static_cast<unsigned char>(width & 0xFF);
    file[13] = static_cast<unsigned char>(width >> 8);
    file[14] = static_cast<unsigned char>(height & 0xFF);
    file[15] = static_cast<unsigned char>(height >> 8);
    file[16] = static_cast<unsigned char>(bpp);
    file[17] = 0x20;
    std::copy(pixels.begin(), pixels.end(), file.begin() + TgaHeaderSize);
    return file;
}

// A 1 x n, 24-bit image of grey or coloured pixels, given as (red, green, blue) and stored as BGR.
std::vector<unsigned char> Row24(const std::vector<std::array<int, 3>>& rgb) {
    std::vector<unsigned char> px;
    for (const auto& p : rgb)
        px.insert(px.end(), {static_cast<unsigned char>(p[2]), static_cast<unsigned char>(p[1]),
                             static_cast<unsigned char>(p[0])});
    return MakeTga(static_cast<int>(rgb.size()), 1, 24, px);
}

// Alpha that the decoder gives pixel i of a 24-bit row in the given mode.
std::vector<int> AlphasOf(const std::vector<std::array<int, 3>>& rgb, int mode) {
    const std::vector<unsigned char> file = Row24(rgb);
    TextureImage image{};
    EXPECT_TRUE(EmbDecodeTGA(&image, file.data(), static_cast<long>(file.size()), mode));
    std::vector<int> alpha;
    if (image.rgba)
        for (std::size_t i = 0; i < rgb.size(); ++i) alpha.push_back(image.rgba[4 * i + 3]);
    FreeTGA(&image);
    return alpha;
}

bool Refused(const std::vector<unsigned char>& file, long size) {
    TextureImage image{};
    image.pixels = reinterpret_cast<unsigned char*>(&image);  // must be reset, never freed
    if (EmbDecodeTGA(&image, file.data(), size, 3)) {
        FreeTGA(&image);
        return false;
    }
    return image.pixels == nullptr && image.rgba == nullptr;
}

TEST(TgaDecode, TwentyFourBitSwapsRedAndBlueAndKeepsRowOrder) {
    const std::vector<unsigned char> file =
        MakeTga(2, 2, 24, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12});
    TextureImage image{};
    ASSERT_TRUE(EmbDecodeTGA(&image, file.data(), static_cast<long>(file.size()), 0));
    EXPECT_EQ(image.width, 2);
    EXPECT_EQ(image.height, 2);
    EXPECT_EQ(image.bpp, 24u);
    ASSERT_NE(image.pixels, nullptr);
    ASSERT_NE(image.rgba, nullptr);
    const unsigned char swapped[12] = {3, 2, 1, 6, 5, 4, 9, 8, 7, 12, 11, 10};
    for (int i = 0; i < 12; ++i) EXPECT_EQ(image.pixels[i], swapped[i]) << i;
    for (int p = 0; p < 4; ++p)
        for (int c = 0; c < 3; ++c) EXPECT_EQ(image.rgba[4 * p + c], swapped[3 * p + c]) << p << c;
    FreeTGA(&image);
    EXPECT_EQ(image.pixels, nullptr);
    EXPECT_EQ(image.rgba, nullptr);
}

TEST(TgaDecode, AlphaModes) {
    // Mode 0: any colour at all is opaque.
    EXPECT_EQ(AlphasOf({{0, 0, 0}, {0, 0, 1}, {1, 0, 0}, {200, 10, 0}}, 0), (std::vector<int>{0, 255, 255, 255}));
    // Mode 1: the brightest component.
    EXPECT_EQ(AlphasOf({{10, 200, 30}, {250, 1, 2}, {3, 4, 99}, {0, 0, 0}}, 1), (std::vector<int>{200, 250, 99, 0}));
    // Mode 2: the truncated mean.
    EXPECT_EQ(AlphasOf({{255, 255, 254}, {1, 1, 0}, {90, 30, 0}}, 2), (std::vector<int>{254, 0, 40}));
    // Mode 3: twice the mean up to 127, opaque above.
    EXPECT_EQ(AlphasOf({{0, 0, 0}, {100, 100, 100}, {127, 127, 127}, {128, 128, 128}, {255, 0, 126}}, 3),
              (std::vector<int>{0, 200, 254, 255, 254}));
    // Any other mode gives an opaque image.
    EXPECT_EQ(AlphasOf({{0, 0, 0}, {10, 10, 10}}, 7), (std::vector<int>{255, 255}));
}

TEST(TgaDecode, ThirtyTwoBitKeepsItsOwnAlpha) {
    const std::vector<unsigned char> file = MakeTga(2, 1, 32, {10, 20, 30, 40, 0, 0, 0, 200});
    for (int mode = 0; mode <= 3; ++mode) {
        TextureImage image{};
        ASSERT_TRUE(EmbDecodeTGA(&image, file.data(), static_cast<long>(file.size()), mode));
        EXPECT_EQ(image.bpp, 32u);
        EXPECT_EQ(image.rgba, nullptr) << "a 32-bit image needs no copy";
        const unsigned char expected[8] = {30, 20, 10, 40, 0, 0, 0, 200};
        for (int i = 0; i < 8; ++i) EXPECT_EQ(image.pixels[i], expected[i]) << "mode " << mode << " byte " << i;
        FreeTGA(&image);
    }
}

TEST(TgaDecode, RefusesUnusableHeaders) {
    const std::vector<unsigned char> px(4 * 4 * 4, 0x55);
    const auto ok = MakeTga(4, 4, 24, px);
    EXPECT_FALSE(Refused(ok, static_cast<long>(ok.size())));
    EXPECT_TRUE(Refused(MakeTga(0, 4, 24, px), 18 + 64));
    EXPECT_TRUE(Refused(MakeTga(4, 0, 24, px), 18 + 64));
    EXPECT_TRUE(Refused(MakeTga(4, 4, 16, px), 18 + 64));
    EXPECT_TRUE(Refused(MakeTga(4, 4, 8, px), 18 + 64));
    EXPECT_TRUE(Refused(MakeTga(4, 4, 33, px), 18 + 64));
}

TEST(TgaDecode, RefusesDataShorterThanTheHeaderAsksFor) {
    const std::vector<unsigned char> px(3 * 3 * 4, 7);
    const auto file24 = MakeTga(3, 3, 24, px);
    EXPECT_FALSE(Refused(file24, 18 + 27)) << "exactly long enough";
    EXPECT_TRUE(Refused(file24, 18 + 26));
    const auto file32 = MakeTga(3, 3, 32, px);
    EXPECT_FALSE(Refused(file32, 18 + 36));
    EXPECT_TRUE(Refused(file32, 18 + 35));
    // A header claiming the largest image, followed by a few bytes only.
    const auto huge = MakeTga(65535, 65535, 32, px);
    EXPECT_TRUE(Refused(huge, static_cast<long>(huge.size())));
    EXPECT_TRUE(Refused(file24, 17)) << "not even a header";
    EXPECT_TRUE(Refused(file24, 0));
    TextureImage image{};
    EXPECT_FALSE(EmbDecodeTGA(&image, nullptr, 100, 3));
}

TEST(TgaDecode, EmbeddedStarImage) {
    ASSERT_EQ(emb_size, 18 + 128 * 128 * 3);
    TextureImage image{};
    ASSERT_TRUE(EmbDecodeTGA(&image, emb_data, emb_size, 3));
    EXPECT_EQ(image.width, 128);
    EXPECT_EQ(image.height, 128);
    EXPECT_EQ(image.bpp, 24u);
    int black = 0, bright = 0, white = 0, grey = 0, inCore = 0, coreTypical = 0;
    double coreSum = 0, rimSum = 0;
    int rimCount = 0;
    for (int y = 0; y < 128; ++y)
        for (int x = 0; x < 128; ++x) {
            const unsigned char* p = image.rgba + 4 * (y * 128 + x);
            if (p[0] == p[1] && p[1] == p[2]) ++grey;
            const int g = p[0];
            black += g == 0;
            bright += g > 127;
            white += g == 255;
            EXPECT_EQ(p[3], g > 127 ? 255 : 2 * g);
            const double r = std::hypot(x - 63.5, y - 63.5);
            if (r <= 56) {
                ++inCore;
                coreSum += g;
                coreTypical += g >= 110 && g <= 190;
            }
            if (r >= 63.5 && r < 64.5) {
                rimSum += g;
                ++rimCount;
            }
            if (r > 67) {
                EXPECT_EQ(g, 0) << "outside the disc at " << x << "," << y;
            }
        }
    EXPECT_EQ(grey, 128 * 128);
    EXPECT_EQ(black, 2808);
    EXPECT_EQ(bright, 11113);
    EXPECT_EQ(white, 5);
    EXPECT_NEAR(coreSum / inCore, 150, 5);
    EXPECT_GT(coreTypical, inCore * 95 / 100);
    EXPECT_NEAR(rimSum / rimCount, 73, 8);
    FreeTGA(&image);
}

}  // namespace
