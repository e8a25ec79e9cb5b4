// SPDX-License-Identifier: GPL-3.0-or-later
// Compiled for AVX2, and called only where the processor has it: this file includes nothing a file
// compiled for the baseline also includes and could share code with (only the lanes' own header and
// the intrinsics).
#include "power_levels_wide.h"

#include <immintrin.h>

namespace kestrix::engine {
namespace {

struct Avx2Lanes
{
    using V = __m256d;
    static constexpr std::size_t lngLanes = 4;
    static V set(double dblValue)
    {
        return _mm256_set1_pd(dblValue);
    }
    static V load(const double* dblFrom)
    {
        return _mm256_loadu_pd(dblFrom);
    }
    static void store(double* dblTo, V x)
    {
        _mm256_storeu_pd(dblTo, x);
    }
    static V add(V a, V b)
    {
        return _mm256_add_pd(a, b);
    }
    static V sub(V a, V b)
    {
        return _mm256_sub_pd(a, b);
    }
    static V mul(V a, V b)
    {
        return _mm256_mul_pd(a, b);
    }
    static V div(V a, V b)
    {
        return _mm256_div_pd(a, b);
    }
    static V greater(V a, V b)
    {
        return _mm256_cmp_pd(a, b, _CMP_GT_OQ);
    }
    static V pick(V dblMask, V a, V b)
    {
        return _mm256_blendv_pd(b, a, dblMask);
    }
    static bool allNormal(V x)
    {
        const V dblNormal =
            _mm256_and_pd(_mm256_cmp_pd(x, set(DBL_MIN), _CMP_GE_OQ), _mm256_cmp_pd(x, set(DBL_MAX), _CMP_LE_OQ));
        return _mm256_movemask_pd(dblNormal) == 15;
    }
    static __m256i words(std::uint64_t lngValue)
    {
        return _mm256_set1_epi64x(static_cast<long long>(lngValue));
    }
    static V exponentField(V x)
    {
        return _mm256_castsi256_pd(
            _mm256_or_si256(_mm256_srli_epi64(_mm256_castpd_si256(x), 52), words(lanes::lngTwoPow52Bits)));
    }
    static V mantissaField(V x)
    {
        return _mm256_castsi256_pd(_mm256_or_si256(
            _mm256_and_si256(_mm256_castpd_si256(x), words(lanes::lngMantissaBits)), words(lanes::lngOneBits)));
    }
};

bool hasAvx2()
{
    static const bool blnHas = __builtin_cpu_supports("avx2") != 0;
    return blnHas;
}

} // namespace

std::size_t levelsOfPowersWide(const double* dblPower, std::size_t lngCount, const LevelScale& scale, double* dblLevels,
                               double (*odd)(double, const LevelScale&))
{
    return hasAvx2() ? lanes::levelsOfLanes<Avx2Lanes>(dblPower, lngCount, scale, dblLevels, odd) : 0;
}

} // namespace kestrix::engine
