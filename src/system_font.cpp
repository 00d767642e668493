// system, platform side: the bitmap fonts, rendered by FreeType from the font compiled into the program,
// one display list per character code.
#include <ft2build.h>
#include FT_FREETYPE_H
#include <GL/gl.h>

#include <algorithm>
#include <array>

#include "system.h"

extern const unsigned char FontData[];
extern const long FontDataSize;

namespace {

// One display list for each character code a font holds.
constexpr int GlyphCount = LastGlyph - FirstGlyph + 1;
// FreeType measures advances in 1/64 pixel.
constexpr float FreeTypeUnitsPerPixel = 64.0f;
// Room for the largest glyph bitmap the fonts are built with; a larger one keeps only its advance.
constexpr std::size_t GlyphBufferBytes = 16384;

std::array<unsigned char, GlyphBufferBytes> GlyphBits;

// Compiles the current glyph of `face` into the display list being built: FreeType's rows run top
// down, glBitmap's bottom up.
void EmitGlyph(FT_GlyphSlot glyph) {
    const FT_Bitmap& bitmap = glyph->bitmap;
    const float advance = glyph->advance.x / FreeTypeUnitsPerPixel;
    const std::size_t rowBytes = (bitmap.width + 7) / 8;
    const std::size_t rows = bitmap.rows;
    if (bitmap.pixel_mode != FT_PIXEL_MODE_MONO || rows * rowBytes == 0 || rows * rowBytes > GlyphBits.size()) {
        glBitmap(0, 0, 0, 0, advance, 0, nullptr);
        return;
    }
    for (std::size_t r = 0; r < rows; ++r) {
        const unsigned char* src = bitmap.buffer + (rows - 1 - r) * static_cast<std::size_t>(bitmap.pitch);
        std::copy(src, src + rowBytes, GlyphBits.begin() + static_cast<std::ptrdiff_t>(r * rowBytes));
    }
    glBitmap(static_cast<GLsizei>(bitmap.width), static_cast<GLsizei>(rows), static_cast<float>(-glyph->bitmap_left),
             static_cast<float>(static_cast<int>(rows) - glyph->bitmap_top), advance, 0, GlyphBits.data());
}

// One font: a display list per character code, each drawing the glyph and advancing by its width.
void BuildOneFont(FT_Face face, int font) {
    fntBase[font] = static_cast<int>(glGenLists(GlyphCount));
    const int height = FontPixelHeight(font);
    const bool sized = face != nullptr && height > 0 && FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(height)) == 0;
    for (int i = 0; i < GlyphCount; ++i) {
        glNewList(static_cast<GLuint>(fntBase[font] + i), GL_COMPILE);
        const FT_ULong code = static_cast<FT_ULong>(FirstGlyph + i);
        if (sized && FT_Load_Char(face, code, FT_LOAD_RENDER | FT_LOAD_TARGET_MONO | FT_LOAD_MONOCHROME) == 0)
            EmitGlyph(face->glyph);
        glEndList();
    }
}

}  // namespace

void BuildFont() {
    FT_Library library = nullptr;
    FT_Face face = nullptr;
    if (FT_Init_FreeType(&library) == 0 &&
        FT_New_Memory_Face(library, FontData, static_cast<FT_Long>(FontDataSize), 0, &face) != 0)
        face = nullptr;
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_LSB_FIRST, GL_FALSE);
    for (int font = 0; font < FontCount; ++font) BuildOneFont(face, font);
    glPopClientAttrib();
    if (face != nullptr) FT_Done_Face(face);
    if (library != nullptr) FT_Done_FreeType(library);
}
