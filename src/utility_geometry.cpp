// SCAFFOLD (owner: camera helper) -- placeholder bodies so the tree links; replace all of it.
#include "utility.h"
void Normalize(strBod*) {}
double degrad(double d) { return d; }
double raddeg(double r) { return r; }
void Rotate(double, strBod*, strBod*) {}
double CosAngle(const strBod*, const strBod*) { return 0; }
int idx(int r, int c) { return r + 4 * c; }
double Mt(const float*, int, int, int, int, int, int) { return 0; }
void MultMatrix(const float*, const float*, float*) {}
double Determinant(const float*) { return 1; }
void InvertMatrix(const float*, float*) {}
