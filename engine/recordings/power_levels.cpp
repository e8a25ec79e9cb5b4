// SPDX-License-Identifier: GPL-3.0-or-later
#include "power_levels.h"

#include <bit>
#include <cassert>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <numbers>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define KESTRIX_LEVELS_SSE2 1
#endif

namespace kestrix::engine {
namespace {

// log2 x for x normal and finite: x = 2^e m with m in [sqrt(1/2), sqrt(2)), and
// ln m = 2 atanh t = 2 t f(t^2), t = (m - 1) / (m + 1), |t| <= 0.1716; f(u) = 1 + u/3 + u^2/5 + ...
// is taken as the polynomial of degree 4 in u fitted to it by least squares at Chebyshev points of
// [0, 0.0295], weighted as the error in ln m: log2 is then within 1.1e-12 of the exact value (the
// series cut after five terms would be 1e-9 off). The same steps, one value or two at a time, give
// the same bits.
constexpr std::uint64_t lngMantissaBits = 0x000FFFFFFFFFFFFF;
constexpr std::uint64_t lngOneBits = 0x3FF0000000000000;       // 1.0
constexpr std::uint64_t lngTwoPow52Bits = 0x4330000000000000;  // 2^52
constexpr double dblExponentBias = 4503599627370496.0 + 1023.0; // 2^52 + the exponent's bias
constexpr double dblF0 = 1.0000000000232563;
constexpr double dblF1 = 0.33333331758080625;
constexpr double dblF2 = 0.20000298340234363;
constexpr double dblF3 = 0.14262719666712326;
constexpr double dblF4 = 0.11880789434924083;
constexpr double dblTwoLog2e = 2.0 * std::numbers::log2e;

bool isNormal(double dblX)
{
    return dblX >= DBL_MIN && dblX <= DBL_MAX;
}

double log2Normal(double dblX)
{
    const auto lngBits = std::bit_cast<std::uint64_t>(dblX);
    // The biased exponent as the low bits of 2^52, less 2^52 and the bias: exact, and the same as the
    // vector steps, which have no conversion from 64-bit integers.
    double dblExponent = std::bit_cast<double>((lngBits >> 52) | lngTwoPow52Bits) - dblExponentBias;
    double dblMantissa = std::bit_cast<double>((lngBits & lngMantissaBits) | lngOneBits);
    if (dblMantissa > std::numbers::sqrt2) {
        dblMantissa = dblMantissa * 0.5;
        dblExponent = dblExponent + 1.0;
    }
    const double t = (dblMantissa - 1.0) / (dblMantissa + 1.0);
    const double u = t * t;
    const double u2 = u * u;
    // Estrin's order, for a shorter chain of dependent steps than Horner's.
    const double dblF = (dblF0 + dblF1 * u) + u2 * ((dblF2 + dblF3 * u) + u2 * dblF4);
    return dblExponent + (t * dblF) * dblTwoLog2e;
}

double levelOfLog2(double dblLog2, const LevelScale& scale)
{
    const double dblLevel = scale.dblAtReference + scale.dblDbPerLog2 * (dblLog2 - scale.dblReferenceLog2);
    return dblLevel > scale.dblFloor ? dblLevel : scale.dblFloor;
}

#ifdef KESTRIX_LEVELS_SSE2
// Two at a time: the steps of log2Normal and levelOfLog2 in SSE2, which every x86-64 has.
__m128d log2Normal(__m128d dblX)
{
    const __m128i lngBits = _mm_castpd_si128(dblX);
    const auto words = [](std::uint64_t lngValue) { return _mm_set1_epi64x(static_cast<long long>(lngValue)); };
    __m128d dblExponent =
        _mm_sub_pd(_mm_castsi128_pd(_mm_or_si128(_mm_srli_epi64(lngBits, 52), words(lngTwoPow52Bits))),
                   _mm_set1_pd(dblExponentBias));
    __m128d dblMantissa =
        _mm_castsi128_pd(_mm_or_si128(_mm_and_si128(lngBits, words(lngMantissaBits)), words(lngOneBits)));
    const __m128d dblHigh = _mm_cmpgt_pd(dblMantissa, _mm_set1_pd(std::numbers::sqrt2));
    dblMantissa = _mm_or_pd(_mm_and_pd(dblHigh, _mm_mul_pd(dblMantissa, _mm_set1_pd(0.5))),
                            _mm_andnot_pd(dblHigh, dblMantissa));
    dblExponent = _mm_add_pd(dblExponent, _mm_and_pd(dblHigh, _mm_set1_pd(1.0)));
    const __m128d dblOne = _mm_set1_pd(1.0);
    const __m128d t = _mm_div_pd(_mm_sub_pd(dblMantissa, dblOne), _mm_add_pd(dblMantissa, dblOne));
    const __m128d u = _mm_mul_pd(t, t);
    const __m128d u2 = _mm_mul_pd(u, u);
    const auto linear = [&](double dblA, double dblB) {
        return _mm_add_pd(_mm_set1_pd(dblA), _mm_mul_pd(_mm_set1_pd(dblB), u));
    };
    const __m128d dblF =
        _mm_add_pd(linear(dblF0, dblF1), _mm_mul_pd(u2, _mm_add_pd(linear(dblF2, dblF3), _mm_mul_pd(u2, _mm_set1_pd(dblF4)))));
    return _mm_add_pd(dblExponent, _mm_mul_pd(_mm_mul_pd(t, dblF), _mm_set1_pd(dblTwoLog2e)));
}

// The scale in both lanes, set once: the levels written could otherwise be the scale's own doubles
// for all the compiler knows, and it would load them again for every pair.
struct TwoLevelScale
{
    __m128d dblAtReference;
    __m128d dblReferenceLog2;
    __m128d dblDbPerLog2;
    __m128d dblFloor;
};

void levelsOfTwo(const double* dblPower, const TwoLevelScale& two, const LevelScale& scale, double* dblLevels)
{
    const __m128d dblX = _mm_loadu_pd(dblPower);
    const __m128d dblNormal =
        _mm_and_pd(_mm_cmpge_pd(dblX, _mm_set1_pd(DBL_MIN)), _mm_cmple_pd(dblX, _mm_set1_pd(DBL_MAX)));
    if (_mm_movemask_pd(dblNormal) != 3) {
        dblLevels[0] = levelOfPower(dblPower[0], scale);
        dblLevels[1] = levelOfPower(dblPower[1], scale);
        return;
    }
    const __m128d dblLevel = _mm_add_pd(
        two.dblAtReference, _mm_mul_pd(two.dblDbPerLog2, _mm_sub_pd(log2Normal(dblX), two.dblReferenceLog2)));
    const __m128d dblAbove = _mm_cmpgt_pd(dblLevel, two.dblFloor);
    _mm_storeu_pd(dblLevels, _mm_or_pd(_mm_and_pd(dblAbove, dblLevel), _mm_andnot_pd(dblAbove, two.dblFloor)));
}
#endif

} // namespace

void levelsOfPowers(std::span<const double> dblPower, const LevelScale& scale, std::span<double> dblLevels)
{
    assert(dblLevels.size() == dblPower.size());
    const std::size_t lngCount = dblPower.size();
    std::size_t i = 0;
#ifdef KESTRIX_LEVELS_SSE2
    const TwoLevelScale two{_mm_set1_pd(scale.dblAtReference), _mm_set1_pd(scale.dblReferenceLog2),
                            _mm_set1_pd(scale.dblDbPerLog2), _mm_set1_pd(scale.dblFloor)};
    for (; i + 2 <= lngCount; i += 2) {
        levelsOfTwo(dblPower.data() + i, two, scale, dblLevels.data() + i);
    }
#endif
    for (; i < lngCount; ++i) {
        dblLevels[i] = levelOfPower(dblPower[i], scale);
    }
}

double levelOfPower(double dblPower, const LevelScale& scale)
{
    // 0 and below (the floor, also for NaN), subnormal and infinite powers take the library's logarithm.
    return levelOfLog2(isNormal(dblPower) ? log2Normal(dblPower) : std::log2(dblPower), scale);
}

} // namespace kestrix::engine
