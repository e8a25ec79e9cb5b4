// SPDX-License-Identifier: GPL-3.0-or-later
#include "plain_fft.h"

#include <cmath>

namespace kestrix::bench {

void plainFFT(std::int32_t lngNumSamp, double dblTheta, double* dblR, double* dblI)
{
    const std::int32_t n = lngNumSamp;

    // Bit-reversal permutation: j follows i in bit-reversed order.
    std::int32_t j = 0;
    for (std::int32_t i = 1; i <= n - 2; ++i) {
        std::int32_t k = n;
        do {
            k = k / 2;
            j = j ^ k;
        } while (!(k <= j));
        if (i < j) {
            const double dblTempR = dblR[i];
            dblR[i] = dblR[j];
            dblR[j] = dblTempR;
            const double dblTempI = dblI[i];
            dblI[i] = dblI[j];
            dblI[j] = dblTempI;
        }
    }

    // Butterfly stages.
    std::int32_t h = 1;
    std::int32_t m = 2;
    while (m <= n) {
        std::int32_t w = 0;
        for (std::int32_t g = 0; g < n; g += m) {
            const double wr = std::cos(static_cast<double>(w) * dblTheta);
            const double wi = std::sin(static_cast<double>(w) * dblTheta);
            std::int32_t k = n / 4;
            w = w ^ k;
            while (k > w) {
                k = k / 2;
                w = w ^ k;
            }
            for (std::int32_t jj = g; jj <= g + h - 1; ++jj) {
                const std::int32_t p = jj + h;
                const double xr = dblR[jj] - dblR[p];
                const double xi = dblI[jj] - dblI[p];
                dblR[jj] = dblR[p] + dblR[jj];
                dblI[jj] = dblI[p] + dblI[jj];
                dblR[p] = xr * wr - xi * wi;
                dblI[p] = wr * xi + xr * wi;
            }
        }
        h = m;
        m = 2 * m;
    }
}

} // namespace kestrix::bench
