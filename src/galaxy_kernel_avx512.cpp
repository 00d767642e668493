// The fast gravity kernel built for AVX-512: eight doubles a register. Each register's seed is taken
// in an eight-float register, whose square root and division cost no more per lane than sixteen
// floats' on the CPUs measured and spare the shuffles; the two are joined for the range check only.
// The build gives this file its instruction set (AVX-512F alone).
#if defined(__x86_64__)

#include <immintrin.h>

#include "galaxy_kernel.h"

namespace {

// Every intrinsic below that has one is used in its all-lanes mask form: the plain forms leave a
// register undefined that GCC then warns about.
typedef __m512d Lanes;
constexpr int LaneWidth = 8;

inline Lanes Load(const double* p) {
    return _mm512_loadu_pd(p);
}

inline void Store(double* p, Lanes v) {
    _mm512_storeu_pd(p, v);
}

inline Lanes Splat(double x) {
    return _mm512_set1_pd(x);
}

inline Lanes Sqrt(Lanes v) {
    return _mm512_maskz_sqrt_pd(0xFF, v);
}

inline Lanes RoundToFloat(Lanes v) {
    return _mm512_maskz_cvtps_pd(0xFF, _mm512_maskz_cvtpd_ps(0xFF, v));
}

inline __m512 Joined(__m256 low, __m256 high) {
    return _mm512_castpd_ps(_mm512_maskz_insertf64x4(0xFF, _mm512_castps_pd(_mm512_castps256_ps512(low)),
                                                     _mm256_castps_pd(high), 1));
}

inline __m256 SeedOf(__m256 f) {
    return _mm256_div_ps(_mm256_set1_ps(1.0f), _mm256_sqrt_ps(f));
}

inline bool Seeds(Lanes a, Lanes b, Lanes& sa, Lanes& sb) {
    const __m256 fa = _mm512_maskz_cvtpd_ps(0xFF, a), fb = _mm512_maskz_cvtpd_ps(0xFF, b);
    sa = _mm512_maskz_cvtps_pd(0xFF, SeedOf(fa));
    sb = _mm512_maskz_cvtps_pd(0xFF, SeedOf(fb));
    const __m512 f = Joined(fa, fb);
    const __mmask16 low = _mm512_cmp_ps_mask(f, _mm512_set1_ps(static_cast<float>(SeedLow)), _CMP_GE_OQ);
    const __mmask16 high = _mm512_cmp_ps_mask(f, _mm512_set1_ps(static_cast<float>(SeedHigh)), _CMP_LE_OQ);
    return (low & high) == 0xFFFF;
}

}  // namespace

#define KERNEL_PAIRS KernelPairsAvx512
#define KERNEL_FLOOR KernelFloorAvx512
#include "galaxy_kernel_body.h"

#endif
