// system, platform side: the bitmap fonts, rendered by FreeType from the font compiled into the
// program. On the desktop each glyph is a display list that draws it with glBitmap; a page's GL has
// neither, so there the same glyph bitmaps go into one texture a font and are drawn as textured quads
// at the pixel positions glBitmap would give them.
#include <ft2build.h>
#include FT_FREETYPE_H
#include <GL/gl.h>

#include <algorithm>
#include <array>
#include <cmath>

#include "system.h"

extern const unsigned char FontData[];
extern const long FontDataSize;

namespace {

// One glyph for each character code a font holds.
constexpr int GlyphCount = LastGlyph - FirstGlyph + 1;
// FreeType measures advances in 1/64 pixel.
constexpr float FreeTypeUnitsPerPixel = 64.0f;
constexpr FT_Int32 MonochromeGlyph = FT_LOAD_RENDER | FT_LOAD_TARGET_MONO | FT_LOAD_MONOCHROME;

// Whether the face is ready to render glyphs of the font's pixel height.
bool SizeFace(FT_Face face, int font) {
    const int height = FontPixelHeight(font);
    return face != nullptr && height > 0 && FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(height)) == 0;
}

// Whether FreeType gives the glyph of character number i of a font as a bitmap of one bit a pixel.
bool LoadGlyph(FT_Face face, int i) {
    return FT_Load_Char(face, static_cast<FT_ULong>(FirstGlyph + i), MonochromeGlyph) == 0;
}

#ifndef __EMSCRIPTEN__
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
    const bool sized = SizeFace(face, font);
    for (int i = 0; i < GlyphCount; ++i) {
        glNewList(static_cast<GLuint>(fntBase[font] + i), GL_COMPILE);
        if (sized && LoadGlyph(face, i)) EmitGlyph(face->glyph);
        glEndList();
    }
}

void BeginFonts() {
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_LSB_FIRST, GL_FALSE);
}

void EndFonts() { glPopClientAttrib(); }
#else
// A font's glyphs in a texture, in cells of a grid: 16 cells a row, each as large as the largest font's
// glyphs (32 pixels, with room for what reaches below the baseline). Each texel is a white luminance
// and the glyph's coverage as alpha, so that the current colour shows where the glyph has ink.
constexpr int CellsPerRow = 16;
constexpr int CellPx = 48;
constexpr int AtlasWidth = CellsPerRow * CellPx;
constexpr int AtlasHeight = (GlyphCount + CellsPerRow - 1) / CellsPerRow * CellPx;

// A glyph's bitmap in the atlas and where glBitmap would draw it: its left edge and top row from the
// pen on the baseline, pixels, and its advance.
struct strGlyph {
    int Left, Top, Width, Rows;
    float Advance;
    float U0, V0, U1, V1;
};

struct strAtlas {
    GLuint Texture;
    strGlyph Glyph[GlyphCount];
};

strAtlas Atlas[FontCount];
constexpr int TexelBytes = 2;
constexpr unsigned char Ink = 255;
std::array<unsigned char, AtlasWidth * AtlasHeight * TexelBytes> AtlasTexels;
// The raster position the next text is drawn at, in the pixel frame the caller set.
float RasterX, RasterY;

bool PixelSet(const FT_Bitmap& bitmap, int row, int column) {
    const unsigned char bits = bitmap.buffer[row * bitmap.pitch + column / 8];
    return (bits & (0x80 >> (column % 8))) != 0;
}

// Copies the current glyph into cell i of the atlas; one too large for a cell keeps only its advance.
void PlaceGlyph(FT_GlyphSlot slot, int i, strGlyph* glyph) {
    const FT_Bitmap& bitmap = slot->bitmap;
    const float advance = slot->advance.x / FreeTypeUnitsPerPixel;
    const int width = static_cast<int>(bitmap.width), rows = static_cast<int>(bitmap.rows);
    *glyph = strGlyph{0, 0, 0, 0, advance, 0, 0, 0, 0};
    if (bitmap.pixel_mode != FT_PIXEL_MODE_MONO || width == 0 || rows == 0 || width > CellPx || rows > CellPx) return;
    const int cellX = i % CellsPerRow * CellPx, cellY = i / CellsPerRow * CellPx;
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < width; ++c)
            AtlasTexels[(static_cast<std::size_t>(cellY + r) * AtlasWidth + cellX + c) * TexelBytes + 1] =
                PixelSet(bitmap, r, c) ? Ink : 0;
    *glyph = strGlyph{slot->bitmap_left, slot->bitmap_top, width, rows, advance,
                      static_cast<float>(cellX) / AtlasWidth, static_cast<float>(cellY) / AtlasHeight,
                      static_cast<float>(cellX + width) / AtlasWidth, static_cast<float>(cellY + rows) / AtlasHeight};
}

void BuildOneFont(FT_Face face, int font) {
    strAtlas& atlas = Atlas[font];
    for (std::size_t t = 0; t < AtlasTexels.size(); t += TexelBytes) {
        AtlasTexels[t] = Ink;
        AtlasTexels[t + 1] = 0;
    }
    const bool sized = SizeFace(face, font);
    for (int i = 0; i < GlyphCount; ++i) {
        atlas.Glyph[i] = strGlyph{};
        if (sized && LoadGlyph(face, i)) PlaceGlyph(face->glyph, i, &atlas.Glyph[i]);
    }
    glGenTextures(1, &atlas.Texture);
    BindTexture(atlas.Texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_LUMINANCE_ALPHA, AtlasWidth, AtlasHeight, 0, GL_LUMINANCE_ALPHA,
                 GL_UNSIGNED_BYTE, AtlasTexels.data());
    BindTexture(0);
}

void BeginFonts() { glPixelStorei(GL_UNPACK_ALIGNMENT, 1); }

void EndFonts() { glPixelStorei(GL_UNPACK_ALIGNMENT, 4); }

// One glyph's quad. glBitmap puts a bitmap's lower left corner at the raster position less the
// bitmap's origin, rounded down, in window pixels, which run up where the pixel frame's run down.
void GlyphQuad(const strGlyph& glyph, float penX) {
    const float left = std::floor(penX + static_cast<float>(glyph.Left));
    const float bottomUp = std::floor(static_cast<float>(FS_Y) - RasterY - static_cast<float>(glyph.Rows - glyph.Top));
    const float top = static_cast<float>(FS_Y) - bottomUp - static_cast<float>(glyph.Rows);
    const float right = left + static_cast<float>(glyph.Width), bottom = top + static_cast<float>(glyph.Rows);
    glTexCoord2f(glyph.U0, glyph.V0);
    glVertex2f(left, top);
    glTexCoord2f(glyph.U1, glyph.V0);
    glVertex2f(right, top);
    glTexCoord2f(glyph.U1, glyph.V1);
    glVertex2f(right, bottom);
    glTexCoord2f(glyph.U0, glyph.V1);
    glVertex2f(left, bottom);
}
#endif

}  // namespace

void BuildFont() {
    FT_Library library = nullptr;
    FT_Face face = nullptr;
    if (FT_Init_FreeType(&library) == 0 &&
        FT_New_Memory_Face(library, FontData, static_cast<FT_Long>(FontDataSize), 0, &face) != 0)
        face = nullptr;
    BeginFonts();
    for (int font = 0; font < FontCount; ++font) BuildOneFont(face, font);
    EndFonts();
    if (face != nullptr) FT_Done_Face(face);
    if (library != nullptr) FT_Done_FreeType(library);
}

#ifndef __EMSCRIPTEN__
void DrawText(int font, const char* text, int length) {
    glPushAttrib(GL_LIST_BIT);
    glListBase(static_cast<GLuint>(fntBase[font] - FirstGlyph));
    glCallLists(length, GL_UNSIGNED_BYTE, text);
    glPopAttrib();
}

void KillFont() {
    for (const int base : fntBase) glDeleteLists(static_cast<GLuint>(base), GlyphCount);
}
#else
// The raster position, which the GL of a page does not keep: the text drawn next starts there.
extern "C" void glRasterPos2f(GLfloat x, GLfloat y) {
    RasterX = x;
    RasterY = y;
}

// The glyphs' texels are the alpha of the current colour; where a glyph has no ink, the quad leaves
// the picture as it was, as glBitmap does.
void DrawText(int font, const char* text, int length) {
    const GLboolean blended = glIsEnabled(GL_BLEND);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    BindTexture(Atlas[font].Texture);
    glBegin(GL_QUADS);
    float penX = RasterX;
    for (int k = 0; k < length; ++k) {
        const strGlyph& glyph = Atlas[font].Glyph[static_cast<unsigned char>(text[k]) - FirstGlyph];
        if (glyph.Width > 0) GlyphQuad(glyph, penX);
        penX += glyph.Advance;
    }
    glEnd();
    BindTexture(0);
    if (!blended) glDisable(GL_BLEND);
    RasterX = penX;
}

void KillFont() {
    for (strAtlas& atlas : Atlas) glDeleteTextures(1, &atlas.Texture);
}
#endif
