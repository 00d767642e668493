// The fast gravity kernel built for NEON, the Advanced SIMD of 64-bit ARM: two doubles a register,
// the seed of two registers in one four-float register.
#if defined(__aarch64__)

#include <arm_neon.h>

#include "galaxy_kernel.h"

namespace {

typedef float64x2_t Lanes;
constexpr int LaneWidth = 2;

inline Lanes Load(const double* p) {
    return vld1q_f64(p);
}

inline void Store(double* p, Lanes v) {
    vst1q_f64(p, v);
}

inline Lanes Splat(double x) {
    return vdupq_n_f64(x);
}

inline Lanes Sqrt(Lanes v) {
    return vsqrtq_f64(v);
}

inline Lanes RoundToFloat(Lanes v) {
    return vcvt_f64_f32(vcvt_f32_f64(v));
}

inline bool Seeds(Lanes a, Lanes b, Lanes& sa, Lanes& sb) {
    const float32x4_t f = vcombine_f32(vcvt_f32_f64(a), vcvt_f32_f64(b));
    const float32x4_t s = vdivq_f32(vdupq_n_f32(1.0f), vsqrtq_f32(f));
    sa = vcvt_f64_f32(vget_low_f32(s));
    sb = vcvt_high_f64_f32(s);
    const uint32x4_t seeded = vandq_u32(vcgeq_f32(f, vdupq_n_f32(static_cast<float>(SeedLow))),
                                        vcleq_f32(f, vdupq_n_f32(static_cast<float>(SeedHigh))));
    return vminvq_u32(seeded) == 0xFFFFFFFFu;
}

}  // namespace

#define KERNEL_PAIRS KernelPairsNeon
#define KERNEL_FLOOR KernelFloorNeon
#include "galaxy_kernel_body.h"

#endif
