// SCAFFOLD (owner: rendering helper) -- placeholder bodies so the tree links; replace all of it.
#include "graphics.h"
TextureImage textures[100];
std::int32_t max_texture;
std::int32_t imgStar;
int FldX, FldY, FldRight, FldLow;
bool EmbDecodeTGA(TextureImage*, const unsigned char*, long, int) { return false; }
void FreeTGA(TextureImage*) {}
bool EmbLoadTGA(TextureImage*, const unsigned char*, long, int) { return true; }
int LoadGLTextures() { return 1; }
void GLQuad(float, float, float, float) {}
void GLRect(float, float, float, float, float) {}
void GLLine(float, float, float, float, float) {}
void GLDrawQuad(int, int, float) {}
void GLDrawRect(int, int, float) {}
void DrawBitmap(int, double) {}
void DrawIhlan(double) {}
void DrawMouse(int) {}
void CalculateGrSize() {}
void GraphicsDrawEvol() {}
void DrawStar(const strStar*) {}
int StarIdxCompare(const void*, const void*) { return 0; }
void DrawStarField() {}
void DrawInfo() {}
void GraphicsDrawMM() {}
