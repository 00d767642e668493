// The pair loop of the fast gravity kernel, written once for every build. The file that includes it
// has defined, for its instruction set:
//   Lanes, LaneWidth         a register of LaneWidth doubles
//   Load, Store, Splat       memory access and broadcast (any alignment)
//   Sqrt                     the IEEE square root of each lane
//   RoundToFloat             each lane rounded to single precision and widened back
//   Seeds(a, b, sa, sb)      sa, sb = 1 / sqrt of each lane of a, b in single precision, widened;
//                            false when any lane lies outside SeedLow to SeedHigh
// and KERNEL_PAIRS, KERNEL_FLOOR, the names of the two functions built from it.
//
// The arithmetic. The pull of star j on star i is dx * GM(i) * m(j) / d^3. The single-precision
// seed s of 1 / d has a relative error of at most about 1.5e-7; with r = 1 - d^2 s^2 (about twice
// that), 1 / d^3 = s^3 (1 - r)^(-3/2) = s^3 (1 + 3/2 r + 15/8 r^2 + ...), and the series cut after r^2
// leaves about 2.2 r^3, below 1e-19: the cube comes out as exact as double arithmetic makes it, in
// a few multiplications. Float conversion, square root and division are correctly rounded
// everywhere, so the seed has the same bits on every CPU.
// Lanes whose d^2 lies outside the seed's range (where the float seed would not be a normal number,
// or d^2 is infinite or not a number) take the reference formula instead, operation by operation.
//
// Every build works on the same groups of KernelLanes doubles with the same operations in the same
// order; a narrower register only does a group in several pieces, lane by lane. The pull on star i
// is summed lane by lane across the groups in increasing j and the lanes are added in a fixed order
// at the end; the opposite pull on star j is subtracted in increasing i. So every build gives the
// same bits, whatever its width and however it walks through the groups.
//
// Everything here is internal to its translation unit: an inline function shared between the builds
// could let the linker keep the AVX-512 copy and run it on a CPU without AVX-512.

#include "galaxy.h"

// The lane groups are passed between functions of this file only, all of them inlined, so the
// calling convention GCC warns about for wide vectors under narrower instruction sets never shows.
#pragma GCC diagnostic ignored "-Wpsabi"

namespace {

static_assert(KernelLanes % LaneWidth == 0, "a lane group is a whole number of registers");

// Stars of the i side handled while one block of the j side sits in the first-level cache.
constexpr int BlockI = 32;
// Stars of one j block: seven arrays of 512 doubles take 28 KiB, inside the 32 KiB of the smallest
// first-level data caches.
constexpr int BlockJ = 512;
static_assert(BlockJ % KernelLanes == 0, "j blocks hold whole lane groups");

// Each step of the loop takes two registers of stars j, a pair of slices, whose seeds share one
// single-precision register. Narrow registers take neighbouring pieces of one lane group, and a
// row is then walked once for each pair of pieces; the widest take two neighbouring groups.
constexpr bool SlicesSpanGroups = 2 * LaneWidth > KernelLanes;
constexpr int SliceApart = SlicesSpanGroups ? KernelLanes : LaneWidth;
constexpr int StepJ = SlicesSpanGroups ? 2 * KernelLanes : KernelLanes;
constexpr int PassWidth = SlicesSpanGroups ? KernelLanes : 2 * LaneWidth;
// The loop starts each step's seeds during the step before, so it reads up to one step past the
// groups it works on.
static_assert(KernelReadAhead >= StepJ, "the arrays hold the stars read ahead");

// The refinement's constants, all exact in binary: (1 - r)^(-3/2) is taken as 1 + r (3/2 + 15/8 r),
// and with r = 1 - e the bracket is 27/8 - 15/8 e.
constexpr double SeriesOne = 1.0;
constexpr double BracketBase = 3.375;
constexpr double BracketSlope = 1.875;

#define KERNEL_INLINE [[gnu::always_inline]] inline

// Both lane masks: bitwise for registers, logical for the portable build's single lane.
template <typename Mask>
KERNEL_INLINE Mask Both(Mask a, Mask b) {
    return a & b;
}

KERNEL_INLINE bool Both(bool a, bool b) {
    return a && b;
}

KERNEL_INLINE Lanes LaneNumbers() {
    static const double numbers[KernelLanes] = {0, 1, 2, 3, 4, 5, 6, 7};
    return Load(numbers);
}

// One star of the i side, a row of pairs: its position, its GM and its mass.
struct strRow {
    Lanes X, Y, Z, GM;
    double M;
};

// The pull of one slice of stars j on the row, before any lane is mended.
struct strPull {
    Lanes Dx, Dy, Dz, D2;
    Lanes Cx, Cy, Cz;
};

// The first half of a slice's work: its masses, the separations and the seed.
struct strSlice {
    Lanes Mj;
    strPull P;
    Lanes S;
};

// The pull on the row summed lane by lane, in registers for the length of a pass.
struct strSums {
    Lanes X, Y, Z;
};

// factor / d^3 from the seed s of 1 / d. With e = d^2 s^2, r = 1 - e is exact (e is close to 1),
// and the bracket is formed from e beside r, which keeps the chain of dependent steps short.
KERNEL_INLINE Lanes RefinedCube(Lanes d2, Lanes s, Lanes factor) {
    const Lanes s2 = s * s;
    const Lanes scale = s2 * s * factor;
    const Lanes e = d2 * s2;
    const Lanes r = Splat(SeriesOne) - e;
    const Lanes bracket = Splat(BracketBase) - Splat(BracketSlope) * e;
    return scale * (Splat(SeriesOne) + r * bracket);
}

// The reference formula, step for step: no pull where the distance is not greater than zero or its
// square in metres underflows, and the pull as newtons times the unit vector.
KERNEL_INLINE void ReferencePull(const strKernelCloud& c, Lanes mi, Lanes mj, strPull& p) {
    const Lanes d = Sqrt(p.D2);
    const Lanes metres = Splat(c.Radius) * d;
    const Lanes metresSquared = metres * metres;
    const Lanes f = Splat(c.NegGravConst) * mi * mj / metresSquared;
    const auto pulls = Both(d > Splat(0.0), metresSquared > Splat(0.0));
    const Lanes none = Splat(0.0);
    p.Cx = pulls ? (p.Dx / d) * f : none;
    p.Cy = pulls ? (p.Dy / d) * f : none;
    p.Cz = pulls ? (p.Dz / d) * f : none;
}

// Lanes outside the seed's range get the reference pull, and lanes that are no partner of the row
// (star j at or before star i, or past the cloud) get none. Rare: only slices that need it come here.
KERNEL_INLINE void MendLanes(const strKernelCloud& c, const strRow& row, int i, int j, Lanes mj,
                             strPull& p) {
    const Lanes rounded = RoundToFloat(p.D2);
    const auto seeded = Both(rounded >= Splat(SeedLow), rounded <= Splat(SeedHigh));
    strPull reference = p;
    ReferencePull(c, Splat(row.M), mj, reference);
    const Lanes jv = Splat(j) + LaneNumbers();
    const auto partner = Both(jv > Splat(i), jv < Splat(c.N));
    const Lanes none = Splat(0.0);
    p.Cx = partner ? (seeded ? p.Cx : reference.Cx) : none;
    p.Cy = partner ? (seeded ? p.Cy : reference.Cy) : none;
    p.Cz = partner ? (seeded ? p.Cz : reference.Cz) : none;
}

KERNEL_INLINE void BeginSlice(const strKernelCloud& c, const strRow& row, int j, strSlice& s) {
    s.Mj = Load(c.M + j);
    s.P.Dx = row.X - Load(c.X + j);
    s.P.Dy = row.Y - Load(c.Y + j);
    s.P.Dz = row.Z - Load(c.Z + j);
    s.P.D2 = s.P.Dx * s.P.Dx + s.P.Dy * s.P.Dy + s.P.Dz * s.P.Dz;
}

// Both slices of a step up to their seeds; false when a lane needs mending.
KERNEL_INLINE bool BeginStep(const strKernelCloud& c, const strRow& row, int j, strSlice& a, strSlice& b) {
    BeginSlice(c, row, j, a);
    BeginSlice(c, row, j + SliceApart, b);
    return Seeds(a.P.D2, b.P.D2, a.S, b.S);
}

// The rest of a slice's work: the refined pull, mended where asked, added to the row's sums and
// taken from the stars j.
KERNEL_INLINE void FinishSlice(const strKernelCloud& c, const strRow& row, int i, int j, bool mend,
                               strSlice& s, strSums& sums) {
    const Lanes q = RefinedCube(s.P.D2, s.S, row.GM * s.Mj);
    s.P.Cx = s.P.Dx * q;
    s.P.Cy = s.P.Dy * q;
    s.P.Cz = s.P.Dz * q;
    if (mend) MendLanes(c, row, i, j, s.Mj, s.P);
    sums.X += s.P.Cx;
    sums.Y += s.P.Cy;
    sums.Z += s.P.Cz;
    Store(c.FX + j, Load(c.FX + j) - s.P.Cx);
    Store(c.FY + j, Load(c.FY + j) - s.P.Cy);
    Store(c.FZ + j, Load(c.FZ + j) - s.P.Cz);
}

// Steps from group g on while they end by `limit` and all their lanes are seeded; returns the group
// where it stopped. Each step's seeds start while the step before finishes, so that their long
// square roots and divisions overlap the rest; the step read ahead lies inside the arrays.
KERNEL_INLINE int SeededSteps(const strKernelCloud& c, const strRow& row, int i, int offset, int g,
                              int limit, strSums& first, strSums& second) {
    if (g + StepJ > limit) return g;
    strSlice a, b, nextA, nextB;
    if (!BeginStep(c, row, g + offset, a, b)) return g;
    // Two steps a turn, the registers of the one read ahead taking turns, so that none need copying.
    for (;;) {
        int next = g + StepJ;
        bool nextSeeded = BeginStep(c, row, next + offset, nextA, nextB);
        FinishSlice(c, row, i, g + offset, false, a, first);
        FinishSlice(c, row, i, g + offset + SliceApart, false, b, second);
        if (!nextSeeded || next + StepJ > limit) return next;
        g = next;
        next = g + StepJ;
        nextSeeded = BeginStep(c, row, next + offset, a, b);
        FinishSlice(c, row, i, g + offset, false, nextA, first);
        FinishSlice(c, row, i, g + offset + SliceApart, false, nextB, second);
        if (!nextSeeded || next + StepJ > limit) return next;
        g = next;
    }
}

// One step whose lanes need mending, or a last group alone (`slices` 1, widest registers only); kept
// out of the loop above, whose registers it would otherwise crowd.
[[gnu::noinline]] void MendedStep(const strKernelCloud& c, const strRow& row, int i, int j, int slices,
                                  strSums& first, strSums& second) {
    strSlice a, b;
    BeginStep(c, row, j, a, b);
    FinishSlice(c, row, i, j, true, a, first);
    if (slices == 2) FinishSlice(c, row, i, j + SliceApart, true, b, second);
}

// Star i against groups g0 to g1 in the pass at lane `offset`. Groups before `inner` or from `outer`
// on may hold lanes that are no partners of the row.
KERNEL_INLINE void RowAgainstGroups(const strKernelCloud& c, const strRow& row, int i, int offset, int g0,
                                    int g1, int inner, int outer, strSums& first, strSums& second) {
    for (int g = g0; g < g1;) {
        if (g >= inner) {
            const int stop = SeededSteps(c, row, i, offset, g, outer, first, second);
            if (stop > g) {
                g = stop;
                continue;
            }
        }
        const int slices = g + StepJ <= g1 ? 2 : 1;
        MendedStep(c, row, i, g + offset, slices, first, second);
        g += slices == 2 ? StepJ : KernelLanes;
    }
}

// Running sums of the pull on one star of the i side, lane by lane across the j blocks.
struct strLaneSums {
    double X[KernelLanes], Y[KernelLanes], Z[KernelLanes];
};

KERNEL_INLINE strSums LoadSums(const strLaneSums& s, int lane) {
    return {Load(s.X + lane), Load(s.Y + lane), Load(s.Z + lane)};
}

KERNEL_INLINE void StoreSums(strLaneSums& s, int lane, const strSums& v) {
    Store(s.X + lane, v.X);
    Store(s.Y + lane, v.Y);
    Store(s.Z + lane, v.Z);
}

int Smaller(int a, int b) {
    return a < b ? a : b;
}

int Larger(int a, int b) {
    return a > b ? a : b;
}

// First lane group that can hold a partner of star i.
int FirstGroup(int i) {
    return (i + 1) / KernelLanes * KernelLanes;
}

// Star i against the groups of one j block, g0 to g1. Only the row's first group can hold stars at
// or before it, and only the cloud's last group padding; the groups between need no lane checks.
void RowAgainstBlock(const strKernelCloud& cloud, int i, int g0, int g1, strLaneSums& laneSums) {
    // A local copy: the vector stores may alias anything, and would make the pointers behind a
    // reference be loaded again after each of them.
    const strKernelCloud c = cloud;
    const strRow row = {Splat(c.X[i]), Splat(c.Y[i]), Splat(c.Z[i]), Splat(c.GM[i]), c.M[i]};
    const int diagonalEnd = g0 <= i ? g0 + KernelLanes : g0;
    const int fullEnd = Larger(diagonalEnd, Smaller(g1, c.N / KernelLanes * KernelLanes));
    for (int offset = 0; offset < KernelLanes; offset += PassWidth) {
        strSums first = LoadSums(laneSums, offset);
        strSums apart = LoadSums(laneSums, (offset + SliceApart) % KernelLanes);
        // Slices a whole group apart share the lanes, and so the sums.
        strSums& second = SlicesSpanGroups ? first : apart;
        RowAgainstGroups(c, row, i, offset, g0, g1, diagonalEnd, fullEnd, first, second);
        StoreSums(laneSums, offset, first);
        if (!SlicesSpanGroups) StoreSums(laneSums, offset + SliceApart, apart);
    }
}

// The lanes of one star's partial sums added in a fixed order.
double SumLanes(const double* lanes) {
    double s = lanes[0];
    for (int k = 1; k < KernelLanes; ++k) s += lanes[k];
    return s;
}

// Rows i0 to i1 against every j block.
void PairsOfBlockI(const strKernelCloud& c, int i0, int i1) {
    strLaneSums sums[BlockI] = {};
    const int groupsEnd = (c.N + KernelLanes - 1) / KernelLanes * KernelLanes;
    for (int j0 = FirstGroup(i0); j0 < groupsEnd; j0 += BlockJ) {
        const int j1 = Smaller(j0 + BlockJ, groupsEnd);
        for (int i = i0; i < i1; ++i) {
            const int g0 = Larger(j0, FirstGroup(i));
            if (g0 < j1) RowAgainstBlock(c, i, g0, j1, sums[i - i0]);
        }
    }
    for (int i = i0; i < i1; ++i) {
        c.FX[i] += SumLanes(sums[i - i0].X);
        c.FY[i] += SumLanes(sums[i - i0].Y);
        c.FZ[i] += SumLanes(sums[i - i0].Z);
    }
}

}  // namespace

void KERNEL_PAIRS(const strKernelCloud& c) {
    for (int i0 = 0; i0 < c.N; i0 += BlockI) PairsOfBlockI(c, i0, Smaller(i0 + BlockI, c.N));
}

void KERNEL_FLOOR(const double* in, double* out, int n) {
    const int step = 2 * LaneWidth;
    for (int k = 0; k + step <= n; k += step) {
        const Lanes a = Load(in + k), b = Load(in + k + LaneWidth);
        Lanes sa, sb;
        Seeds(a, b, sa, sb);
        Store(out + k, RefinedCube(a, sa, Splat(SeriesOne)));
        Store(out + k + LaneWidth, RefinedCube(b, sb, Splat(SeriesOne)));
    }
}
