// The gravity kernel's own declarations, shared by its driver (galaxy_kernel.cpp) and its builds
// (galaxy_kernel_<instruction set>.cpp over galaxy_kernel_body.h); the rest of the program sees the
// kernel through galaxy.h.
#pragma once

#include "galaxy.h"

// Entries past the cloud's last lane group that the kernel may read, never write: its arrays hold
// them as massless stars at the origin.
constexpr int KernelReadAhead = 2 * KernelLanes;
// Squared scene distances from SeedLow to SeedHigh take the refined seed: as floats they and their
// reciprocal roots are normal numbers with a wide margin. Powers of two, exact in float and double.
constexpr double SeedLow = 0x1p-100;
constexpr double SeedHigh = 0x1p100;

// The structure-of-arrays copy of the live stars that the kernel works on. Every array holds N
// entries padded to a whole lane group with massless stars at the origin; M is the mass in kg, GM
// the mass times -GravConst / Radius^2, F the force in newtons, which the kernel adds to.
struct strKernelCloud {
    const double* X;
    const double* Y;
    const double* Z;
    const double* M;
    const double* GM;
    double* FX;
    double* FY;
    double* FZ;
    int N;
    double NegGravConst;  // -GravConst, for the reference formula
    double Radius;        // m, for the reference formula
};

// The pairs of rows i0 to i1 - 1 with every later star, added to F, in each build; defined only
// where the build exists.
void KernelPairsPortable(const strKernelCloud& cloud, int i0, int i1);
void KernelPairsSse2(const strKernelCloud& cloud, int i0, int i1);
void KernelPairsAvx2(const strKernelCloud& cloud, int i0, int i1);
void KernelPairsAvx512(const strKernelCloud& cloud, int i0, int i1);
void KernelPairsNeon(const strKernelCloud& cloud, int i0, int i1);
// out[k] = in[k]^(-3/2) by each build's seed and refinement, for the first n entries taken a group
// of two registers at a time: the arithmetic of one pair's distance, for measuring its floor.
void KernelFloorPortable(const double* in, double* out, int n);
void KernelFloorSse2(const double* in, double* out, int n);
void KernelFloorAvx2(const double* in, double* out, int n);
void KernelFloorAvx512(const double* in, double* out, int n);
void KernelFloorNeon(const double* in, double* out, int n);
