// SPDX-License-Identifier: GPL-3.0-or-later
#include "window_function.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <cmath>
#include <complex>
#include <cstdlib>
#include <numbers>

namespace kestrix::engine {

namespace {

// The cosine-sum coefficients a0, a1, ... of each window; the terms alternate in sign.
struct CosineSum
{
    WindowKind window;
    std::string_view strName;
    std::array<double, 7> dblTerms;
    int intTerms;
};

constexpr std::array<CosineSum, 6> cosineSums = {{
    {WindowKind::Rect, "rect", {1.0}, 1},
    {WindowKind::Hann, "hann", {0.5, 0.5}, 2},
    {WindowKind::Hamming, "hamming", {0.54, 0.46}, 2},
    {WindowKind::BlackmanHarris, "blackmanharris", {0.35875, 0.48829, 0.14128, 0.01168}, 4},
    {WindowKind::FlatTop, "flattop", {0.21557895, 0.41663158, 0.277263158, 0.083578947, 0.006947368}, 5},
    {WindowKind::BlackmanHarris7,
     "blackmanharris7",
     {0.27105140069342, 0.43329793923448, 0.21812299954311, 0.06592544638803, 0.01081174209837, 0.00077658482522,
      0.00001388721735},
     7},
}};

const CosineSum& cosineSumOf(WindowKind window)
{
    for (const CosineSum& sum : cosineSums) {
        if (sum.window == window) {
            return sum;
        }
    }
    assert(false && "every window has its cosine sum");
    return cosineSums[0];
}

// The sum over n = 0 .. N-1 of e^(-2 pi i y n / N): N at y = 0, else
// e^(-i pi y (N - 1) / N) sin(pi y) / sin(pi y / N).
std::complex<double> dirichletKernel(double dblY, double dblN)
{
    const double dblDenominator = std::sin(std::numbers::pi * dblY / dblN);
    if (std::fabs(dblDenominator) < 1e-15) {
        return {dblN, 0.0};
    }
    return std::polar(std::sin(std::numbers::pi * dblY) / dblDenominator,
                      -std::numbers::pi * dblY * (dblN - 1.0) / dblN);
}

} // namespace

std::string_view windowName(WindowKind window)
{
    return cosineSumOf(window).strName;
}

std::optional<WindowKind> windowOfName(std::string_view strName)
{
    for (const CosineSum& sum : cosineSums) {
        if (sum.strName == strName) {
            return sum.window;
        }
    }
    return std::nullopt;
}

std::vector<double> windowCoefficients(WindowKind window, std::int32_t lngNumSamp)
{
    assert(lngNumSamp >= 1);
    const CosineSum& sum = cosineSumOf(window);
    std::vector<double> dblWindow(static_cast<std::size_t>(lngNumSamp));
    for (std::int32_t n = 0; n < lngNumSamp; ++n) {
        double dblValue = sum.dblTerms[0];
        for (int k = 1; k < sum.intTerms; ++k) {
            // The angle from the exact integer product k * n reduced modulo N, so every term is as
            // accurate at the end of a long window as at its start.
            const std::int64_t lngTurn = (std::int64_t{k} * n) % lngNumSamp;
            const double dblAngle = 2.0 * std::numbers::pi * static_cast<double>(lngTurn) / lngNumSamp;
            dblValue += (k % 2 == 1 ? -1.0 : 1.0) * sum.dblTerms[static_cast<std::size_t>(k)] * std::cos(dblAngle);
        }
        dblWindow[static_cast<std::size_t>(n)] = dblValue;
    }
    return dblWindow;
}

double windowResponse(WindowKind window, std::int32_t lngNumSamp, double dblLines)
{
    assert(lngNumSamp >= 2);
    const CosineSum& sum = cosineSumOf(window);
    const auto dblN = static_cast<double>(lngNumSamp);
    // w[n] = a0 - a1 cos(2 pi n / N) + a2 cos(4 pi n / N) - ...: each cosine splits into two kernels
    // shifted by its number of lines.
    std::complex<double> cpxSum = sum.dblTerms[0] * dirichletKernel(dblLines, dblN);
    for (int m = 1; m < sum.intTerms; ++m) {
        const double dblTerm = (m % 2 == 1 ? -0.5 : 0.5) * sum.dblTerms[static_cast<std::size_t>(m)];
        cpxSum += dblTerm * (dirichletKernel(dblLines - m, dblN) + dirichletKernel(dblLines + m, dblN));
    }
    return std::abs(cpxSum) / (sum.dblTerms[0] * dblN);
}

std::int32_t mainLobeHalfWidth(WindowKind window)
{
    switch (window) {
    case WindowKind::Rect:
        return 1;
    case WindowKind::Hann:
    case WindowKind::Hamming:
        return 2;
    case WindowKind::BlackmanHarris:
        return 4;
    case WindowKind::FlatTop:
        return 5;
    case WindowKind::BlackmanHarris7:
        return 7;
    }
    return 1;
}

double leakageBeyondLobe(WindowKind window, std::int32_t lngNumSamp, double dblOffset)
{
    // Far lines add nothing a double keeps: the side lobes fall with distance, and 2048 lines out they
    // hold less than 1e-6 of what the near ones hold.
    const std::int32_t lngReach = std::min(lngNumSamp / 2, 2048);
    const std::int32_t lngHalf = mainLobeHalfWidth(window);
    double dblInside = 0.0;
    double dblOutside = 0.0;
    for (std::int32_t j = -lngReach; j <= lngReach; ++j) {
        const double dblResponse = windowResponse(window, lngNumSamp, j - dblOffset);
        (std::abs(j) <= lngHalf ? dblInside : dblOutside) += dblResponse * dblResponse;
    }
    return dblOutside / dblInside;
}

WindowFigures windowFigures(std::span<const double> dblWindow)
{
    assert(!dblWindow.empty());
    const auto lngNumSamp = static_cast<double>(dblWindow.size());
    WindowFigures figures;
    double dblHalfLineR = 0.0;
    double dblHalfLineI = 0.0;
    for (std::size_t n = 0; n < dblWindow.size(); ++n) {
        const double dblValue = dblWindow[n];
        figures.dblSum += dblValue;
        figures.dblSquareSum += dblValue * dblValue;
        // The window's response half a line off: its transform at frequency 0.5 / N cycles per sample.
        const double dblAngle = std::numbers::pi * static_cast<double>(n) / lngNumSamp;
        dblHalfLineR += dblValue * std::cos(dblAngle);
        dblHalfLineI -= dblValue * std::sin(dblAngle);
    }
    assert(figures.dblSum != 0.0);
    figures.dblCoherentGain = figures.dblSum / lngNumSamp;
    figures.dblNoiseBandwidth = lngNumSamp * figures.dblSquareSum / (figures.dblSum * figures.dblSum);
    figures.dblScallopLossDb = -20.0 * std::log10(std::hypot(dblHalfLineR, dblHalfLineI) / std::fabs(figures.dblSum));
    return figures;
}

} // namespace kestrix::engine
