// The pair loop of the fast gravity kernel, compiled once for each instruction set by the three
// galaxy_kernel_<isa>.cpp files, which define KERNEL_PAIRS and KERNEL_FLOOR before including it.
//
// Every build works on the same groups of eight doubles with the same operations in the same order;
// a narrower instruction set only does each group in two or four pieces, lane by lane. IEEE addition,
// multiplication, division and square root are exact to the bit in every lane, and the lanes are
// summed into one number by scalar code in a fixed order, so every build gives the same bits.
//
// Everything here is internal to its translation unit: an inline function shared between the builds
// could let the linker keep the AVX-512 copy and run it on a CPU without AVX-512.

#include <immintrin.h>

#include <cstring>

#include "galaxy.h"

// The lane groups are passed between functions of this file only, all of them inlined, so the
// calling convention GCC warns about for wide vectors under narrower instruction sets never shows.
#pragma GCC diagnostic ignored "-Wpsabi"

namespace {

typedef double Lanes __attribute__((vector_size(KernelLanes * sizeof(double))));
typedef long long LaneMask __attribute__((vector_size(KernelLanes * sizeof(double))));

// Stars of the i side handled together while one block of the j side sits in the first-level cache.
constexpr int BlockI = 32;
// Stars of one j block: seven arrays of 512 doubles take 28 KiB, inside the 32 KiB of the smallest
// first-level data caches.
constexpr int BlockJ = 512;
static_assert(BlockJ % KernelLanes == 0, "j blocks hold whole lane groups");

Lanes Load(const double* p) {
    Lanes v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

void Store(double* p, Lanes v) {
    std::memcpy(p, &v, sizeof v);
}

Lanes Splat(double x) {
    return Lanes{} + x;
}

Lanes Sqrt(Lanes v) {
#if defined(__AVX512F__)
    // The all-lanes mask form: the plain form leaves a register undefined that GCC then warns about.
    return reinterpret_cast<Lanes>(_mm512_maskz_sqrt_pd(0xFF, reinterpret_cast<__m512d>(v)));
#elif defined(__AVX__)
    __m256d half[2];
    std::memcpy(half, &v, sizeof v);
    half[0] = _mm256_sqrt_pd(half[0]);
    half[1] = _mm256_sqrt_pd(half[1]);
    std::memcpy(&v, half, sizeof v);
    return v;
#else
    __m128d quarter[4];
    std::memcpy(quarter, &v, sizeof v);
    for (__m128d& q : quarter) q = _mm_sqrt_pd(q);
    std::memcpy(&v, quarter, sizeof v);
    return v;
#endif
}

// Zero in the lanes where mask is clear.
Lanes Select(LaneMask mask, Lanes v) {
    return reinterpret_cast<Lanes>(reinterpret_cast<LaneMask>(v) & mask);
}

// The lanes of one star's partial sums added in a fixed order.
double SumLanes(Lanes v) {
    double s = v[0];
    for (int k = 1; k < KernelLanes; ++k) s += v[k];
    return s;
}

// The star numbers 0 to 7 as lanes, to tell by comparison which lanes of a group hold partners.
Lanes LaneNumbers() {
    Lanes v;
    for (int k = 0; k < KernelLanes; ++k) v[k] = k;
    return v;
}

int Smaller(int a, int b) {
    return a < b ? a : b;
}

int Larger(int a, int b) {
    return a > b ? a : b;
}

// Running sums of the pull on one star of the i side, kept lane by lane across the j blocks.
struct strLaneForce {
    Lanes x, y, z;
};

// Star i against the stars of one j block from j onwards: the pull on i goes into acc lane by
// lane, the opposite pull into the partners' force arrays. Lanes that are i itself or lie before it,
// lanes past the cloud, coinciding pairs and pairs without a defined distance contribute zeros.
void PairsAgainstBlock(const strKernelCloud& c, int i, int j, int end, strLaneForce& acc) {
    const Lanes xi = Splat(c.X[i]), yi = Splat(c.Y[i]), zi = Splat(c.Z[i]), gmi = Splat(c.GM[i]);
    const Lanes iv = Splat(i), nv = Splat(c.N), lane = LaneNumbers();
    // Local sums: the force arrays are doubles too, so sums kept in acc would be reloaded after
    // every store.
    Lanes ax = acc.x, ay = acc.y, az = acc.z;
    // Local pointers that the stores cannot change, so they stay in registers.
    const double* __restrict x = c.X;
    const double* __restrict y = c.Y;
    const double* __restrict z = c.Z;
    const double* __restrict m = c.M;
    double* __restrict fx = c.FX;
    double* __restrict fy = c.FY;
    double* __restrict fz = c.FZ;
    for (; j < end; j += KernelLanes) {
        const Lanes jv = Splat(j) + lane;
        const Lanes dx = xi - Load(x + j), dy = yi - Load(y + j), dz = zi - Load(z + j);
        const Lanes d2 = dx * dx + dy * dy + dz * dz;
        const Lanes den = d2 * Sqrt(d2);
        const LaneMask partner = (jv > iv) & (jv < nv) & (den > 0);
        // Selected after the products: a partner lost to not-a-number must not turn zeros into NaN.
        const Lanes q = gmi * Load(m + j) / den;
        const Lanes cx = Select(partner, dx * q), cy = Select(partner, dy * q), cz = Select(partner, dz * q);
        ax += cx;
        ay += cy;
        az += cz;
        Store(fx + j, Load(fx + j) - cx);
        Store(fy + j, Load(fy + j) - cy);
        Store(fz + j, Load(fz + j) - cz);
    }
    acc = {ax, ay, az};
}

// First lane group that can hold a partner of star i.
int FirstGroup(int i) {
    return (i + 1) / KernelLanes * KernelLanes;
}

void PairsOfBlockI(const strKernelCloud& c, int i0, int i1) {
    strLaneForce acc[BlockI] = {};
    const int groupsEnd = (c.N + KernelLanes - 1) / KernelLanes * KernelLanes;
    for (int j0 = FirstGroup(i0); j0 < groupsEnd; j0 += BlockJ) {
        const int j1 = Smaller(j0 + BlockJ, groupsEnd);
        for (int i = i0; i < i1; ++i) {
            const int j = Larger(j0, FirstGroup(i));
            if (j < j1) PairsAgainstBlock(c, i, j, j1, acc[i - i0]);
        }
    }
    for (int i = i0; i < i1; ++i) {
        c.FX[i] += SumLanes(acc[i - i0].x);
        c.FY[i] += SumLanes(acc[i - i0].y);
        c.FZ[i] += SumLanes(acc[i - i0].z);
    }
}

}  // namespace

void KERNEL_PAIRS(const strKernelCloud& c) {
    for (int i0 = 0; i0 < c.N; i0 += BlockI) PairsOfBlockI(c, i0, Smaller(i0 + BlockI, c.N));
}

void KERNEL_FLOOR(const double* in, double* out, int n) {
    const Lanes one = Splat(1.0);
    for (int k = 0; k + KernelLanes <= n; k += KernelLanes) Store(out + k, one / Sqrt(Load(in + k)));
}
