// SCAFFOLD (owner: camera helper) -- placeholder bodies so the tree links; replace all of it.
#include "galaxy.h"
int LastPhysic;
int LastPlayer;
void ShipRecalc() {}
void EvolutionKeys() {}
