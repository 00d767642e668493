// graphics: everything drawn. The embedded star texture, drawing primitives, the view matrix, the
// depth-sorted star field, the information overlay and the start screen.
#pragma once

#include <cstdint>

// ---- Star texture -----------------------------------------------------------------------------------

// One decoded texture.
struct TextureImage {
    unsigned char* pixels;  // pixel data after the red/blue swap, only while loading
    unsigned char* rgba;    // 4-byte copy of a 24-bit image, only while loading
    std::uint32_t bpp;      // bits per pixel, 24 or 32
    std::int32_t width;
    std::int32_t height;
    std::uint32_t texName;  // the GL texture holding the image
};

// Size of the TGA header, bytes.
constexpr long TgaHeaderSize = 18;
// The embedded star image: a 128 x 128, 24-bit, uncompressed TGA file.
extern const unsigned char emb_data[];
extern const long emb_size;

extern TextureImage textures[100];  // the program's textures; the star sprite is the only one
extern std::int32_t max_texture;    // records of textures in use
extern std::int32_t imgStar;        // index of the star sprite in textures

// Decodes a TGA file into image->pixels and, for 24 bits, image->rgba; false when it is refused.
// Frees nothing on success: the caller uploads and then calls FreeTGA.
bool EmbDecodeTGA(TextureImage* image, const unsigned char* src, long size, int alphaMode);
// Releases the decoding buffers of image.
void FreeTGA(TextureImage* image);
// Decodes a TGA file and uploads it as a mipmapped texture; needs a current GL context.
bool EmbLoadTGA(TextureImage* image, const unsigned char* src, long size, int alphaMode);
// Loads the embedded star image into textures[0]; 1 on success, 0 (and a quit request) on failure.
int LoadGLTextures();

// ---- Drawing primitives -------------------------------------------------------------------------

// Filled rectangle.
void GLQuad(float x1, float y1, float x2, float y2);
// Outlined rectangle; the line width stays set.
void GLRect(float x1, float y1, float x2, float y2, float width);
// Textured square of side 2 * half centred on the origin; leaves the texture bound.
void DrawBitmap(int texture, double half);

// ---- Star field -------------------------------------------------------------------------------------

struct strStar;

// Builds G.ViewMatrix and G.ViewMatrixInv from the camera axes (rescaling them to unit length).
void CreateViewMatrix();
// Camera matrices, cleared buffers and the unlit, blended state without depth test the stars are drawn in.
void BeginStarField();
// One complete evolution frame into the back buffer, overlay included.
void GraphicsDrawEvol();
// One star's sprite through the per-star matrices.
void DrawStar(const strStar* star);
// qsort order of the depth table: farthest first; a NaN distance counts as the farthest of all.
int StarIdxCompare(const void* a, const void* b);
// Collects, sorts and draws the living stars.
void DrawStarField();
// 0: GraphicsDrawEvol draws the star field in one array draw; 1: through DrawStarField, star by
// star. Only the engine benchmark sets it, to time the whole loop with the older drawing.
extern int DrawPerStar;

// ---- Overlay and start screen ---------------------------------------------------------------------

// The information overlay; restores the perspective projection and depth test.
void DrawInfo();
// The start screen of the setup state.
void GraphicsDrawMM();

// ---- Fast star field --------------------------------------------------------------------------------

// Steps 6 and 7 of the star field: StarIdx and NumVisible list the living stars farthest first
// (distances that are not numbers first of all), as DrawStarField leaves them up to the order of
// equal distances. The previous frame's order is the starting point while it still lists every
// living star once; nothing is allocated.
void SortStarsFast();
// The picture of DrawStarField (the same sprites, order, colours and blending) in one array draw.
// Leaves the modelview matrix at identity, the star texture bound and the last star's colour current.
void DrawStarFieldFast();

// ---- Offered, not called by the program -----------------------------------------------------------

// One line segment; the line width stays set.
void GLLine(float x1, float y1, float x2, float y2, float width);
// Filled square of side 64 * scale at (x, y).
void GLDrawQuad(int x, int y, float scale);
// Outlined square of side 64 * scale at (x, y).
void GLDrawRect(int x, int y, float scale);
// Untextured regular tetrahedron.
void DrawIhlan(double size);
// Draws nothing.
void DrawMouse(int);
// Cells of 64 pixels that fit the overlay after a 250-pixel margin, and the field's edges.
extern int FldX, FldY, FldRight, FldLow;
// Fills FldX, FldY, FldRight and FldLow from the overlay's size.
void CalculateGrSize();
