// SCAFFOLD (owner: platform helper) -- placeholder bodies so the tree links; replace all of it.
#include "system.h"
bool ClockManual;
int ClockManualMs;
int Clock() { return ClockManual ? ClockManualMs : 0; }
HWND hWnd;
void* hRC;
bool fullscreen;
int WIN_X, WIN_Y, FS_X, FS_Y, FS_X0;
void ScreenSize(int* w, int* h) { *w = 1024; *h = 768; }
int GrInit() { return -1; }
void GrClose() {}
bool CreateGLWindow(const char*, int, int, int, bool) { return false; }
void KillGLWindow() {}
int InitGL() { return 1; }
void ReSizeGLScene(int, int) {}
int MessageBox(const char*, const char*, unsigned) { return IDNO; }
unsigned char keys[256];
int keys_t[256];
strMouse Mouse;
bool active = true;
LRESULT WndProc(HWND, UINT, WPARAM, LPARAM) { return 0; }
void MouseMove(int, int) {}
void SetMouseClick() {}
void ShowMouseCursor() {}
void PostQuitMessage(int) {}
bool PeekMessage(MSG*) { return false; }
void DispatchMessage(const MSG*) {}
int SystemMessages() { return 0; }
void HandleKeys() {}
int DrawTime[10];
int DTidx;
int LastDraw;
int AmbrelDoevents() { return 0; }
void AmbrelDraw() {}
void DrawScene() {}
void RecomputeRR(int) {}
void Sleep(float) {}
void SwapBuffers() {}
const int FontSize[5] = {8, 12, 16, 24, 32};
int fntBase[5];
void BuildFont() {}
void KillFont() {}
void glPrint(int, const char*, ...) {}
int Log;
void LogMsg(const char*, int) {}
