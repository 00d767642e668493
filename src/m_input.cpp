// SCAFFOLD (owner: rendering helper) -- placeholder bodies so the tree links; replace all of it.
#include "m_input.h"
strInMenu INmenu;
void InMenuClear() {}
int InMenuActivate(int, int, const char*, const char*, int) { return 0; }
void InMenuDeactivate() {}
void InMenuKeys() {}
void InMenuDraw() {}
