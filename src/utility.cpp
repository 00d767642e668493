// SCAFFOLD (owner: simulation helper) -- placeholder bodies so the tree links; replace all of it.
#include "utility.h"
#include "galaxy.h"
void RandSeed(unsigned int) {}
int RandNext() { return 0; }
float frand(float a, float) { return a; }
double drand(double a, double) { return a; }
int irand(int a, int) { return a; }
void Randomize() {}
double dist(double, double, double, double, double, double) { return 0; }
void MassColor(double, strColor* c) { c->Red = c->Green = c->Blue = 0; }
double MassSize(double) { return 0.002; }
