// The fast gravity kernel's driver: copies the live stars into lane-aligned arrays, runs the build
// chosen for this CPU over them, piece by piece on the kernel's threads, adds the pieces' sums in
// their fixed order and writes the forces back.
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <system_error>
#include <thread>

#include "galaxy_kernel.h"
#include "system.h"

namespace {

// Room for the whole table padded to a whole lane group, and the entries after it that the kernel
// reads ahead into.
constexpr int KernelRoom = (MaxStars + KernelLanes - 1) / KernelLanes * KernelLanes + KernelReadAhead;

struct strKernelArrays {
    alignas(64) double X[KernelRoom];
    alignas(64) double Y[KernelRoom];
    alignas(64) double Z[KernelRoom];
    alignas(64) double M[KernelRoom];
    alignas(64) double GM[KernelRoom];
    alignas(64) double FX[KernelRoom];  // the pieces' sums added, in newtons
    alignas(64) double FY[KernelRoom];
    alignas(64) double FZ[KernelRoom];
    int Slot[KernelRoom];  // the Star entry behind each live entry
};

strKernelArrays K;

// One piece's own sums of the pulls on its rows and on every later star. Each piece has its own, so
// that no two threads ever write to one line, and they are added in piece order afterwards.
struct strPieceSums {
    alignas(64) double FX[KernelRoom];
    alignas(64) double FY[KernelRoom];
    alignas(64) double FZ[KernelRoom];
};

strPieceSums PieceSums[KernelMaxPieces];

// The turn being computed: the build, the cloud and its pieces, read by every thread during a job.
struct strTurn {
    int Variant;
    int N;
    int Pieces;
    int First[KernelMaxPieces + 1];  // first row of each piece, and N after the last
    int GroupsEnd;                   // N rounded up to a whole lane group
    double NegGravConst;
    double Radius;
};

strTurn T;

// Stars of the combine's items: their boundaries do not matter to the bits, each star's sum being
// formed alone.
constexpr int CombineStars = 2048;
// Rows of the smallest piece: a whole lane group, so that a piece's sums start on one.
constexpr int PieceRows = KernelLanes;

// The builds this program holds, by architecture; an absent one is empty.
struct strKernelBuild {
    void (*Pairs)(const strKernelCloud&, int, int);
    void (*Floor)(const double*, double*, int);
};

#if defined(__x86_64__)
constexpr strKernelBuild Builds[KernelVariants] = {{KernelPairsPortable, KernelFloorPortable},
                                                   {KernelPairsSse2, KernelFloorSse2},
                                                   {KernelPairsAvx2, KernelFloorAvx2},
                                                   {KernelPairsAvx512, KernelFloorAvx512},
                                                   {nullptr, nullptr}};
#elif defined(__aarch64__)
constexpr strKernelBuild Builds[KernelVariants] = {{KernelPairsPortable, KernelFloorPortable},
                                                   {nullptr, nullptr},
                                                   {nullptr, nullptr},
                                                   {nullptr, nullptr},
                                                   {KernelPairsNeon, KernelFloorNeon}};
#elif defined(__wasm__)
// WebAssembly's 128-bit SIMD, through emscripten's SSE2 intrinsics, computes the SSE2 build.
constexpr strKernelBuild Builds[KernelVariants] = {{KernelPairsPortable, KernelFloorPortable},
                                                   {KernelPairsSse2, KernelFloorSse2}};
#else
constexpr strKernelBuild Builds[KernelVariants] = {{KernelPairsPortable, KernelFloorPortable}};
#endif

constexpr const char* KernelNames[KernelVariants] = {"portable", "SSE2", "AVX2", "AVX-512", "NEON"};

// Whether the CPU runs the instruction set of a build this program holds.
bool CpuRuns(int variant) {
#if defined(__x86_64__)
    switch (variant) {
        case KernelAvx2: return __builtin_cpu_supports("avx2");
        case KernelAvx512: return __builtin_cpu_supports("avx512f");
        default: return true;
    }
#else
    (void)variant;
    return true;
#endif
}

// Copies the live stars in their order and pads them to a whole lane group, and beyond it as far as
// the kernel reads ahead, with massless stars at the origin, which it never pairs anyway; returns the
// count of live stars.
int GatherLiveStars() {
    const double scale = -G.GravConst / (G.Radius * G.Radius);
    int n = 0;
    for (int s = 0; s < CloudSize(); ++s) {
        if (Star[s].Alive != 1) continue;
        K.Slot[n] = s;
        K.X[n] = Star[s].Pos.x;
        K.Y[n] = Star[s].Pos.y;
        K.Z[n] = Star[s].Pos.z;
        K.M[n] = Star[s].Mass;
        K.GM[n] = scale * Star[s].Mass;
        ++n;
    }
    const int padded = (n + KernelLanes - 1) / KernelLanes * KernelLanes + KernelReadAhead;
    for (int k = n; k < padded; ++k) K.X[k] = K.Y[k] = K.Z[k] = K.M[k] = K.GM[k] = 0;
    return n;
}

// Pairs of the rows before row `row` in a cloud of n stars: row r pairs with the n - 1 - r after it.
long long PairsBefore(long long row, long long n) {
    return row * (n - 1) - row * (row - 1) / 2;
}

// One piece: its sums cleared from its first row on, which is where its pulls start, and its rows
// paired with every later star. The pieces go out from the last: those of the shortest rows cost the
// most for their share of the pairs, and threads that end on the cheaper ones finish closer together.
void WorkPiece(int item) {
    const int p = T.Pieces - 1 - item;
    const int first = T.First[p];
    strPieceSums& sums = PieceSums[p];
    for (int k = first; k < T.GroupsEnd; ++k) sums.FX[k] = sums.FY[k] = sums.FZ[k] = 0;
    const strKernelCloud cloud = {K.X, K.Y, K.Z, K.M, K.GM, sums.FX, sums.FY, sums.FZ, T.N, T.NegGravConst, T.Radius};
    Builds[T.Variant].Pairs(cloud, first, T.First[p + 1]);
}

// The total pull on the stars of one item: the pieces' sums added in piece order, each from the
// first star it touches.
void WorkCombine(int item) {
    const int k0 = item * CombineStars;
    const int k1 = std::min(k0 + CombineStars, T.N);
    for (int k = k0; k < k1; ++k) {
        K.FX[k] = PieceSums[0].FX[k];
        K.FY[k] = PieceSums[0].FY[k];
        K.FZ[k] = PieceSums[0].FZ[k];
    }
    for (int p = 1; p < T.Pieces; ++p) {
        const strPieceSums& sums = PieceSums[p];
        for (int k = std::max(k0, T.First[p]); k < k1; ++k) {
            K.FX[k] += sums.FX[k];
            K.FY[k] += sums.FY[k];
            K.FZ[k] += sums.FZ[k];
        }
    }
}

// The kernel's workers. A job is a count of items, handed out one at a time through a shared counter
// to the main thread and the workers taking part; the main thread posts it, works too, and waits
// until every one of them has left it. Between jobs the workers sleep on the condition variable.
struct strWorkers {
    std::mutex Lock;
    std::condition_variable Wake;      // a job is posted, or the workers are to end
    std::condition_variable Finished;  // the last worker left the job
    std::thread Thread[KernelMaxThreads - 1];
    int Started = 0;         // workers running; only the main thread changes it
    int Helpers = 0;         // workers that take part in the jobs to come: those numbered below it
    long long Job = 0;       // number of the latest job
    int Taking = 0;          // workers that take part in the latest job: Helpers when it was posted
    int Busy = 0;            // workers still in the current job
    bool Stop = false;
    bool JoinAtExit = false;  // the workers are joined before the program's records are destroyed
    void (*Work)(int item) = nullptr;
    int Items = 0;
    std::atomic<int> Next{0};  // next item of the current job to hand out
};

strWorkers W;

void TakeItems(void (*work)(int), int items) {
    for (int i = W.Next.fetch_add(1); i < items; i = W.Next.fetch_add(1)) work(i);
}

void (*Poll)() = nullptr;

void PollNow() {
    if (Poll != nullptr) Poll();
}

// The main thread's share of a job, which polls after every item.
void TakeItemsPolling(void (*work)(int), int items) {
    for (int i = W.Next.fetch_add(1); i < items; i = W.Next.fetch_add(1)) {
        work(i);
        PollNow();
    }
}

void WorkerLoop(int index, long long seen) {
    std::unique_lock<std::mutex> hold(W.Lock);
    for (;;) {
        W.Wake.wait(hold, [&] { return W.Stop || W.Job != seen; });
        if (W.Stop) return;
        seen = W.Job;
        // A worker may wake late, after the job it was woken for ended and the count changed: it
        // goes by the count of the job it sees, which is the one Busy was set from.
        if (index >= W.Taking) continue;
        void (*work)(int) = W.Work;
        const int items = W.Items;
        hold.unlock();
        TakeItems(work, items);
        hold.lock();
        if (--W.Busy == 0) W.Finished.notify_one();
    }
}

// Runs work(0) to work(items - 1) on the threads in use; returns when all are done.
void RunJob(void (*work)(int), int items) {
    if (W.Helpers == 0 || items < 2) {
        for (int i = 0; i < items; ++i) {
            work(i);
            PollNow();
        }
        return;
    }
    {
        const std::lock_guard<std::mutex> hold(W.Lock);
        W.Work = work;
        W.Items = items;
        W.Next.store(0);
        W.Taking = W.Helpers;
        W.Busy = W.Taking;
        ++W.Job;
    }
    W.Wake.notify_all();
    TakeItemsPolling(work, items);
    std::unique_lock<std::mutex> hold(W.Lock);
    W.Finished.wait(hold, [] { return W.Busy == 0; });
}

void StopAtExit() {
    KernelStopThreads();
}

// Starts one more worker; false when the system refuses a thread.
bool StartWorker() {
    try {
        W.Thread[W.Started] = std::thread(WorkerLoop, W.Started, W.Job);
    } catch (const std::system_error&) {
        return false;
    }
    ++W.Started;
    if (!W.JoinAtExit) W.JoinAtExit = std::atexit(StopAtExit) == 0;
    return true;
}

void ScatterForces(int n) {
    for (int s = 0; s < CloudSize(); ++s) Star[s].Force = {0, 0, 0};
    for (int k = 0; k < n; ++k) Star[K.Slot[k]].Force = {K.FX[k], K.FY[k], K.FZ[k]};
}

}  // namespace

bool KernelSupported(int variant) {
    return variant >= 0 && variant < KernelVariants && Builds[variant].Pairs != nullptr && CpuRuns(variant);
}

// Every build gives the same bits, so the choice is free; on the machines measured the widest
// registers the CPU runs are also the fastest.
int KernelBest() {
    static const int best = [] {
        int found = KernelPortable;
        for (int v = 0; v < KernelVariants; ++v) {
            if (KernelSupported(v)) found = v;
        }
        return found;
    }();
    return best;
}

const char* KernelName(int variant) {
    return variant >= 0 && variant < KernelVariants ? KernelNames[variant] : "";
}

int KernelPieces(int n, int* first) {
    first[0] = 0;
    if (n <= 0) return 0;
    const long long total = PairsBefore(n, n);
    const int wanted = std::min(KernelMaxPieces, (n + PieceRows - 1) / PieceRows);
    int count = 0;
    int row = 0;
    for (int p = 1; p < wanted; ++p) {
        const long long target = total * p / wanted;
        while (row < n && PairsBefore(row, n) < target) row += PieceRows;
        if (row >= n) break;
        if (row > first[count]) first[++count] = row;
    }
    first[++count] = n;
    return count;
}

void GravityForcesWith(int variant) {
    const int n = GatherLiveStars();
    T.Variant = variant;
    T.N = n;
    T.Pieces = KernelPieces(n, T.First);
    T.GroupsEnd = (n + KernelLanes - 1) / KernelLanes * KernelLanes;
    T.NegGravConst = -G.GravConst;
    T.Radius = G.Radius;
    RunJob(WorkPiece, T.Pieces);
    RunJob(WorkCombine, (n + CombineStars - 1) / CombineStars);
    ScatterForces(n);
}

void GravityForces() {
    GravityForcesWith(KernelBest());
}

void KernelFloorWith(int variant, const double* in, double* out, int n) {
    Builds[variant].Floor(in, out, n);
}

void KernelStartThreads() {
    KernelSetThreads(CpuCount());
}

void KernelStopThreads() {
    if (W.Started == 0) return;
    {
        const std::lock_guard<std::mutex> hold(W.Lock);
        W.Stop = true;
    }
    W.Wake.notify_all();
    for (int k = 0; k < W.Started; ++k) W.Thread[k].join();
    const std::lock_guard<std::mutex> hold(W.Lock);
    W.Stop = false;
    W.Started = 0;
    W.Helpers = 0;
}

void KernelSetThreads(int count) {
    const int wanted = std::max(1, std::min(count, KernelMaxThreads));
    while (W.Started < wanted - 1 && StartWorker()) {
    }
    const std::lock_guard<std::mutex> hold(W.Lock);
    W.Helpers = std::min(wanted - 1, W.Started);
}

int KernelThreads() {
    return W.Helpers + 1;
}

void KernelSetPoll(void (*poll)()) {
    Poll = poll;
}
