// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/recordings/window_function.h"

#include <gtest/gtest.h>

#include <cmath>

namespace kestrix::engine {
namespace {

// The figures as the published window tables give them (Harris 1978 and the flat-top literature),
// to the digits printed there; the scalloping loss of the flat top is only bounded. The 7-term
// Blackman-Harris window's as numpy computes them from its coefficients.
struct PublishedFigures
{
    WindowKind window;
    double dblCoherentGain;
    double dblNoiseBandwidth; // lines
    double dblScallopLossDb;  // a negative value: below its magnitude
};

constexpr PublishedFigures published[] = {
    {WindowKind::Rect, 1.00, 1.00, 3.92},     {WindowKind::Hann, 0.50, 1.50, 1.42},
    {WindowKind::Hamming, 0.54, 1.36, 1.75},  {WindowKind::BlackmanHarris, 0.36, 2.00, 0.83},
    {WindowKind::FlatTop, 0.22, 3.77, -0.02}, {WindowKind::BlackmanHarris7, 0.27, 2.63, 0.48},
};

TEST(WindowFunction, FiguresAgreeWithThePublishedTablesForEverySize)
{
    constexpr double dblPrinted = 0.0051; // half a unit of the last printed digit, and a little
    for (const PublishedFigures& row : published) {
        for (std::int32_t n = 1024; n <= 65536; n *= 4) {
            SCOPED_TRACE(testing::Message() << windowName(row.window) << " N=" << n);
            const std::vector<double> dblWindow = windowCoefficients(row.window, n);
            ASSERT_EQ(dblWindow.size(), static_cast<std::size_t>(n));
            const WindowFigures figures = windowFigures(dblWindow);
            EXPECT_NEAR(figures.dblCoherentGain, row.dblCoherentGain, dblPrinted);
            EXPECT_NEAR(figures.dblNoiseBandwidth, row.dblNoiseBandwidth, dblPrinted);
            if (row.dblScallopLossDb < 0) {
                EXPECT_GE(figures.dblScallopLossDb, 0.0);
                EXPECT_LT(figures.dblScallopLossDb, -row.dblScallopLossDb);
            } else {
                EXPECT_NEAR(figures.dblScallopLossDb, row.dblScallopLossDb, dblPrinted);
            }
            EXPECT_NEAR(figures.dblSum, figures.dblCoherentGain * n, 1e-9 * n);
        }
    }
}

// The periodic form spans a full period of N: it starts at its minimum, peaks at N / 2 and repeats
// itself around the middle (w[n] = w[N - n]), unlike the symmetric form over N - 1.
TEST(WindowFunction, PeriodicFormPeaksAtTheMiddleAndMirrorsAroundIt)
{
    constexpr std::int32_t n = 4096;
    for (const WindowKind window : windowKinds) {
        SCOPED_TRACE(windowName(window));
        const std::vector<double> dblWindow = windowCoefficients(window, n);
        double dblMax = 0;
        for (const double dblValue : dblWindow) {
            dblMax = std::max(dblMax, dblValue);
        }
        EXPECT_NEAR(dblWindow[n / 2], dblMax, 1e-15);
        for (std::int32_t i = 1; i < n; ++i) {
            ASSERT_NEAR(dblWindow[static_cast<std::size_t>(i)], dblWindow[static_cast<std::size_t>(n - i)], 1e-15) << i;
        }
    }
    EXPECT_NEAR(windowCoefficients(WindowKind::Hann, n)[0], 0.0, 1e-17);
    EXPECT_NEAR(windowCoefficients(WindowKind::Hann, n)[n / 4], 0.5, 1e-15);
    EXPECT_NEAR(windowCoefficients(WindowKind::Hamming, n)[0], 0.08, 1e-15);
    EXPECT_NEAR(windowCoefficients(WindowKind::BlackmanHarris, n)[0], 6e-5, 1e-15);
    EXPECT_EQ(windowCoefficients(WindowKind::Rect, n), std::vector<double>(n, 1.0));
}

// The power leaked past the counted main lobe, as numpy sums it over the lines of a full period of the
// transform of a windowed complex tone a quarter and a half line off (N = 1024); nothing for a tone on a
// line.
TEST(WindowFunction, LeakageBeyondTheCountedLobe)
{
    struct Case
    {
        WindowKind window;
        double dblOffset;
        double dblLeakageDb;
    };
    const Case cases[] = {
        {WindowKind::Hann, 0.5, -32.96},
        {WindowKind::Hann, 0.25, -37.77},
        {WindowKind::BlackmanHarris, 0.5, -86.48},
        {WindowKind::BlackmanHarris, -0.25, -89.67},
        {WindowKind::FlatTop, 0.5, -79.64},
        {WindowKind::BlackmanHarris7, 0.5, -161.43},
        {WindowKind::BlackmanHarris7, 0.25, -164.40},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << windowName(c.window) << " " << c.dblOffset);
        EXPECT_NEAR(10 * std::log10(leakageBeyondLobe(c.window, 1024, c.dblOffset)), c.dblLeakageDb, 0.01);
    }
    for (const WindowKind window : windowKinds) {
        EXPECT_LT(leakageBeyondLobe(window, 1024, 0.0), 1e-25) << windowName(window);
    }
}

TEST(WindowFunction, NamesReadBack)
{
    for (const WindowKind window : windowKinds) {
        EXPECT_EQ(windowOfName(windowName(window)), window);
    }
    EXPECT_FALSE(windowOfName("Hann"));
    EXPECT_FALSE(windowOfName(""));
    EXPECT_EQ(windowOfName("blackmanharris"), WindowKind::BlackmanHarris);
    EXPECT_EQ(windowOfName("blackmanharris7"), WindowKind::BlackmanHarris7);
}

} // namespace
} // namespace kestrix::engine
