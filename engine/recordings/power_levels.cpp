// SPDX-License-Identifier: GPL-3.0-or-later
#include "power_levels.h"

#include "power_levels_wide.h"

#include <bit>
#include <cassert>
#include <cmath>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define KESTRIX_LEVELS_SSE2 1
#endif

namespace kestrix::engine {
namespace {

bool isNormal(double dblX)
{
    return dblX >= DBL_MIN && dblX <= DBL_MAX;
}

// The steps of lanes::log2Normal on one double.
double log2Normal(double x)
{
    using namespace lanes;
    const auto lngBits = std::bit_cast<std::uint64_t>(x);
    double dblExponent = std::bit_cast<double>((lngBits >> 52) | lngTwoPow52Bits) - dblExponentBias;
    double dblMantissa = std::bit_cast<double>((lngBits & lngMantissaBits) | lngOneBits);
    if (dblMantissa > dblSqrt2) {
        dblMantissa = dblMantissa * 0.5;
        dblExponent = dblExponent + 1.0;
    }
    const double t = (dblMantissa - 1.0) / (dblMantissa + 1.0);
    const double u = t * t;
    const double u2 = u * u;
    const double dblF = (dblF0 + dblF1 * u) + u2 * ((dblF2 + dblF3 * u) + u2 * dblF4);
    return dblExponent + (t * dblF) * dblTwoLog2e;
}

#ifdef KESTRIX_LEVELS_SSE2
// Two lanes of SSE2, which every x86-64 has.
struct Sse2Lanes
{
    using V = __m128d;
    static constexpr std::size_t lngLanes = 2;
    static V set(double dblValue)
    {
        return _mm_set1_pd(dblValue);
    }
    static V load(const double* dblFrom)
    {
        return _mm_loadu_pd(dblFrom);
    }
    static void store(double* dblTo, V x)
    {
        _mm_storeu_pd(dblTo, x);
    }
    static V add(V a, V b)
    {
        return _mm_add_pd(a, b);
    }
    static V sub(V a, V b)
    {
        return _mm_sub_pd(a, b);
    }
    static V mul(V a, V b)
    {
        return _mm_mul_pd(a, b);
    }
    static V div(V a, V b)
    {
        return _mm_div_pd(a, b);
    }
    static V greater(V a, V b)
    {
        return _mm_cmpgt_pd(a, b);
    }
    static V pick(V dblMask, V a, V b)
    {
        return _mm_or_pd(_mm_and_pd(dblMask, a), _mm_andnot_pd(dblMask, b));
    }
    static bool allNormal(V x)
    {
        return _mm_movemask_pd(_mm_and_pd(_mm_cmpge_pd(x, set(DBL_MIN)), _mm_cmple_pd(x, set(DBL_MAX)))) == 3;
    }
    static __m128i words(std::uint64_t lngValue)
    {
        return _mm_set1_epi64x(static_cast<long long>(lngValue));
    }
    static V exponentField(V x)
    {
        return _mm_castsi128_pd(_mm_or_si128(_mm_srli_epi64(_mm_castpd_si128(x), 52), words(lanes::lngTwoPow52Bits)));
    }
    static V mantissaField(V x)
    {
        return _mm_castsi128_pd(
            _mm_or_si128(_mm_and_si128(_mm_castpd_si128(x), words(lanes::lngMantissaBits)), words(lanes::lngOneBits)));
    }
};
#endif

} // namespace

void levelsOfPowers(std::span<const double> dblPower, const LevelScale& scale, std::span<double> dblLevels)
{
    assert(dblLevels.size() == dblPower.size());
    const std::size_t lngCount = dblPower.size();
    std::size_t i = levelsOfPowersWide(dblPower.data(), lngCount, scale, dblLevels.data(), levelOfPower);
#ifdef KESTRIX_LEVELS_SSE2
    i += lanes::levelsOfLanes<Sse2Lanes>(dblPower.data() + i, lngCount - i, scale, dblLevels.data() + i, levelOfPower);
#endif
    for (; i < lngCount; ++i) {
        dblLevels[i] = levelOfPower(dblPower[i], scale);
    }
}

double levelOfPower(double dblPower, const LevelScale& scale)
{
    // 0 and below (the floor, also for NaN), subnormal and infinite powers take the library's logarithm.
    const double dblLog2 = isNormal(dblPower) ? log2Normal(dblPower) : std::log2(dblPower);
    const double dblLevel = scale.dblAtReference + scale.dblDbPerLog2 * (dblLog2 - scale.dblReferenceLog2);
    return dblLevel > scale.dblFloor ? dblLevel : scale.dblFloor;
}

#if !KESTRIX_LEVELS_AVX2
std::size_t levelsOfPowersWide(const double*, std::size_t, const LevelScale&, double*,
                               double (*)(double, const LevelScale&))
{
    return 0;
}
#endif

} // namespace kestrix::engine
