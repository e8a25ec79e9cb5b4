// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The steps of the levels' logarithm, written once for any width of vector register. Included by the
// file of each width only: the wide one is compiled for a newer instruction set, so nothing here may
// be a function the two could share (a template instantiated on a type of each file's own is not).

#include <cfloat>
#include <cstddef>
#include <cstdint>

namespace kestrix::engine {

// Levels in dB of powers on a logarithmic scale: dblAtReference + dblDbPerLog2 (log2 p - dblReferenceLog2),
// dblFloor at the least, and dblFloor for a power that is not above 0 (or not a number).
struct LevelScale
{
    double dblAtReference;
    double dblReferenceLog2;
    double dblDbPerLog2;
    double dblFloor;
};

namespace lanes {

// log2 x for x normal and finite: x = 2^e m with m in [sqrt(1/2), sqrt(2)), and
// ln m = 2 atanh t = 2 t f(t^2), t = (m - 1) / (m + 1), |t| <= 0.1716; f(u) = 1 + u/3 + u^2/5 + ...
// is taken as the polynomial of degree 4 in u fitted to it by least squares at Chebyshev points of
// [0, 0.0295], weighted as the error in ln m: log2 is then within 1.1e-12 of the exact value (the
// series cut after five terms would be 1e-9 off).
constexpr std::uint64_t lngMantissaBits = 0x000FFFFFFFFFFFFF;
constexpr std::uint64_t lngOneBits = 0x3FF0000000000000;        // 1.0
constexpr std::uint64_t lngTwoPow52Bits = 0x4330000000000000;   // 2^52
constexpr double dblExponentBias = 4503599627370496.0 + 1023.0; // 2^52 + the exponent's bias
constexpr double dblSqrt2 = 1.4142135623730951;
constexpr double dblF0 = 1.0000000000232563;
constexpr double dblF1 = 0.33333331758080625;
constexpr double dblF2 = 0.20000298340234363;
constexpr double dblF3 = 0.14262719666712326;
constexpr double dblF4 = 0.11880789434924083;
constexpr double dblTwoLog2e = 2.0 * 1.4426950408889634; // 2 / ln 2

// The steps on one register of L::lngLanes doubles. L gives the arithmetic, comparisons (every bit
// of a lane set where they hold), pick(mask, a, b), and the exponent and mantissa fields of x's bits
// as doubles: the biased exponent as the low bits of 2^52 (exact, and no conversion from 64-bit
// integers is needed, which the older vector units lack), the mantissa with the exponent of 1.
template <typename L> typename L::V log2Normal(typename L::V x)
{
    using V = typename L::V;
    V dblExponent = L::sub(L::exponentField(x), L::set(dblExponentBias));
    V dblMantissa = L::mantissaField(x);
    const V dblHigh = L::greater(dblMantissa, L::set(dblSqrt2));
    dblMantissa = L::pick(dblHigh, L::mul(dblMantissa, L::set(0.5)), dblMantissa);
    dblExponent = L::add(dblExponent, L::pick(dblHigh, L::set(1.0), L::set(0.0)));
    const V t = L::div(L::sub(dblMantissa, L::set(1.0)), L::add(dblMantissa, L::set(1.0)));
    const V u = L::mul(t, t);
    const V u2 = L::mul(u, u);
    // Estrin's order, for a shorter chain of dependent steps than Horner's.
    const V dblLow = L::add(L::set(dblF0), L::mul(L::set(dblF1), u));
    const V dblHighTerms = L::add(L::add(L::set(dblF2), L::mul(L::set(dblF3), u)), L::mul(u2, L::set(dblF4)));
    const V dblF = L::add(dblLow, L::mul(u2, dblHighTerms));
    return L::add(dblExponent, L::mul(L::mul(t, dblF), L::set(dblTwoLog2e)));
}

// The levels of the first lngCount - lngCount % L::lngLanes powers; a register holding a power that
// is not normal and finite has its levels from odd(power, scale), one at a time. Returns how many
// were done.
template <typename L>
std::size_t levelsOfLanes(const double* dblPower, std::size_t lngCount, const LevelScale& scale, double* dblLevels,
                          double (*odd)(double, const LevelScale&))
{
    using V = typename L::V;
    // The scale in registers, set once: the levels written could otherwise be the scale's own doubles
    // for all the compiler knows, and it would load them again for every register.
    const V dblAtReference = L::set(scale.dblAtReference);
    const V dblReferenceLog2 = L::set(scale.dblReferenceLog2);
    const V dblDbPerLog2 = L::set(scale.dblDbPerLog2);
    const V dblFloor = L::set(scale.dblFloor);
    std::size_t i = 0;
    for (; i + L::lngLanes <= lngCount; i += L::lngLanes) {
        const V x = L::load(dblPower + i);
        if (!L::allNormal(x)) {
            for (std::size_t j = i; j < i + L::lngLanes; ++j) {
                dblLevels[j] = odd(dblPower[j], scale);
            }
            continue;
        }
        const V dblLevel = L::add(dblAtReference, L::mul(dblDbPerLog2, L::sub(log2Normal<L>(x), dblReferenceLog2)));
        L::store(dblLevels + i, L::pick(L::greater(dblLevel, dblFloor), dblLevel, dblFloor));
    }
    return i;
}

} // namespace lanes
} // namespace kestrix::engine
