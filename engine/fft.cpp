#include "fft.h"

#include <cassert>
#include <cmath>
#include <utility>

namespace kestrix::engine {

void FFT(std::int32_t lngNumSamp, double dblTheta, std::span<double> dblR_SPCData, std::span<double> dblI_SPCData)
{
    assert(lngNumSamp > 0 && (lngNumSamp & (lngNumSamp - 1)) == 0);
    assert(dblR_SPCData.size() >= static_cast<std::size_t>(lngNumSamp));
    assert(dblI_SPCData.size() >= static_cast<std::size_t>(lngNumSamp));
    double* const R = dblR_SPCData.data();
    double* const I = dblI_SPCData.data();
    const std::int32_t n = lngNumSamp;

    // Bit-reversal permutation; j runs through the reversed counter of i.
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

    // Butterfly stages, span m = 2h doubling up to N. The group q of a stage uses the twiddle index
    // w = q with its log2(N) - 1 bits reversed, advanced by the same exclusive-or counter.
    for (std::int32_t h = 1, m = 2; m <= n; h = m, m <<= 1) {
        std::int32_t w = 0;
        for (std::int32_t g = 0; g < n; g += m) {
            const double dblArg = static_cast<double>(w) * dblTheta;
            const double wr = std::cos(dblArg);
            const double wi = std::sin(dblArg);
            std::int32_t k = n >> 2;
            w ^= k;
            while (k > w) {
                k >>= 1;
                w ^= k;
            }
            double* const Rj = R + g;
            double* const Ij = I + g;
            double* const Rp = R + g + h;
            double* const Ip = I + g + h;
            for (std::int32_t t = 0; t < h; ++t) {
                const double xr = Rj[t] - Rp[t];
                const double xi = Ij[t] - Ip[t];
                Rj[t] = Rp[t] + Rj[t];
                Ij[t] = Ip[t] + Ij[t];
                Rp[t] = xr * wr - xi * wi;
                Ip[t] = wr * xi + xr * wi;
            }
        }
    }
}

} // namespace kestrix::engine
