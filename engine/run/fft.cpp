// SPDX-License-Identifier: GPL-3.0-or-later
#include "fft.h"

#include <bit>
#include <cassert>
#include <cmath>
#include <utility>

namespace kestrix::engine {

namespace {

// The bit-reversal permutation, index i exchanged with j = i with its log2(N) bits reversed, the
// simple way: j follows i in bit-reversed order by the exclusive-or counter.
void reverseBitOrderSimple(std::int32_t n, double* R, double* I)
{
    std::int32_t j = 0;
    for (std::int32_t i = 1; i < n - 1; ++i) {
        std::int32_t k = n;
        do {
            k >>= 1;
            j ^= k;
        } while (k > j);
        if (i < j) {
            std::swap(R[i], R[j]);
            std::swap(I[i], I[j]);
        }
    }
}

// The same permutation in cache-sized blocks: element i takes the value of element (i reversed), and
// since the exchanges of the simple form are disjoint pairs, moving the values this way gives the
// same arrays. An index is split into its top 3 bits a, middle bits b and low 3 bits c; its reversal
// is (rev c, rev b, rev a). The 64 elements of one b lie on 8 cache lines, 8 consecutive elements
// each; they are read whole into a buffer, those of rev b likewise, and written back whole,
// transposed. Taken pair by pair the exchanges would touch lines a power-of-two stride apart, which
// all fall into one cache set and evict each other.
void reverseBlocks(int intBits, double* X)
{
    constexpr int intEdgeBits = 3; // 8 doubles: one 64-byte cache line
    constexpr std::int32_t lngEdge = 1 << intEdgeBits;
    constexpr std::int32_t lngReversed3[lngEdge] = {0, 4, 2, 6, 1, 5, 3, 7};
    const int intMiddleBits = intBits - 2 * intEdgeBits;
    const int intHighShift = intMiddleBits + intEdgeBits;
    const auto reverseMiddle = [intMiddleBits](std::int32_t lngValue) {
        std::int32_t lngReversed = 0;
        for (int t = 0; t < intMiddleBits; ++t) {
            lngReversed = (lngReversed << 1) | ((lngValue >> t) & 1);
        }
        return lngReversed;
    };
    double dblBlock[lngEdge][lngEdge];
    double dblPartner[lngEdge][lngEdge];
    const auto load = [&](std::int32_t b, double(&dblOut)[lngEdge][lngEdge]) {
        for (std::int32_t a = 0; a < lngEdge; ++a) {
            const double* const pdblLine = X + ((a << intHighShift) | (b << intEdgeBits));
            for (std::int32_t c = 0; c < lngEdge; ++c) {
                dblOut[a][c] = pdblLine[c];
            }
        }
    };
    // Element (a, b, c) takes the value at (rev c, rev b, rev a), found in the buffer of rev b.
    const auto store = [&](std::int32_t b, const double(&dblSource)[lngEdge][lngEdge]) {
        for (std::int32_t a = 0; a < lngEdge; ++a) {
            double* const pdblLine = X + ((a << intHighShift) | (b << intEdgeBits));
            for (std::int32_t c = 0; c < lngEdge; ++c) {
                pdblLine[c] = dblSource[lngReversed3[c]][lngReversed3[a]];
            }
        }
    };
    for (std::int32_t b = 0; b < (std::int32_t{1} << intMiddleBits); ++b) {
        const std::int32_t lngBackward = reverseMiddle(b);
        if (lngBackward < b) {
            continue; // moved together with block lngBackward
        }
        load(b, dblBlock);
        if (lngBackward == b) {
            store(b, dblBlock);
        } else {
            load(lngBackward, dblPartner);
            store(b, dblPartner);
            store(lngBackward, dblBlock);
        }
    }
}

// log2 of n, a power of two.
int bitCount(std::int32_t n)
{
    return std::countr_zero(static_cast<std::uint32_t>(n));
}

void reverseBitOrder(std::int32_t n, double* R, double* I)
{
    const int intBits = bitCount(n);
    if (intBits < 7) { // the blocks need 64 elements, and pay off from two of them on
        reverseBitOrderSimple(n, R, I);
        return;
    }
    reverseBlocks(intBits, R);
    reverseBlocks(intBits, I);
}

// The bit-reversed counter over intBits bits: given w = q - 1 reversed, returns q reversed. Going
// from q - 1 to q flips the low bits of q up to and including its lowest set bit; reversed, these
// are the same number of top bits. This gives the values of the exclusive-or counter (0, N/4, N/8,
// 3N/8, ...) without its data-dependent loop. Past the last group the value is never used.
std::int32_t nextReversed(std::int32_t w, std::int32_t q, int intBits)
{
    const int intFlipped = std::countr_zero(static_cast<std::uint32_t>(q)) + 1;
    if (intFlipped > intBits) {
        return 0;
    }
    const std::uint32_t lngMask = ((std::uint32_t{1} << intFlipped) - 1) << (intBits - intFlipped);
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(w) ^ lngMask);
}

// One butterfly in its prescribed order: the sum stays at j, the difference times the twiddle goes
// to p.
inline void butterfly(double& Rj, double& Ij, double& Rp, double& Ip, double wr, double wi)
{
    const double xr = Rj - Rp;
    const double xi = Ij - Ip;
    Rj = Rp + Rj;
    Ij = Ip + Ij;
    Rp = xr * wr - xi * wi;
    Ip = wr * xi + xr * wi;
}

// The h butterflies of one group. The four runs never overlap, which the restrict qualifiers tell
// the compiler so it vectorises the loop without checking at run time.
[[gnu::always_inline]] inline void butterflyGroupBody(double* __restrict Rj, double* __restrict Ij,
                                                      double* __restrict Rp, double* __restrict Ip, std::int32_t h,
                                                      double wr, double wi)
{
    for (std::int32_t t = 0; t < h; ++t) {
        butterfly(Rj[t], Ij[t], Rp[t], Ip[t], wr, wi);
    }
}

// A twiddle factor: the library's cosine and sine of w * theta.
struct Twiddle
{
    double wr;
    double wi;
};

Twiddle twiddle(std::int32_t w, double dblTheta)
{
    const double dblArg = static_cast<double>(w) * dblTheta;
    return {std::cos(dblArg), std::sin(dblArg)};
}

// The twiddle indices of one stage's groups in order: q = 0, 1, 2, ... reversed over intBits bits.
class ReversedCounter
{
public:
    explicit ReversedCounter(int intBits) : intBits(intBits) {}
    std::int32_t next()
    {
        const std::int32_t w = lngValue;
        ++lngCount;
        lngValue = nextReversed(lngValue, lngCount, intBits);
        return w;
    }

private:
    int intBits;
    std::int32_t lngValue = 0;
    std::int32_t lngCount = 0;
};

// The stages with half spans h and 2h in one pass over the arrays. A block of 4h elements holds two
// groups of the first stage and one of the second; for each offset t the two butterflies of the first
// stage (t, t + h) and (2h + t, 3h + t) come before the two of the second (t, t + 2h) and
// (t + h, t + 3h) that read their results. Every element so goes through the same operations in the
// same order as stage by stage, but is loaded and stored once for both stages.
[[gnu::always_inline]] inline void stagePairBody(double* __restrict R0, double* __restrict R1, double* __restrict R2,
                                                 double* __restrict R3, double* __restrict I0, double* __restrict I1,
                                                 double* __restrict I2, double* __restrict I3, std::int32_t h,
                                                 Twiddle tw1, Twiddle tw2, Twiddle tw3)
{
    for (std::int32_t t = 0; t < h; ++t) {
        double r0 = R0[t];
        double i0 = I0[t];
        double r1 = R1[t];
        double i1 = I1[t];
        double r2 = R2[t];
        double i2 = I2[t];
        double r3 = R3[t];
        double i3 = I3[t];
        butterfly(r0, i0, r1, i1, tw1.wr, tw1.wi);
        butterfly(r2, i2, r3, i3, tw2.wr, tw2.wi);
        butterfly(r0, i0, r2, i2, tw3.wr, tw3.wi);
        butterfly(r1, i1, r3, i3, tw3.wr, tw3.wi);
        R0[t] = r0;
        I0[t] = i0;
        R1[t] = r1;
        I1[t] = i1;
        R2[t] = r2;
        I2[t] = i2;
        R3[t] = r3;
        I3[t] = i3;
    }
}

// The butterfly loops built for one instruction set. The baseline one runs anywhere; on x86-64 the
// same loops are built again for AVX2 (4 doubles a register), chosen when the processor has it. Both
// do the same IEEE additions, subtractions and multiplications in the same order (never fused: this
// target is compiled without contraction, and AVX2 alone has no fused multiply-add), so they give the
// same bits, which the kernel tests check for each.
struct BaselineLoops
{
    static void group(double* __restrict Rj, double* __restrict Ij, double* __restrict Rp, double* __restrict Ip,
                      std::int32_t h, double wr, double wi)
    {
        butterflyGroupBody(Rj, Ij, Rp, Ip, h, wr, wi);
    }
    static void pair(double* __restrict R0, double* __restrict R1, double* __restrict R2, double* __restrict R3,
                     double* __restrict I0, double* __restrict I1, double* __restrict I2, double* __restrict I3,
                     std::int32_t h, Twiddle tw1, Twiddle tw2, Twiddle tw3)
    {
        stagePairBody(R0, R1, R2, R3, I0, I1, I2, I3, h, tw1, tw2, tw3);
    }
};

#if defined(__x86_64__)
struct Avx2Loops
{
    [[gnu::target("avx2")]] static void group(double* __restrict Rj, double* __restrict Ij, double* __restrict Rp,
                                              double* __restrict Ip, std::int32_t h, double wr, double wi)
    {
        butterflyGroupBody(Rj, Ij, Rp, Ip, h, wr, wi);
    }
    [[gnu::target("avx2")]] static void pair(double* __restrict R0, double* __restrict R1, double* __restrict R2,
                                             double* __restrict R3, double* __restrict I0, double* __restrict I1,
                                             double* __restrict I2, double* __restrict I3, std::int32_t h, Twiddle tw1,
                                             Twiddle tw2, Twiddle tw3)
    {
        stagePairBody(R0, R1, R2, R3, I0, I1, I2, I3, h, tw1, tw2, tw3);
    }
};
#endif

// The twiddles of one stage's groups in order, computed afresh for each group.
class ComputedTwiddles
{
public:
    ComputedTwiddles(int intTwiddleBits, double dblTheta) : counter(intTwiddleBits), dblTheta(dblTheta) {}
    Twiddle next()
    {
        return twiddle(counter.next(), dblTheta);
    }

private:
    ReversedCounter counter;
    double dblTheta;
};

// The same twiddles read from a plan's table, which holds them in the order of the groups.
class TableTwiddles
{
public:
    TableTwiddles(const double* pdblCos, const double* pdblSin) : pdblCos(pdblCos), pdblSin(pdblSin) {}
    Twiddle next()
    {
        return {*pdblCos++, *pdblSin++};
    }

private:
    const double* pdblCos;
    const double* pdblSin;
};

// One stage with half span h, group by group (the last one when their number is odd).
template <typename Loops, typename Twiddles>
void singleStage(std::int32_t n, std::int32_t h, Twiddles twiddles, double* R, double* I)
{
    for (std::int32_t g = 0; g < n; g += 2 * h) {
        const Twiddle tw = twiddles.next();
        Loops::group(R + g, I + g, R + g + h, I + g + h, h, tw.wr, tw.wi);
    }
}

template <typename Loops, typename Twiddles>
void pairedStages(std::int32_t n, std::int32_t h, Twiddles first, Twiddles second, double* R, double* I)
{
    for (std::int32_t g = 0; g < n; g += 4 * h) {
        const Twiddle tw1 = first.next();
        const Twiddle tw2 = first.next();
        const Twiddle tw3 = second.next();
        if (h == 1) {
            // The first two stages: four elements a block, written out without a loop.
            butterfly(R[g], I[g], R[g + 1], I[g + 1], tw1.wr, tw1.wi);
            butterfly(R[g + 2], I[g + 2], R[g + 3], I[g + 3], tw2.wr, tw2.wi);
            butterfly(R[g], I[g], R[g + 2], I[g + 2], tw3.wr, tw3.wi);
            butterfly(R[g + 1], I[g + 1], R[g + 3], I[g + 3], tw3.wr, tw3.wi);
            continue;
        }
        Loops::pair(R + g, R + g + h, R + g + 2 * h, R + g + 3 * h, I + g, I + g + h, I + g + 2 * h, I + g + 3 * h, h,
                    tw1, tw2, tw3);
    }
}

// The whole transform with one build of the butterfly loops; makeTwiddles() gives each stage its
// twiddles from the first group on.
template <typename Loops, typename MakeTwiddles>
void transform(std::int32_t lngNumSamp, std::span<double> dblR_SPCData, std::span<double> dblI_SPCData,
               MakeTwiddles makeTwiddles)
{
    assert(lngNumSamp > 0 && (lngNumSamp & (lngNumSamp - 1)) == 0);
    assert(dblR_SPCData.size() >= static_cast<std::size_t>(lngNumSamp));
    assert(dblI_SPCData.size() >= static_cast<std::size_t>(lngNumSamp));
    double* const R = dblR_SPCData.data();
    double* const I = dblI_SPCData.data();
    const std::int32_t n = lngNumSamp;

    reverseBitOrder(n, R, I);

    // Butterfly stages, half span h doubling from 1 to N/2. The group q of a stage uses the twiddle
    // index w = q with its log2(N) - 1 bits reversed (see nextReversed): N - 1 cosine and sine pairs
    // in all, computed afresh (FFT) or read from a plan's table. The stages go two at a time, a last
    // odd one singly.
    std::int32_t h = 1;
    for (; 4 * h <= n; h *= 4) {
        pairedStages<Loops>(n, h, makeTwiddles(), makeTwiddles(), R, I);
    }
    if (2 * h <= n) {
        singleStage<Loops>(n, h, makeTwiddles(), R, I);
    }
}

template <typename MakeTwiddles>
void transformWithLoops(FftLoops loops, std::int32_t lngNumSamp, std::span<double> dblR_SPCData,
                        std::span<double> dblI_SPCData, MakeTwiddles makeTwiddles)
{
#if defined(__x86_64__)
    if (loops == FftLoops::Avx2) {
        transform<Avx2Loops>(lngNumSamp, dblR_SPCData, dblI_SPCData, makeTwiddles);
        return;
    }
#endif
    (void)loops;
    transform<BaselineLoops>(lngNumSamp, dblR_SPCData, dblI_SPCData, makeTwiddles);
}

FftLoops fastestLoops()
{
    return fftLoopsAvailable(FftLoops::Avx2) ? FftLoops::Avx2 : FftLoops::Baseline;
}

} // namespace

bool fftLoopsAvailable(FftLoops loops)
{
    switch (loops) {
    case FftLoops::Baseline:
        return true;
    case FftLoops::Avx2:
        return processorHasAvx2();
    }
    return false;
}

bool processorHasAvx2()
{
#if defined(__x86_64__)
    return __builtin_cpu_supports("avx2");
#else
    return false;
#endif
}

void fftWithLoops([[maybe_unused]] FftLoops loops, std::int32_t lngNumSamp, double dblTheta,
                  std::span<double> dblR_SPCData, std::span<double> dblI_SPCData)
{
    assert(fftLoopsAvailable(loops));
    const int intTwiddleBits = bitCount(lngNumSamp) - 1;
    transformWithLoops(loops, lngNumSamp, dblR_SPCData, dblI_SPCData,
                       [&] { return ComputedTwiddles(intTwiddleBits, dblTheta); });
}

void FFT(std::int32_t lngNumSamp, double dblTheta, std::span<double> dblR_SPCData, std::span<double> dblI_SPCData)
{
    fftWithLoops(fastestLoops(), lngNumSamp, dblTheta, dblR_SPCData, dblI_SPCData);
}

FftPlan::FftPlan(std::int32_t lngNumSamp, double dblTheta, FftLoops loops) : lngNumSamp(lngNumSamp), loops(loops)
{
    assert(lngNumSamp > 0 && (lngNumSamp & (lngNumSamp - 1)) == 0);
    assert(fftLoopsAvailable(loops));
    ComputedTwiddles twiddles(bitCount(lngNumSamp) - 1, dblTheta);
    for (std::int32_t q = 0; q < lngNumSamp / 2; ++q) {
        const Twiddle tw = twiddles.next();
        dblCos.push_back(tw.wr);
        dblSin.push_back(tw.wi);
    }
}

FftPlan::FftPlan(std::int32_t lngNumSamp, double dblTheta) : FftPlan(lngNumSamp, dblTheta, fastestLoops()) {}

void FftPlan::transform(std::span<double> dblR_SPCData, std::span<double> dblI_SPCData) const
{
    transformWithLoops(loops, lngNumSamp, dblR_SPCData, dblI_SPCData,
                       [this] { return TableTwiddles(dblCos.data(), dblSin.data()); });
}

} // namespace kestrix::engine
