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
// leaves about 2.2 r^3, below 1e-19: the cube comes out within a few units in the last place of
// double precision, in a few multiplications. Float conversion, square root and division are
// correctly rounded everywhere, so the seed has the same bits on every CPU.
// Lanes whose d^2 lies outside the seed's range (where the float seed would not be a normal number,
// or d^2 is infinite or not a number) take the reference formula instead, operation by operation.
//
// Every build works on the same groups of KernelLanes doubles with the same operations in the same
// order; a narrower register only does a group in several pieces, lane by lane. The pull on star i
// is summed lane by lane across the groups in increasing j and the lanes are added in a fixed order
// at the end; the opposite pull on star j is subtracted in increasing i over the rows asked for,
// into the arrays given. So every build gives the same bits, whatever its width and however it walks
// through the groups; the driver decides which rows go into which arrays, and in what order those
// are added.
//
// Everything here is internal to its translation unit: an inline function shared between the builds
// could let the linker keep the AVX-512 copy and run it on a CPU without AVX-512.

#include "galaxy_kernel.h"

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

// Each step of the loop works two pieces, a register of stars j each, whose seeds share one
// single-precision register. Rows of the i side go in pairs, and the pieces of a step are then one
// register of stars j against both rows, which share its loads and stores; a row left alone takes
// its pieces from two neighbouring lane groups. A row is walked once for each register of a group.
template <int Rows>
constexpr int StepJ = 2 / Rows * KernelLanes;
// The loop starts each step's seeds during the step before, so it reads up to one step past the
// groups it works on.
static_assert(KernelReadAhead >= StepJ<1>, "the arrays hold the stars read ahead");

// The refinement's constants, all exact in binary: (1 - r)^(-3/2) is taken as 1 + r (3/2 + 15/8 r),
// which with r = 1 - e is 35/8 - e (21/4 - 15/8 e).
constexpr double SeriesBase = 4.375;
constexpr double SeriesLinear = 5.25;
constexpr double SeriesSquare = 1.875;

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

// One star of the i side, a row of pairs: its position, its GM, its mass and its index.
struct strRow {
    Lanes X, Y, Z, GM;
    double M;
    int I;
};

// The pull of one piece of stars j on its row, before any lane is mended.
struct strPull {
    Lanes Dx, Dy, Dz, D2;
    Lanes Cx, Cy, Cz;
};

// The first half of a piece's work: its masses, the separations and the seed.
struct strPiece {
    Lanes Mj;
    strPull P;
    Lanes S;
};

// The pull on a row summed lane by lane, in registers for the length of a pass.
struct strSums {
    Lanes X, Y, Z;
};

// Piece 1 of a step lies on the second row, or on the row alone one lane group further on.
template <int Rows>
constexpr int SecondRow = Rows - 1;
template <int Rows>
constexpr int SecondApart = Rows == 2 ? 0 : KernelLanes;

// factor / d^3 from the seed s of 1 / d, with e = d^2 s^2. The series is taken in e itself, one
// operation fewer than through r; its terms near 4 cancel to about 1, which costs a few units in the
// last place, far below what the sums of a turn lose anyway.
KERNEL_INLINE Lanes RefinedCube(Lanes d2, Lanes s, Lanes factor) {
    const Lanes s2 = s * s;
    const Lanes scale = s2 * s * factor;
    const Lanes e = d2 * s2;
    const Lanes inner = Splat(SeriesLinear) - Splat(SeriesSquare) * e;
    return scale * (Splat(SeriesBase) - e * inner);
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
// (star j at or before star i, or past the cloud) get none. Rare: only steps that need it come here.
KERNEL_INLINE void MendLanes(const strKernelCloud& c, const strRow& row, int j, Lanes mj, strPull& p) {
    const Lanes rounded = RoundToFloat(p.D2);
    const auto seeded = Both(rounded >= Splat(SeedLow), rounded <= Splat(SeedHigh));
    strPull reference = p;
    ReferencePull(c, Splat(row.M), mj, reference);
    const Lanes jv = Splat(j) + LaneNumbers();
    const auto partner = Both(jv > Splat(row.I), jv < Splat(c.N));
    const Lanes none = Splat(0.0);
    p.Cx = partner ? (seeded ? p.Cx : reference.Cx) : none;
    p.Cy = partner ? (seeded ? p.Cy : reference.Cy) : none;
    p.Cz = partner ? (seeded ? p.Cz : reference.Cz) : none;
}

KERNEL_INLINE void BeginPiece(const strKernelCloud& c, const strRow& row, int j, strPiece& s) {
    s.Mj = Load(c.M + j);
    s.P.Dx = row.X - Load(c.X + j);
    s.P.Dy = row.Y - Load(c.Y + j);
    s.P.Dz = row.Z - Load(c.Z + j);
    s.P.D2 = s.P.Dx * s.P.Dx + s.P.Dy * s.P.Dy + s.P.Dz * s.P.Dz;
}

// Both pieces of a step up to their seeds; false when a lane needs mending.
template <int Rows>
KERNEL_INLINE bool BeginStep(const strKernelCloud& c, const strRow* rows, int j, strPiece& a, strPiece& b) {
    BeginPiece(c, rows[0], j, a);
    BeginPiece(c, rows[SecondRow<Rows>], j + SecondApart<Rows>, b);
    return Seeds(a.P.D2, b.P.D2, a.S, b.S);
}

// The refined pull of a piece, mended where asked, added to its row's sums.
KERNEL_INLINE void FinishPull(const strKernelCloud& c, const strRow& row, int j, bool mend, strPiece& s,
                              strSums& sums) {
    const Lanes q = RefinedCube(s.P.D2, s.S, row.GM * s.Mj);
    s.P.Cx = s.P.Dx * q;
    s.P.Cy = s.P.Dy * q;
    s.P.Cz = s.P.Dz * q;
    if (mend) MendLanes(c, row, j, s.Mj, s.P);
    sums.X += s.P.Cx;
    sums.Y += s.P.Cy;
    sums.Z += s.P.Cz;
}

// The pull of a piece taken from its stars j; with `more`, the pull of the second row on the same
// stars after it, in one load and store.
KERNEL_INLINE void TakeFromStars(const strKernelCloud& c, int j, const strPull& p, const strPull* more) {
    Lanes fx = Load(c.FX + j) - p.Cx;
    Lanes fy = Load(c.FY + j) - p.Cy;
    Lanes fz = Load(c.FZ + j) - p.Cz;
    if (more) {
        fx = fx - more->Cx;
        fy = fy - more->Cy;
        fz = fz - more->Cz;
    }
    Store(c.FX + j, fx);
    Store(c.FY + j, fy);
    Store(c.FZ + j, fz);
}

// The rest of a step's work. `pieces` is 1 only for a row alone at its last lane group.
template <int Rows>
KERNEL_INLINE void FinishStep(const strKernelCloud& c, const strRow* rows, int j, bool mend, int pieces,
                              strPiece& a, strPiece& b, strSums* sums) {
    FinishPull(c, rows[0], j, mend, a, sums[0]);
    if (pieces == 1) {
        TakeFromStars(c, j, a.P, nullptr);
        return;
    }
    FinishPull(c, rows[SecondRow<Rows>], j + SecondApart<Rows>, mend, b, sums[SecondRow<Rows>]);
    if (Rows == 2) {
        TakeFromStars(c, j, a.P, &b.P);
    } else {
        TakeFromStars(c, j, a.P, nullptr);
        TakeFromStars(c, j + KernelLanes, b.P, nullptr);
    }
}

// Steps from group g on while they end by `limit` and all their lanes are seeded; returns the group
// where it stopped. Each step's seeds start while the step before finishes, so that their long
// square roots and divisions overlap the rest; the step read ahead lies inside the arrays.
template <int Rows>
KERNEL_INLINE int SeededSteps(const strKernelCloud& c, const strRow* rows, int offset, int g, int limit,
                              strSums* sums) {
    constexpr int step = StepJ<Rows>;
    if (g + step > limit) return g;
    strPiece a, b, nextA, nextB;
    if (!BeginStep<Rows>(c, rows, g + offset, a, b)) return g;
    // Two steps a turn, the registers of the one read ahead taking turns, so that none need copying.
    for (;;) {
        int next = g + step;
        bool nextSeeded = BeginStep<Rows>(c, rows, next + offset, nextA, nextB);
        FinishStep<Rows>(c, rows, g + offset, false, 2, a, b, sums);
        if (!nextSeeded || next + step > limit) return next;
        g = next;
        next = g + step;
        nextSeeded = BeginStep<Rows>(c, rows, next + offset, a, b);
        FinishStep<Rows>(c, rows, g + offset, false, 2, nextA, nextB, sums);
        if (!nextSeeded || next + step > limit) return next;
        g = next;
    }
}

// One step whose lanes need mending, or a last group alone; kept out of the loop above, whose
// registers it would otherwise crowd.
template <int Rows>
[[gnu::noinline]] void MendedStep(const strKernelCloud& c, const strRow* rows, int j, int pieces,
                                  strSums* sums) {
    strPiece a, b;
    BeginStep<Rows>(c, rows, j, a, b);
    FinishStep<Rows>(c, rows, j, true, pieces, a, b, sums);
}

// The rows against groups g0 to g1 in the pass at lane `offset`. Groups before `inner` or from
// `outer` on may hold lanes that are no partners of a row.
template <int Rows>
KERNEL_INLINE void RowsAgainstGroups(const strKernelCloud& c, const strRow* rows, int offset, int g0,
                                     int g1, int inner, int outer, strSums* sums) {
    constexpr int step = StepJ<Rows>;
    for (int g = g0; g < g1;) {
        if (g >= inner) {
            const int stop = SeededSteps<Rows>(c, rows, offset, g, outer, sums);
            if (stop > g) {
                g = stop;
                continue;
            }
        }
        const int pieces = g + step <= g1 ? 2 : 1;
        MendedStep<Rows>(c, rows, g + offset, pieces, sums);
        g += pieces == 2 ? step : KernelLanes;
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

// Rows i to i + Rows - 1 against the groups of one j block, g0 to g1. Only the first group can hold
// stars at or before a row (a second row may start one group early, on none of its partners), and
// only the cloud's last group padding; the groups between need no lane checks.
template <int Rows>
void RowsAgainstBlock(const strKernelCloud& cloud, int i, int g0, int g1, strLaneSums* laneSums) {
    // A local copy: the vector stores may alias anything, and would make the pointers behind a
    // reference be loaded again after each of them.
    const strKernelCloud c = cloud;
    strRow rows[Rows];
    for (int r = 0; r < Rows; ++r) {
        const int k = i + r;
        rows[r] = {Splat(c.X[k]), Splat(c.Y[k]), Splat(c.Z[k]), Splat(c.GM[k]), c.M[k], k};
    }
    const int diagonalEnd = g0 <= i + Rows - 1 ? g0 + KernelLanes : g0;
    const int fullEnd = Larger(diagonalEnd, Smaller(g1, c.N / KernelLanes * KernelLanes));
    for (int offset = 0; offset < KernelLanes; offset += LaneWidth) {
        strSums sums[Rows];
        for (int r = 0; r < Rows; ++r) sums[r] = LoadSums(laneSums[r], offset);
        RowsAgainstGroups<Rows>(c, rows, offset, g0, g1, diagonalEnd, fullEnd, sums);
        for (int r = 0; r < Rows; ++r) StoreSums(laneSums[r], offset, sums[r]);
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
        for (int i = i0; i < i1; i += 2) {
            const int g0 = Larger(j0, FirstGroup(i));
            if (g0 >= j1) continue;
            if (i + 1 < i1) {
                RowsAgainstBlock<2>(c, i, g0, j1, &sums[i - i0]);
            } else {
                RowsAgainstBlock<1>(c, i, g0, j1, &sums[i - i0]);
            }
        }
    }
    for (int i = i0; i < i1; ++i) {
        c.FX[i] += SumLanes(sums[i - i0].X);
        c.FY[i] += SumLanes(sums[i - i0].Y);
        c.FZ[i] += SumLanes(sums[i - i0].Z);
    }
}

}  // namespace

void KERNEL_PAIRS(const strKernelCloud& c, int i0, int i1) {
    for (int b = i0; b < i1; b += BlockI) PairsOfBlockI(c, b, Smaller(b + BlockI, i1));
}

void KERNEL_FLOOR(const double* in, double* out, int n) {
    const int step = 2 * LaneWidth;
    for (int k = 0; k + step <= n; k += step) {
        const Lanes a = Load(in + k), b = Load(in + k + LaneWidth);
        Lanes sa, sb;
        Seeds(a, b, sa, sb);
        Store(out + k, RefinedCube(a, sa, Splat(1.0)));
        Store(out + k + LaneWidth, RefinedCube(b, sb, Splat(1.0)));
    }
}
