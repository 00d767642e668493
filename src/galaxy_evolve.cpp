// SCAFFOLD (owner: simulation helper) -- placeholder bodies so the tree links; replace all of it.
#include "galaxy.h"
void GenerateGalaxy() {}
void EvolRecalc() {}
void EvolRecalcPlain() {}
