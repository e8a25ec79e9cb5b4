// SPDX-License-Identifier: GPL-3.0-or-later
// Converter figures from generated recordings whose figures are known from their construction.
#include "engine/recordings/tone_figures.h"
#include "engine/run/fft.h"
#include "engine/run/global_define.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <random>
#include <vector>

namespace kestrix::engine {
namespace {

constexpr double dblPi = std::numbers::pi;
constexpr double dblRange = 5.0; // V
constexpr double dblVoltsPerCount = dblRange / 32767.0;
constexpr double dblSampFreq = 48000.0;

struct TestWindow
{
    std::vector<double> dblCoefficients;
    std::int32_t lngHalfWidth;
};

// The periodic windows, written out here from their cosine terms.
TestWindow window(const std::vector<double>& dblTerms, std::int32_t lngNumSamp, std::int32_t lngHalfWidth)
{
    TestWindow made{std::vector<double>(static_cast<std::size_t>(lngNumSamp)), lngHalfWidth};
    for (std::int32_t n = 0; n < lngNumSamp; ++n) {
        double dblValue = 0.0;
        for (std::size_t t = 0; t < dblTerms.size(); ++t) {
            const double dblSign = t % 2 == 0 ? 1.0 : -1.0;
            dblValue += dblSign * dblTerms[t] * std::cos(2.0 * dblPi * static_cast<double>(t * n) / lngNumSamp);
        }
        made.dblCoefficients[static_cast<std::size_t>(n)] = dblValue;
    }
    return made;
}

TestWindow rectWindow(std::int32_t n)
{
    return window({1.0}, n, 1);
}
TestWindow hannWindow(std::int32_t n)
{
    return window({0.5, 0.5}, n, 2);
}
TestWindow flatTopWindow(std::int32_t n)
{
    return window({0.21557895, 0.41663158, 0.277263158, 0.083578947, 0.006947368}, n, 5);
}
TestWindow blackmanHarris7Window(std::int32_t n)
{
    return window({0.27105140069342, 0.43329793923448, 0.21812299954311, 0.06592544638803, 0.01081174209837,
                   0.00077658482522, 0.00001388721735},
                  n, 7);
}

struct Tone
{
    double dblCycles; // per segment: a whole number is coherent
    double dblPeak;   // counts
};

// The mean |X[k]|^2 over lngSegments segments of N samples of the tones plus white noise of standard
// deviation dblNoise counts, for lines 0 to N / 2.
std::vector<double> averagedPower(const std::vector<Tone>& tones, double dblNoise, const TestWindow& win,
                                  int lngSegments)
{
    const auto n = static_cast<std::int32_t>(win.dblCoefficients.size());
    std::mt19937_64 random(42);
    std::normal_distribution<double> noise(0.0, dblNoise);
    std::vector<double> dblSum(static_cast<std::size_t>(n / 2 + 1));
    for (int s = 0; s < lngSegments; ++s) {
        std::vector<double> dblR(static_cast<std::size_t>(n));
        std::vector<double> dblI(static_cast<std::size_t>(n));
        for (std::int32_t t = 0; t < n; ++t) {
            const double dblTime = static_cast<double>(s) * n + t;
            double dblValue = noise(random);
            for (const Tone& tone : tones) {
                dblValue += tone.dblPeak * std::cos(2.0 * dblPi * tone.dblCycles * dblTime / n + 0.4);
            }
            dblR[static_cast<std::size_t>(t)] = dblValue * win.dblCoefficients[static_cast<std::size_t>(t)];
        }
        FFT(n, -2.0 * computePI() / n, dblR, dblI);
        for (std::size_t k = 0; k < dblSum.size(); ++k) {
            dblSum[k] += (dblR[k] * dblR[k] + dblI[k] * dblI[k]) / lngSegments;
        }
    }
    return dblSum;
}

ToneFigures figuresOf(const std::vector<double>& dblPower, const TestWindow& win,
                      std::optional<double> dblFundamentalHz = std::nullopt,
                      std::optional<WindowKind> kind = std::nullopt, double dblScale = dblVoltsPerCount)
{
    double dblSquareSum = 0.0;
    for (const double w : win.dblCoefficients) {
        dblSquareSum += w * w;
    }
    const ToneSpectrum spectrum{dblPower,     static_cast<std::int32_t>(win.dblCoefficients.size()),
                                dblSquareSum, win.lngHalfWidth,
                                dblSampFreq,  dblScale,
                                kind};
    return computeToneFigures(spectrum, dblRange, dblFundamentalHz);
}

// A -6 dBFS tone with harmonics at -60, -70 and -80 dBc, the 3rd and 4th above fs / 2, and white noise
// 70 dB below the tone.
struct ConverterTest
{
    static constexpr std::int32_t lngNumSamp = 16384;
    static constexpr double dblCycles = 3001; // coherent; 3x and 4x fold back
    static constexpr double dblPeak = 16384;  // counts
    static constexpr double dblNoiseSigma = dblPeak / std::numbers::sqrt2 * 3.1622776601683794e-4; // -70 dB

    std::vector<Tone> tones() const
    {
        return {{dblCycles, dblPeak},
                {2 * dblCycles, dblPeak * 1e-3},
                {3 * dblCycles, dblPeak * std::pow(10.0, -70.0 / 20)},
                {4 * dblCycles, dblPeak * 1e-4}};
    }
    // The figures the construction gives, in V^2.
    double fundamental() const
    {
        return std::pow(dblPeak * dblVoltsPerCount, 2) / 2;
    }
    double harmonics() const
    {
        return fundamental() * (1e-6 + 1e-7 + 1e-8);
    }
    double noise() const
    {
        return std::pow(dblNoiseSigma * dblVoltsPerCount, 2);
    }
};

TEST(ToneFigures, MatchTheConstructionOfACoherentToneWithHarmonicsAndNoise)
{
    const ConverterTest test;
    for (const auto& [strName, win] :
         {std::pair{"rect", rectWindow(test.lngNumSamp)}, std::pair{"hann", hannWindow(test.lngNumSamp)},
          std::pair{"flattop", flatTopWindow(test.lngNumSamp)}}) {
        SCOPED_TRACE(strName);
        const ToneFigures figures = figuresOf(averagedPower(test.tones(), test.dblNoiseSigma, win, 16), win);
        const double dblSnr = 10 * std::log10(test.fundamental() / test.noise());
        const double dblThd = 10 * std::log10(test.harmonics() / test.fundamental());
        const double dblSinad = 10 * std::log10(test.fundamental() / (test.noise() + test.harmonics()));
        EXPECT_NEAR(figures.dblFundamentalFreq, test.dblCycles * dblSampFreq / test.lngNumSamp, 1e-4);
        EXPECT_NEAR(figures.dblSnr, dblSnr, 0.1);
        EXPECT_NEAR(figures.dblThd, dblThd, 0.1);
        EXPECT_NEAR(figures.dblSinad, dblSinad, 0.1);
        EXPECT_NEAR(figures.dblEnob, (dblSinad - 1.76) / 6.02, 0.02);
        EXPECT_NEAR(figures.dblSfdr, 60.0, 0.1);
        EXPECT_NEAR(figures.dblFullScaleCorrection, 20 * std::log10(32767.0 / test.dblPeak), 0.01);
        EXPECT_NEAR(figures.dblEnobFullScale, (dblSinad + 20 * std::log10(32767.0 / test.dblPeak) - 1.76) / 6.02, 0.02);
        // The noise floor: the noise power spread evenly over the N / 2 lines, as a density over fs / 2.
        EXPECT_NEAR(figures.dblNoiseDensity / (test.noise() / (dblSampFreq / 2)), 1.0, 0.03);
        ASSERT_EQ(figures.harmonics.size(), 9u);
        EXPECT_NEAR(figures.harmonics[0].dblDbc, -60.0, 0.1);
        EXPECT_NEAR(figures.harmonics[1].dblDbc, -70.0, 0.1);
        // Noise 22 dB below the -80 dBc harmonic in its lobe beats with it: over 16 segments that moves it
        // by about 0.1 dB either way. Without noise it is exact.
        EXPECT_NEAR(figures.harmonics[2].dblDbc, -80.0, 0.3);
        const ToneFigures quiet = figuresOf(averagedPower(test.tones(), 0.0, win, 2), win);
        EXPECT_NEAR(quiet.harmonics[2].dblDbc, -80.0, 0.001);
    }
}

TEST(ToneFigures, RectAndFlatTopAgreeOnACoherentTone)
{
    const ConverterTest test;
    const TestWindow rect = rectWindow(test.lngNumSamp);
    const TestWindow flatTop = flatTopWindow(test.lngNumSamp);
    const ToneFigures a = figuresOf(averagedPower(test.tones(), test.dblNoiseSigma, rect, 8), rect);
    const ToneFigures b = figuresOf(averagedPower(test.tones(), test.dblNoiseSigma, flatTop, 8), flatTop);
    EXPECT_NEAR(a.dblSnr, b.dblSnr, 0.2);
    EXPECT_NEAR(a.dblThd, b.dblThd, 0.2);
    EXPECT_NEAR(a.dblSinad, b.dblSinad, 0.2);
    EXPECT_NEAR(a.dblSfdr, b.dblSfdr, 0.2);
    EXPECT_NEAR(a.dblEnob, b.dblEnob, 0.2 / 6.02);
}

TEST(ToneFigures, HarmonicsAboveHalfTheSamplingRateAreFoundWhereTheyFold)
{
    const ConverterTest test;
    const TestWindow win = hannWindow(test.lngNumSamp);
    const ToneFigures figures = figuresOf(averagedPower(test.tones(), test.dblNoiseSigma, win, 4), win);
    const double dblDeltaFreq = dblSampFreq / test.lngNumSamp;
    // 3 x 3001 = 9003 lines folds to 16384 - 9003 = 7381, 4 x 3001 to 16384 - 12004 = 4380.
    EXPECT_EQ(figures.harmonics[1].lngLine, 7381);
    EXPECT_NEAR(figures.harmonics[1].dblFreq, 7381 * dblDeltaFreq, 1e-3);
    EXPECT_EQ(figures.harmonics[2].lngLine, 4380);
    for (const std::int32_t lngLine : {3001, 6002, 7381, 4380}) {
        EXPECT_NE(figures.roles[static_cast<std::size_t>(lngLine)], LineRole::Noise) << lngLine;
    }
    EXPECT_EQ(figures.roles[0], LineRole::Excluded);
    EXPECT_EQ(figures.roles[2], LineRole::Excluded);
    EXPECT_EQ(figures.roles[3], LineRole::Noise);
    EXPECT_EQ(figures.roles[3001], LineRole::Fundamental);
}

TEST(ToneFigures, AGivenFundamentalIsMeasuredEvenBesideALargerTone)
{
    const TestWindow win = hannWindow(4096);
    // A tone off its line (1000.3 cycles) and a larger one elsewhere.
    const std::vector<double> dblPower = averagedPower({{1000.3, 8000}, {1500, 20000}}, 1.0, win, 2);
    const ToneFigures figures = figuresOf(dblPower, win, 1000.3 * dblSampFreq / 4096);
    EXPECT_NEAR(figures.dblFundamentalFreq, 1000.3 * dblSampFreq / 4096, 0.05 * dblSampFreq / 4096);
    // Hann's main lobe holds all but a trace of an off-line tone's power.
    EXPECT_NEAR(10 * std::log10(figures.dblFundamentalPower / (std::pow(8000 * dblVoltsPerCount, 2) / 2)), 0.0, 0.1);
    EXPECT_NEAR(figures.dblSfdr, 20 * std::log10(8000.0 / 20000.0), 1.6); // scalloping of the given tone
}

// Asked for at or beyond half the rate, the fundamental was looked for past the spectrum's end: a crash
// far beyond it, heap memory read as the SFDR just beyond it, a signed overflow at 1e300 Hz.
TEST(ToneFigures, AFundamentalOutsideHalfTheRateIsAProblemNotARead)
{
    const TestWindow win = hannWindow(1024);
    const std::vector<double> dblPower = averagedPower({{100, 8000}}, 1.0, win, 2);
    for (const double dblGiven : {24000.0, 24000.1, 24100.0, 28125.0, 1e6, 1e300, 0.0, -5.0,
                                  std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()}) {
        SCOPED_TRACE(dblGiven);
        const ToneFigures figures = figuresOf(dblPower, win, dblGiven);
        EXPECT_EQ(figures.problem, FiguresProblem::FundamentalOutside);
        EXPECT_EQ(figures.roles.size(), dblPower.size());
        EXPECT_EQ(figures.dblSfdr, 0.0);
    }
    // Just below half the rate is a frequency like any other: the highest line near it, within the spectrum.
    const ToneFigures nearHalf = figuresOf(dblPower, win, 23990.0);
    EXPECT_EQ(nearHalf.problem, FiguresProblem::None);
    EXPECT_GE(nearHalf.lngFundamentalLine, 510);
    EXPECT_LE(nearHalf.lngFundamentalLine, 512);
}

// Powers beyond the double range (a range of 1e200 V squared, or an infinite line) gave NaN figures and
// a rounding of NaN; a spectrum without power gave -inf and NaN. Both are problems instead.
TEST(ToneFigures, PowersBeyondTheDoubleRangeOrNoneAtAllAreProblems)
{
    const TestWindow win = hannWindow(1024);
    const std::vector<double> dblPower = averagedPower({{100, 8000}}, 1.0, win, 2);
    EXPECT_EQ(figuresOf(dblPower, win, std::nullopt, std::nullopt, 1e200 / 32767).problem, FiguresProblem::Overflow);
    std::vector<double> dblInfinite = dblPower;
    dblInfinite[300] = std::numeric_limits<double>::infinity();
    EXPECT_EQ(figuresOf(dblInfinite, win).problem, FiguresProblem::Overflow);
    EXPECT_EQ(figuresOf(std::vector<double>(dblPower.size(), 0.0), win).problem, FiguresProblem::NoTone);
    EXPECT_EQ(figuresOf(dblPower, win).problem, FiguresProblem::None);
}

// Off a line, Hann's leakage past its counted lobe is counted as noise: the figures state the window's
// limit, this tone's leakage and its place, and warn where the leakage exceeds the rest of the noise.
// The 7-term Blackman-Harris window reads the construction wherever the tone falls. The leakages are
// numpy's sums over the windows' transforms (Hann -33.0 dBc half-way between lines, -37.8 a quarter off;
// 7-term Blackman-Harris -161.4 half-way).
TEST(ToneFigures, TheWindowsLeakageIsStatedAndWarnedWhereItExceedsTheNoise)
{
    // Long segments: the lines of the lobes left out of the noise then hardly change the SNR read.
    constexpr std::int32_t lngNumSamp = 8192;
    constexpr double dblPeak = 16384;
    const double dblSigma = dblPeak / std::numbers::sqrt2 * std::pow(10.0, -70.0 / 20); // SNR 70 dB
    const TestWindow hann = hannWindow(lngNumSamp);
    const TestWindow bh7 = blackmanHarris7Window(lngNumSamp);
    struct Case
    {
        const char* strLabel;
        const TestWindow& win;
        WindowKind kind;
        double dblCycles;
        double dblLeakageDb; // this tone's
        double dblLimitDb;
        bool blnWarned;
    };
    const Case cases[] = {
        {"hann half-way", hann, WindowKind::Hann, 100.5, -33.0, -33.0, true},
        {"hann a quarter off", hann, WindowKind::Hann, 100.25, -37.8, -33.0, true},
        {"bh7 half-way", bh7, WindowKind::BlackmanHarris7, 100.5, -161.4, -161.4, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.strLabel);
        const ToneFigures figures =
            figuresOf(averagedPower({{c.dblCycles, dblPeak}}, dblSigma, c.win, 12), c.win, std::nullopt, c.kind);
        EXPECT_NEAR(std::fabs(figures.dblToneOffset), c.dblCycles - 100.0, 0.01);
        EXPECT_NEAR(10 * std::log10(figures.dblLeakage), c.dblLeakageDb, 0.3);
        EXPECT_NEAR(10 * std::log10(figures.dblLeakageLimit), c.dblLimitDb, 0.2);
        EXPECT_EQ(figures.blnLeakageAboveNoise, c.blnWarned);
        EXPECT_EQ(leakageWarning(figures, c.kind).empty(), !c.blnWarned);
        if (!c.blnWarned) {
            EXPECT_NEAR(figures.dblSnr, 70.0, 0.3);
        }
    }
    // On a line nothing leaks, whatever the window.
    const ToneFigures coherent =
        figuresOf(averagedPower({{100, dblPeak}}, dblSigma, hann, 12), hann, std::nullopt, WindowKind::Hann);
    EXPECT_FALSE(coherent.blnLeakageAboveNoise);
    EXPECT_LT(10 * std::log10(coherent.dblLeakage), -90.0);
    EXPECT_NEAR(coherent.dblSnr, 70.0, 0.3);
}

} // namespace
} // namespace kestrix::engine
