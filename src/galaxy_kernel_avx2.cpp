// The fast gravity kernel built for AVX2: four doubles a register, the seed of two registers in one
// eight-float register. The build gives this file its instruction set.
#if defined(__x86_64__)

#include <immintrin.h>

#include "galaxy_kernel.h"

namespace {

typedef __m256d Lanes;
constexpr int LaneWidth = 4;

inline Lanes Load(const double* p) {
    return _mm256_loadu_pd(p);
}

inline void Store(double* p, Lanes v) {
    _mm256_storeu_pd(p, v);
}

inline Lanes Splat(double x) {
    return _mm256_set1_pd(x);
}

inline Lanes Sqrt(Lanes v) {
    return _mm256_sqrt_pd(v);
}

inline Lanes RoundToFloat(Lanes v) {
    return _mm256_cvtps_pd(_mm256_cvtpd_ps(v));
}

inline bool Seeds(Lanes a, Lanes b, Lanes& sa, Lanes& sb) {
    const __m256 f = _mm256_set_m128(_mm256_cvtpd_ps(b), _mm256_cvtpd_ps(a));
    const __m256 s = _mm256_div_ps(_mm256_set1_ps(1.0f), _mm256_sqrt_ps(f));
    sa = _mm256_cvtps_pd(_mm256_castps256_ps128(s));
    sb = _mm256_cvtps_pd(_mm256_extractf128_ps(s, 1));
    const __m256 seeded =
        _mm256_and_ps(_mm256_cmp_ps(f, _mm256_set1_ps(static_cast<float>(SeedLow)), _CMP_GE_OQ),
                      _mm256_cmp_ps(f, _mm256_set1_ps(static_cast<float>(SeedHigh)), _CMP_LE_OQ));
    return _mm256_movemask_ps(seeded) == 0xFF;
}

}  // namespace

#define KERNEL_PAIRS KernelPairsAvx2
#define KERNEL_FLOOR KernelFloorAvx2
#include "galaxy_kernel_body.h"

#endif
