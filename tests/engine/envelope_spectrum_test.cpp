// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/recordings/envelope_spectrum.h"
#include "engine/recordings/recording_measures.h"
#include "support/fakes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <random>

namespace kestrix::engine {
namespace {

const double dblPI = std::atan(1.0) * 4;
constexpr double dblVoltsPerCount = 5.0 / 32767;

// |H(f)| of the taps by the direct sum, in long double: the filter's response as the tests' truth.
double response(const ComplexTaps& taps, double dblHz, double dblSampFreq)
{
    std::complex<long double> sum = 0;
    const auto lngHalf = static_cast<std::int64_t>(taps.dblR.size() / 2);
    for (std::size_t i = 0; i < taps.dblR.size(); ++i) {
        const long double ldblPhase =
            -2.0L * std::numbers::pi_v<long double> * dblHz / dblSampFreq * (static_cast<std::int64_t>(i) - lngHalf);
        sum += std::complex<long double>(taps.dblR[i], taps.dblI[i]) *
               std::complex<long double>(std::cos(ldblPhase), std::sin(ldblPhase));
    }
    return static_cast<double>(std::abs(sum));
}

// The filter passes the band's positive frequencies with gain 2 (a tone of amplitude A gives an analytic
// signal of magnitude A), is at half on the edges and 80 dB down beyond the transitions and at every
// negative frequency.
TEST(EnvelopeFilter, PassesTheBandsPositiveFrequenciesOnly)
{
    struct Case
    {
        FrequencyBand band;
        double dblSampFreq;
    };
    for (const Case c : {Case{{1500.0, 2500.0}, 8192.0}, Case{{2000.0, 10000.0}, 48000.0}, Case{{100.0, 300.0}, 1024.0},
                         Case{{20.0, 400.0}, 1024.0}}) {
        SCOPED_TRACE(bandText(c.band));
        const EnvelopeDesign design = designEnvelopeFilter(c.band, c.dblSampFreq);
        ASSERT_FALSE(design.refusal);
        EXPECT_EQ(design.lngTaps % 2, 1);
        const ComplexTaps taps = envelopeTaps(c.band, c.dblSampFreq, design.lngTaps, dblPI);
        const double dblHalfTransition = design.dblTransitionHz / 2;
        const double dblStep = (c.band.dblHighHz - c.band.dblLowHz) / 97;
        double dblWorstPass = 0.0;
        double dblWorstStop = 0.0;
        for (double dblHz = -c.dblSampFreq / 2; dblHz <= c.dblSampFreq / 2; dblHz += dblStep) {
            const double dblGain = response(taps, dblHz, c.dblSampFreq) / 2;
            if (dblHz >= c.band.dblLowHz + dblHalfTransition && dblHz <= c.band.dblHighHz - dblHalfTransition) {
                dblWorstPass = std::max(dblWorstPass, std::fabs(dblGain - 1));
            } else if (dblHz <= c.band.dblLowHz - dblHalfTransition || dblHz >= c.band.dblHighHz + dblHalfTransition) {
                dblWorstStop = std::max(dblWorstStop, dblGain);
            }
        }
        EXPECT_LT(dblWorstPass, 1.2e-4);
        EXPECT_LT(20 * std::log10(dblWorstStop), -78.0);
        EXPECT_NEAR(response(taps, c.band.dblLowHz, c.dblSampFreq), 1.0, 1e-3);
        EXPECT_NEAR(response(taps, c.band.dblHighHz, c.dblSampFreq), 1.0, 1e-3);
        // Linear phase: the taps are conjugate-symmetric about the middle.
        for (std::size_t i = 0; i < taps.dblR.size() / 2; ++i) {
            const std::size_t j = taps.dblR.size() - 1 - i;
            ASSERT_NEAR(taps.dblR[i], taps.dblR[j], 1e-15);
            ASSERT_NEAR(taps.dblI[i], -taps.dblI[j], 1e-15);
        }
    }
}

TEST(EnvelopeFilter, BandsItCannotFilterAreRefusedWithTheirReason)
{
    using Kind = EnvelopeRefusal::Kind;
    struct Case
    {
        FrequencyBand band;
        double dblSampFreq;
        Kind kind;
    };
    const Case cases[] = {
        {{0.0, 100.0}, 1024, Kind::LowNotPositive},
        {{-5.0, 100.0}, 1024, Kind::LowNotPositive},
        {{std::nan(""), 100.0}, 1024, Kind::LowNotPositive},
        {{100.0, 100.0}, 1024, Kind::HighNotAboveLow},
        {{200.0, 100.0}, 1024, Kind::HighNotAboveLow},
        {{100.0, 512.0}, 1024, Kind::HighAboveRange},
        {{10.0, 11.0}, 48000, Kind::TooNarrow},
        {{1.0, 5000.0}, 48000, Kind::TooNarrow},
        {{1000.0, 23999.0}, 48000, Kind::TooNarrow},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(envelopeRefusalText({c.kind, c.band, c.dblSampFreq, 0}));
        const EnvelopeDesign design = designEnvelopeFilter(c.band, c.dblSampFreq);
        ASSERT_TRUE(design.refusal);
        EXPECT_EQ(design.refusal->kind, c.kind);
        if (c.kind == Kind::TooNarrow) {
            EXPECT_GT(design.refusal->lngTapsNeeded, lngMaxEnvelopeTaps);
        }
    }
    EXPECT_EQ(envelopeRefusalText(*designEnvelopeFilter({10.0, 11.0}, 48000).refusal),
              "the envelope band 10-11 Hz is too narrow, or too near 0 Hz or half the sampling frequency, at fs = "
              "48000 Hz: its filter would need 963541 taps (16385 at most)");
    EXPECT_EQ(envelopeRefusalText(*designEnvelopeFilter({100.0, 600.0}, 1024).refusal),
              "the envelope band 100-600 Hz: its high edge must be below half the sampling frequency (512 Hz)");
}

std::vector<double> detect(const FrequencyBand& band, double dblSampFreq, std::span<const double> dblSamples,
                           std::size_t lngChunk)
{
    std::vector<double> dblEnvelope;
    EnvelopeDetector detector(band, dblSampFreq, dblPI, [&](std::span<const double> dblPart) {
        dblEnvelope.insert(dblEnvelope.end(), dblPart.begin(), dblPart.end());
    });
    for (std::size_t lngAt = 0; lngAt < dblSamples.size(); lngAt += lngChunk) {
        detector.addSamples(dblSamples.subspan(lngAt, std::min(lngChunk, dblSamples.size() - lngAt)));
    }
    detector.finish();
    return dblEnvelope;
}

// The blocks of the fast convolution give the direct one's envelope, whatever chunks the samples
// come in, for every sample the filter covers whole and no other.
TEST(EnvelopeDetector, IsTheMagnitudeOfTheDirectConvolution)
{
    const FrequencyBand band{100.0, 300.0};
    const double dblSampFreq = 1024.0;
    const std::int32_t lngTaps = designEnvelopeFilter(band, dblSampFreq).lngTaps;
    const ComplexTaps taps = envelopeTaps(band, dblSampFreq, lngTaps, dblPI);
    std::mt19937_64 random(5);
    std::uniform_real_distribution<double> uniform(-1000.0, 1000.0);
    std::vector<double> dblSamples(5000);
    for (double& dblSample : dblSamples) {
        dblSample = uniform(random);
    }
    const std::vector<double> dblEnvelope = detect(band, dblSampFreq, dblSamples, dblSamples.size());
    ASSERT_EQ(dblEnvelope.size(), dblSamples.size() - static_cast<std::size_t>(lngTaps - 1));
    for (std::size_t j = 0; j < dblEnvelope.size(); ++j) {
        std::complex<long double> sum = 0;
        for (std::size_t i = 0; i < taps.dblR.size(); ++i) {
            sum += std::complex<long double>(taps.dblR[i], taps.dblI[i]) *
                   static_cast<long double>(dblSamples[j + taps.dblR.size() - 1 - i]);
        }
        ASSERT_NEAR(dblEnvelope[j], static_cast<double>(std::abs(sum)), 1e-9) << "envelope sample " << j;
    }
    for (const std::size_t lngChunk : {1UL, 7UL, 1000UL, 4096UL}) {
        SCOPED_TRACE(lngChunk);
        EXPECT_EQ(detect(band, dblSampFreq, dblSamples, lngChunk), dblEnvelope);
    }
    EXPECT_TRUE(
        detect(band, dblSampFreq, std::span(dblSamples).first(static_cast<std::size_t>(lngTaps - 1)), 100).empty());
}

// Envelope sample j belongs to recording sample j + M. A burst whose samples are even about its centre
// c gives, through conjugate-symmetric taps, an output at c + t that is the conjugate of the one at
// c - t: the aligned envelope is exactly symmetric about c, which a delay off by a sample would break.
TEST(EnvelopeDetector, ItsEnvelopeIsAlignedWithTheRecording)
{
    const FrequencyBand band{1500.0, 2500.0};
    const double dblSampFreq = 8192.0;
    const std::int32_t lngTaps = designEnvelopeFilter(band, dblSampFreq).lngTaps;
    const auto lngHalf = static_cast<std::int64_t>(lngTaps / 2);
    constexpr std::int64_t lngStart = 2000;
    constexpr std::int64_t lngCentre = 4000;
    std::vector<double> dblSamples(9000, 0.0);
    for (std::int64_t n = lngStart; n <= 2 * lngCentre - lngStart; ++n) {
        dblSamples[static_cast<std::size_t>(n)] =
            800.0 * std::cos(2 * std::numbers::pi * 2000.0 * static_cast<double>(n - lngCentre) / dblSampFreq);
    }
    const std::vector<double> dblEnvelope = detect(band, dblSampFreq, dblSamples, 333);
    const auto at = [&](std::int64_t lngSample) { return dblEnvelope[static_cast<std::size_t>(lngSample - lngHalf)]; };
    for (std::int64_t t = 0; t < lngCentre - lngStart + 2 * lngHalf; ++t) {
        ASSERT_NEAR(at(lngCentre + t), at(lngCentre - t), 1e-9) << "t = " << t;
    }
    // Before the burst comes into the filter nothing; once it fills it, its amplitude.
    EXPECT_LT(at(lngStart - lngHalf - 1), 1e-9);
    EXPECT_GT(at(lngStart), 300.0); // half the filter on the burst
    EXPECT_LT(at(lngStart), 700.0);
    EXPECT_NEAR(at(lngStart + lngHalf), 800.0, 0.1);
    EXPECT_NEAR(at(lngCentre), 800.0, 0.1);
}

struct EnvelopeRecording : ::testing::Test
{
    // A (1 + m cos 2 pi fm t) cos 2 pi fc t in volts, written as counts, with a second carrier outside
    // the band whose own modulation must not show.
    void record(double dblAmplitude, double dblDepth, double dblModHz, std::size_t lngSamples)
    {
        std::string strText;
        for (std::size_t n = 0; n < lngSamples; ++n) {
            const double dblT = static_cast<double>(n) / lngSampFreq;
            const double dblVolts = dblAmplitude * (1 + dblDepth * std::cos(2 * std::numbers::pi * dblModHz * dblT)) *
                                        std::cos(2 * std::numbers::pi * 2000.0 * dblT) +
                                    0.8 * (1 + 0.5 * std::cos(2 * std::numbers::pi * 90.0 * dblT)) *
                                        std::cos(2 * std::numbers::pi * 600.0 * dblT);
            strText += std::to_string(dblVolts / dblVoltsPerCount) + "\n";
        }
        files.files["/m/bearing.txt"] = strText;
    }
    AverageFileResult analyse(const AverageRequest& request)
    {
        return averageRecording(request, "/m/bearing.txt", files, sounds, dblPI);
    }
    static constexpr std::int32_t lngSampFreq = 8192;
    testing::MemoryTextFiles files;
    testing::NoSoundFiles sounds;
};

// The truth: the envelope spectrum of an AM carrier in the band has its line at fm, within one
// line, of A m peak within 1 %, on a line (Hann) or between lines (flat top), in volts or through a sensor.
TEST_F(EnvelopeRecording, AnAmCarriersEnvelopeShowsItsModulation)
{
    struct Case
    {
        WindowKind window;
        double dblModHz;
        double dblAmplitude;
        double dblDepth;
        std::optional<EngineeringUnit> sensor;
    };
    const Case cases[] = {
        {WindowKind::Hann, 50.0, 1.0, 0.5, std::nullopt},
        {WindowKind::FlatTop, 37.3, 1.5, 0.3, std::nullopt},
        {WindowKind::FlatTop, 123.45, 0.5, 0.8, engineeringUnit("g", 0.1)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << windowName(c.window) << " " << c.dblModHz << " Hz");
        record(c.dblAmplitude, c.dblDepth, c.dblModHz, 4096 * 20);
        AverageRequest request;
        request.settings = {4096, c.window};
        request.lngSampFreq = lngSampFreq;
        request.units = SpectrumUnits::Peak;
        request.quantity.sensor = c.sensor;
        request.envelope = FrequencyBand{1500.0, 2500.0};
        const AverageFileResult result = analyse(request);
        ASSERT_TRUE(result.analysed()) << result.strRefusal;
        ASSERT_TRUE(result.envelope);
        const std::vector<double>& dblValues = result.envelope->dblValues;
        // The highest line above the lowest few (each segment's mean is removed; its leakage stays there).
        const auto peak = std::max_element(dblValues.begin() + 8, dblValues.end());
        const double dblPeakHz = static_cast<double>(peak - dblValues.begin()) * result.dblDeltaFreq;
        EXPECT_LE(std::fabs(dblPeakHz - c.dblModHz), result.dblDeltaFreq);
        const double dblTruth = c.dblAmplitude * c.dblDepth / (c.sensor ? c.sensor->dblVoltsPerUnit : 1.0);
        EXPECT_NEAR(*peak, dblTruth, 0.01 * dblTruth);
        // The other carrier's 90 Hz lies outside the band: its line stays far below.
        const auto lngOther = static_cast<std::size_t>(std::lround(90.0 / result.dblDeltaFreq));
        EXPECT_LT(dblValues[lngOther], 1e-3 * dblTruth);
    }
}

TEST_F(EnvelopeRecording, TheEnvelopeFileNamesItsBandAndTooShortARecordingIsRefused)
{
    record(1.0, 0.5, 50.0, 4096 * 3);
    AverageRequest request;
    request.settings = {1024, WindowKind::Hann};
    request.lngSampFreq = lngSampFreq;
    request.quantity.sensor = engineeringUnit("g", 0.1);
    request.quantity.quantity = Quantity::Velocity;
    request.envelope = FrequencyBand{1500.0, 2500.0};
    const AverageFileResult result = analyse(request);
    ASSERT_TRUE(result.analysed()) << result.strRefusal;
    const std::int32_t lngTaps = result.envelope->lngTaps;
    const std::string strPath = envelopeOutputName(files, "/m/bearing.txt", request);
    EXPECT_EQ(strPath, "/m/bearing_ENV_SPC.csv");
    writeEnvelopeSpectrum(files, strPath, result);
    const std::string& strFile = files.files.at(strPath);
    // The envelope is of the acceleration as recorded, each segment's mean removed.
    const std::int64_t lngEnvelope = 4096 * 3 - (lngTaps - 1);
    EXPECT_EQ(strFile.substr(0, strFile.find("\r\n")),
              "frequency (Hz),rms (g),envelope=1500-2500 Hz,window=hann,N=1024,overlap=50%,segments=" +
                  std::to_string(segmentCount(lngEnvelope, 1024, 50)) +
                  ",averaging=mean,detrend=mean,fs=8192 Hz,range=5 V,sensitivity=100 mV/g,samples=" +
                  std::to_string(lngEnvelope) + ",source=bearing.txt");
    EXPECT_EQ(std::count(strFile.begin(), strFile.end(), '\n'), 1 + 401);
    // The recording's own spectrum is the velocity's as asked.
    EXPECT_TRUE(result.strHeading.starts_with("frequency (Hz),rms (mm/s),")) << result.strHeading;

    record(1.0, 0.5, 50.0, static_cast<std::size_t>(lngTaps - 1) + 1023);
    const AverageFileResult tooShort = analyse(request);
    EXPECT_EQ(tooShort.strRefusal, "too few samples for one segment of the envelope: 1023 envelope samples (the "
                                   "filter takes " +
                                       std::to_string(lngTaps - 1) + " of the recording's), 1024 needed");
    request.envelope = FrequencyBand{1500.0, 4096.0};
    EXPECT_EQ(analyse(request).strRefusal,
              "the envelope band 1500-4096 Hz: its high edge must be below half the sampling frequency (4096 Hz)");
}

} // namespace
} // namespace kestrix::engine
