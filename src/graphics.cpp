// Rendering: the star texture, the drawing primitives, the depth-sorted star field, the information
// overlay and the start screen.
#include "graphics.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "galaxy.h"
#include "system.h"

TextureImage textures[100];
std::int32_t max_texture;
std::int32_t imgStar;
int FldX, FldY, FldRight, FldLow;

namespace {

// ---- Star texture ---------------------------------------------------------------------------------

constexpr int TgaWidthOffset = 12;
constexpr int TgaHeightOffset = 14;
constexpr int TgaBppOffset = 16;
// The star's alpha comes from its grey level: black transparent, bright opaque.
constexpr int StarAlphaMode = 3;
constexpr const char* StarImageName = "star.tga";

int ReadWord(const unsigned char* p) { return p[0] + 256 * p[1]; }

unsigned char AlphaOf(int red, int green, int blue, int alphaMode) {
    const int mean = (red + green + blue) / 3;
    switch (alphaMode) {
    case 0: return (red | green | blue) != 0 ? 255 : 0;
    case 1: {
        int m = red > green ? red : green;
        return static_cast<unsigned char>(m > blue ? m : blue);
    }
    case 2: return static_cast<unsigned char>(mean);
    case 3: return static_cast<unsigned char>(mean > 127 ? 255 : 2 * mean);
    default: return 255;  // no mode asks for anything else; opaque is the harmless answer
    }
}

// Expands a 24-bit image (already red-green-blue) into image->rgba; false when out of memory.
bool ExpandToRgba(TextureImage* image, long pixelCount, int alphaMode) {
    image->rgba = static_cast<unsigned char*>(std::malloc(static_cast<std::size_t>(pixelCount) * 4));
    if (!image->rgba) return false;
    const unsigned char* in = image->pixels;
    unsigned char* out = image->rgba;
    for (long i = 0; i < pixelCount; ++i, in += 3, out += 4) {
        out[0] = in[0];
        out[1] = in[1];
        out[2] = in[2];
        out[3] = AlphaOf(in[0], in[1], in[2], alphaMode);
    }
    return true;
}

// One mipmap level from the one above it, in place: each texel the mean of the (up to) four it stands
// for, rounded as GLU rounds it. Every texel written lies before those still to be read.
void HalveImage(unsigned char* rgba, int width, int height) {
    const int halfWidth = width > 1 ? width / 2 : 1;
    const int halfHeight = height > 1 ? height / 2 : 1;
    for (int y = 0; y < halfHeight; ++y) {
        const unsigned char* row0 = rgba + static_cast<std::size_t>(2 * y < height ? 2 * y : y) * width * 4;
        const unsigned char* row1 = rgba + static_cast<std::size_t>(2 * y + 1 < height ? 2 * y + 1 : 2 * y) * width * 4;
        for (int x = 0; x < halfWidth; ++x) {
            const int x0 = (2 * x < width ? 2 * x : x) * 4;
            const int x1 = (2 * x + 1 < width ? 2 * x + 1 : 2 * x) * 4;
            unsigned char* out = rgba + (static_cast<std::size_t>(y) * halfWidth + x) * 4;
            for (int c = 0; c < 4; ++c)
                out[c] = static_cast<unsigned char>((row0[x0 + c] + row0[x1 + c] + row1[x0 + c] + row1[x1 + c] + 2) / 4);
        }
    }
}

// Uploads an image and every level below it down to one texel, as gluBuild2DMipmaps does for the
// power-of-two images of the program; GLU is not in every GL (a page has none). The image is spent.
void UploadMipmaps(unsigned char* rgba, int width, int height) {
    for (int level = 0;; ++level) {
        glTexImage2D(GL_TEXTURE_2D, level, GL_RGBA, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
        if (width == 1 && height == 1) return;
        HalveImage(rgba, width, height);
        width = width > 1 ? width / 2 : 1;
        height = height > 1 ? height / 2 : 1;
    }
}

// ---- Drawing primitives ---------------------------------------------------------------------------

constexpr float CellPx = 64;  // side of a field cell at scale 1

// ---- Star field -------------------------------------------------------------------------------------

// Fills StarIdx with the living stars and their distances from the camera.
void CollectStars() {
    G.NumVisible = 0;
    for (int i = 0; i < CloudSize(); ++i) {
        const strStar& s = Star[i];
        if (s.Alive != 1) continue;
        StarIdx[G.NumVisible].Index = i;
        StarIdx[G.NumVisible].Dist = dist(G.ShipPos.x, G.ShipPos.y, G.ShipPos.z, s.Pos.x, s.Pos.y, s.Pos.z);
        ++G.NumVisible;
    }
}

void SortStars() {
    std::qsort(StarIdx, static_cast<std::size_t>(G.NumVisible), sizeof(strStarIdx), StarIdxCompare);
}

void DrawSortedStars() {
    for (int k = 0; k < G.NumVisible; ++k) DrawStar(&Star[StarIdx[k].Index]);
}

// ---- Overlay ------------------------------------------------------------------------------------------

constexpr int OverlayFont = 3;
constexpr int TitleFont = 4;
constexpr float OverlayLeftPx = 1;
constexpr int OverlayTopBaselinePx = 25;
constexpr int SpeedBarHeightPx = 20;
constexpr int StartAddressBaselinePx = 100;
constexpr int StartNameBaselinePx = 200;

// The project's home page, shown on the start screen: set where the build is configured (a
// placeholder until the project has one). It is printed as data, never as a format.
constexpr const char* ProjectAddress = KELVRA_HOMEPAGE;
constexpr const char* ProgramName = "Kelvra";
constexpr const char* CreditLine = "Kelvra by the Kelvra developers";
constexpr const char* PausedBanner = "***PAUSED***";

int TextLength(const char* text) { return static_cast<int>(std::strlen(text)); }

// x of the left end of a text of `chars` characters centred in the overlay in a font of nominal `size`.
float CentredX(int chars, int size) {
    return static_cast<float>(FS_X * 0.5 - chars * (size * CharWidthPerSize * 0.5));
}

// Orthographic pixel frame over the whole window, y downward, untextured, identity modelview.
void SetPixelFrame() {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, FS_X, FS_Y, 0, 0, 1);
    glMatrixMode(GL_MODELVIEW);
    BindTexture(0);
    glLoadIdentity();
}

// Prints text as data (never as a format) with its baseline starting at (x, y).
void PrintAt(int font, float x, float y, const char* text) {
    glRasterPos2f(x, y);
    glPrint(font, "%s", text);
}

void PrintOverlayLine(int line, const char* text) {
    PrintAt(OverlayFont, OverlayLeftPx, static_cast<float>(OverlayTopBaselinePx + FontSize[OverlayFont] * line),
            text);
}

void PrintOverlayLines() {
    char text[64];
    glColor4f(0, 0.8f, 0, 1);
    PrintOverlayLine(0, CreditLine);
    PrintOverlayLine(1, "Forming of Galaxy");
    glColor4f(1, 1, 0, 1);
    PrintOverlayLine(2, "SPACE = stop/start");
    PrintOverlayLine(3, "ESC   = quit");
    glColor4f(0, 0, 1, 1);
    std::snprintf(text, sizeof text, "Stars   = %i", G.NumStars);
    PrintOverlayLine(4, text);
    std::snprintf(text, sizeof text, "delta T = %.2f years", G.DeltaT);
    PrintOverlayLine(5, text);
    std::snprintf(text, sizeof text, "radius  = %.2f ly", G.Radius / G.LightYear);
    PrintOverlayLine(6, text);
    std::snprintf(text, sizeof text, "Turn    = %i", G.Turn);
    PrintOverlayLine(7, text);
    std::snprintf(text, sizeof text, "Seed    = %i", G.Seed);
    PrintOverlayLine(8, text);
    glColor4f(0.3f, 0, 0.5f, 1);
    PrintOverlayLine(9, "Ship");
    PrintOverlayLine(10, "arrows - turn");
    PrintOverlayLine(11, "A,Z - speed");
    PrintOverlayLine(12, "Q,W - rotate");
    PrintOverlayLine(13, "mouse - turn");
    glColor4f(0.2f, 0, 0.4f, 1);
    PrintOverlayLine(14, "STOP simulation");
    PrintOverlayLine(15, "before moving");
}

void DrawPauseBanner() {
    glColor4f(0.5f, 0.5f, 0.5f, 1);
    PrintAt(OverlayFont, CentredX(TextLength(PausedBanner), FontSize[OverlayFont]),
            static_cast<float>(OverlayTopBaselinePx), PausedBanner);
}

// A bar along the bottom edge from the middle, right and green forward, left and red backward.
void DrawSpeedBar() {
    if (std::fabs(G.ShipSpeed) < G.SpeedThreshold) return;
    if (G.ShipSpeed > 0)
        glColor3f(0, 1, 0);
    else
        glColor3f(1, 0, 0);
    float f = static_cast<float>(G.ShipSpeed / SpeedLimit);
    if (f > 1) f = 1;
    if (f < -1) f = -1;
    const int c = FS_X / 2;
    const float e = static_cast<float>(c + FS_X * f * 0.5);
    const float top = static_cast<float>(FS_Y - SpeedBarHeightPx);
    const float bottom = static_cast<float>(FS_Y);
    glBegin(GL_QUADS);
    glVertex2f(static_cast<float>(c), top);
    glVertex2f(e, top);
    glVertex2f(e, bottom);
    glVertex2f(static_cast<float>(c), bottom);
    glEnd();
}

void RestorePerspective() {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(FieldOfViewDeg, static_cast<double>(FS_X) / static_cast<double>(FS_Y), NearPlane, FarPlane);
    glMatrixMode(GL_MODELVIEW);
}

}  // namespace

// ---- Star texture -----------------------------------------------------------------------------------

bool EmbDecodeTGA(TextureImage* image, const unsigned char* src, long size, int alphaMode) {
    image->pixels = nullptr;
    image->rgba = nullptr;
    if (!src || size < TgaHeaderSize) return false;
    image->width = ReadWord(src + TgaWidthOffset);
    image->height = ReadWord(src + TgaHeightOffset);
    if (image->width == 0 || image->height == 0) return false;
    const unsigned bpp = src[TgaBppOffset];
    if (bpp != 24 && bpp != 32) return false;
    image->bpp = bpp;
    const long bytesPerPixel = bpp / 8;
    const long pixelCount = static_cast<long>(image->width) * image->height;
    const long imageSize = pixelCount * bytesPerPixel;
    // The header alone decides how many bytes are read; a truncated file must not be read past its end.
    if (imageSize > size - TgaHeaderSize) return false;

    image->pixels = static_cast<unsigned char*>(std::malloc(static_cast<std::size_t>(imageSize)));
    if (!image->pixels) return false;
    const unsigned char* data = src + TgaHeaderSize;
    for (long i = 0; i < imageSize; i += bytesPerPixel) {
        image->pixels[i] = data[i + 2];
        image->pixels[i + 1] = data[i + 1];
        image->pixels[i + 2] = data[i];
        if (bytesPerPixel == 4) image->pixels[i + 3] = data[i + 3];
    }
    if (bpp == 24 && !ExpandToRgba(image, pixelCount, alphaMode)) {
        FreeTGA(image);
        return false;
    }
    return true;
}

void FreeTGA(TextureImage* image) {
    std::free(image->pixels);
    std::free(image->rgba);
    image->pixels = nullptr;
    image->rgba = nullptr;
}

bool EmbLoadTGA(TextureImage* image, const unsigned char* src, long size, int alphaMode) {
    if (!EmbDecodeTGA(image, src, size, alphaMode)) return false;
    GLuint name = 0;
    glGenTextures(1, &name);
    image->texName = name;
    BindTexture(name);
    glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
    glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    UploadMipmaps(image->bpp == 24 ? image->rgba : image->pixels, image->width, image->height);
    BindTexture(0);
    FreeTGA(image);
    return true;
}

int LoadGLTextures() {
    max_texture = 0;
    if (!EmbLoadTGA(&textures[0], emb_data, emb_size, StarAlphaMode)) {
        char line[64];
        std::snprintf(line, sizeof line, "  ERROR loading %s", StarImageName);
        LogMsg(line, 0);
        AmbrelQuit();
        return 0;
    }
    imgStar = max_texture;
    ++max_texture;
    return 1;
}

// ---- Drawing primitives -------------------------------------------------------------------------

void GLQuad(float x1, float y1, float x2, float y2) {
    BindTexture(0);
    glBegin(GL_QUADS);
    glVertex2f(x1, y1);
    glVertex2f(x2, y1);
    glVertex2f(x2, y2);
    glVertex2f(x1, y2);
    glEnd();
}

void GLRect(float x1, float y1, float x2, float y2, float width) {
    BindTexture(0);
    glLineWidth(width);
    glBegin(GL_LINE_LOOP);
    glVertex2f(x1, y1);
    glVertex2f(x2, y1);
    glVertex2f(x2, y2);
    glVertex2f(x1, y2);
    glEnd();
}

void GLLine(float x1, float y1, float x2, float y2, float width) {
    BindTexture(0);
    glLineWidth(width);
    glBegin(GL_LINES);
    glVertex2f(x1, y1);
    glVertex2f(x2, y2);
    glEnd();
}

void GLDrawQuad(int x, int y, float scale) {
    const float d = CellPx * scale;
    GLQuad(static_cast<float>(x), static_cast<float>(y), x + d, y + d);
}

void GLDrawRect(int x, int y, float scale) {
    const float d = CellPx * scale;
    const float x1 = static_cast<float>(x), y1 = static_cast<float>(y);
    BindTexture(0);
    glBegin(GL_LINE_LOOP);
    glVertex2f(x1, y1);
    glVertex2f(x1 + d, y1);
    glVertex2f(x1 + d, y1 + d);
    glVertex2f(x1, y1 + d);
    glEnd();
}

void DrawBitmap(int texture, double half) {
    BindTexture(textures[texture].texName);
    const float s = static_cast<float>(half);
    glBegin(GL_QUADS);
    glTexCoord2f(1, 0);
    glVertex3f(-s, -s, 0);
    glTexCoord2f(0, 0);
    glVertex3f(s, -s, 0);
    glTexCoord2f(0, 1);
    glVertex3f(s, s, 0);
    glTexCoord2f(1, 1);
    glVertex3f(-s, s, 0);
    glEnd();
}

void DrawIhlan(double size) {
    glDisable(GL_LIGHTING);
    BindTexture(0);
    const float s = static_cast<float>(size);
    const float p[4][3] = {{s, s, s}, {-s, s, -s}, {-s, -s, s}, {s, -s, -s}};
    constexpr int faces[4][3] = {{0, 1, 2}, {0, 3, 1}, {0, 2, 3}, {3, 1, 2}};
    for (const auto& face : faces) {
        glBegin(GL_TRIANGLES);
        for (int corner : face) glVertex3fv(p[corner]);
        glEnd();
    }
    glEnable(GL_LIGHTING);
}

void DrawMouse(int) {}

void CalculateGrSize() {
    constexpr int MarginPx = 250;
    constexpr int CellSidePx = 64;
    constexpr int FieldOriginPx = 10;
    FldX = (FS_X - MarginPx) / CellSidePx;
    FldY = (FS_Y - MarginPx) / CellSidePx;
    FldRight = CellSidePx * FldX + FieldOriginPx;
    FldLow = CellSidePx * FldY + FieldOriginPx;
}

// ---- Star field -------------------------------------------------------------------------------------

int DrawPerStar = 0;

void BeginStarField() {
    CreateViewMatrix();
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glDisable(GL_LIGHTING);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glEnable(GL_BLEND);
    glDisable(GL_DEPTH_TEST);
}

void GraphicsDrawEvol() {
    BeginStarField();
    // The picture of DrawStarField, in one array draw instead of one draw per star.
    if (DrawPerStar != 0)
        DrawStarField();
    else
        DrawStarFieldFast();
    BindTexture(0);
    DrawInfo();
}

void DrawStar(const strStar* star) {
    if (star->Alive == 0) return;
    glLoadMatrixf(G.ViewMatrix);
    glTranslatef(-static_cast<float>(G.ShipPos.x), -static_cast<float>(G.ShipPos.y),
                 -static_cast<float>(G.ShipPos.z));
    glTranslatef(static_cast<float>(star->Pos.x), static_cast<float>(star->Pos.y),
                 static_cast<float>(star->Pos.z));
    glMultMatrixf(G.ViewMatrixInv);
    glColor4f(star->Color.Red, star->Color.Green, star->Color.Blue, 1);
    DrawBitmap(imgStar, star->Size);
}

// Farthest first. A distance that is not a number (a cloud that has blown up) counts as farther than
// every number, infinity included: the order stays total, which qsort needs to stay inside the table.
int StarIdxCompare(const void* a, const void* b) {
    const double da = static_cast<const strStarIdx*>(a)->Dist;
    const double db = static_cast<const strStarIdx*>(b)->Dist;
    const bool nanA = std::isnan(da), nanB = std::isnan(db);
    if (nanA || nanB) return nanA == nanB ? 0 : (nanA ? -1 : 1);
    if (db > da) return 1;
    if (da > db) return -1;
    return 0;
}

void DrawStarField() {
    CollectStars();
    SortStars();
    DrawSortedStars();
}

// ---- Overlay and start screen ---------------------------------------------------------------------

void DrawInfo() {
    glDisable(GL_LIGHTING);
    glDisable(GL_DEPTH_TEST);
    SetPixelFrame();
    PrintOverlayLines();
    if (G.Pause != 0) DrawPauseBanner();
    glLoadIdentity();
    DrawSpeedBar();
    RestorePerspective();
    glEnable(GL_DEPTH_TEST);
}

void GraphicsDrawMM() {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glDisable(GL_LIGHTING);
    glDisable(GL_DEPTH_TEST);
    SetPixelFrame();
    glColor4f(1, 1, 1, 1);
    PrintAt(OverlayFont, CentredX(TextLength(ProjectAddress), FontSize[OverlayFont]),
            static_cast<float>(StartAddressBaselinePx), ProjectAddress);
    glColor4f(0.85f, 0.85f, 0, 1);
    PrintAt(TitleFont, CentredX(TextLength(ProgramName), FontSize[TitleFont]),
            static_cast<float>(StartNameBaselinePx), ProgramName);
}
