// SCAFFOLD (owner: camera helper) -- placeholder bodies so the tree links; replace all of it.
#include "graphics.h"
void CreateViewMatrix() {}
