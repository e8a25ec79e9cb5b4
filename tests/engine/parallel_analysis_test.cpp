// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/recordings/average_analysis.h"
#include "engine/recordings/octave_analyser.h"
#include "engine/recordings/read_ahead.h"
#include "engine/recordings/recording_measures.h"
#include "engine/recordings/segment_pipeline.h"
#include "engine/recordings/transfer_analysis.h"
#include "platform/failure.h"
#include "support/expect_failure.h"
#include "support/fakes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <map>
#include <memory>
#include <numbers>
#include <stdexcept>
#include <string>
#include <vector>

// The analyses on many threads: every file the same to the bit as on one, the recording read ahead
// without a sample, a refusal or a failure moved from its place.
namespace kestrix::engine {
namespace {

// A tone between lines, a slow drift and a deterministic pattern of small counts: long enough that
// every thread of eight has slots to work on.
std::string longRecordingText(int intSamples)
{
    std::string strText;
    for (int n = 0; n < intSamples; ++n) {
        const double dblCount = 2500.0 * std::sin(2 * std::numbers::pi * 0.0713 * n) + 0.01 * n +
                                static_cast<double>(n * 7919 % 301) - 150.0;
        strText += std::to_string(std::lround(dblCount)) + "\r\n";
    }
    return strText;
}

// Every file an averaged analysis writes, by name.
std::map<std::string, std::string> analysedFiles(AverageRequest request, std::int32_t lngThreads,
                                                 const std::string& strRecording)
{
    testing::MemoryTextFiles files;
    files.files["/rec/long.txt"] = strRecording;
    testing::NoSoundFiles sounds;
    request.lngThreads = lngThreads;
    const AverageFileResult result = analyseAverage(request, "/rec/long.txt", files, sounds, std::atan(1.0) * 4);
    EXPECT_TRUE(result.analysed()) << result.strRefusal;
    files.files.erase("/rec/long.txt");
    return files.files;
}

TEST(ParallelAnalysis, FilesAreTheSameToTheBitWhateverTheThreads)
{
    struct Case
    {
        const char* strName;
        std::int32_t lngNumSamp;
        Averaging averaging;
        Detrend detrend;
        bool blnMetrics;
        bool blnEnvelope;
    };
    const Case cases[] = {
        {"mean, 64 points, odd segment count", 64, Averaging::Mean, Detrend::None, false, false},
        {"peak hold, detrended, 256 points", 256, Averaging::Peak, Detrend::Mean, false, false},
        {"figures and envelope, 1024 points", 1024, Averaging::Mean, Detrend::None, true, true},
    };
    const std::string strRecording = longRecordingText(150001);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.strName);
        AverageRequest request;
        request.lngSampFreq = 8192;
        request.settings.lngNumSamp = c.lngNumSamp;
        request.settings.averaging = c.averaging;
        request.settings.detrend = c.detrend;
        request.blnMetrics = c.blnMetrics;
        if (c.blnEnvelope) {
            request.envelope = FrequencyBand{500.0, 1500.0};
        }
        const std::map<std::string, std::string> strOneThread = analysedFiles(request, 1, strRecording);
        EXPECT_EQ(strOneThread.size(), 1U + (c.blnMetrics ? 1U : 0U) + (c.blnEnvelope ? 1U : 0U));
        for (const std::int32_t lngThreads : {2, 8}) {
            SCOPED_TRACE(std::to_string(lngThreads) + " threads");
            EXPECT_EQ(analysedFiles(request, lngThreads, strRecording), strOneThread);
        }
    }
}

// Two columns: an input of tones and small counts, an output that is a third of it three samples later
// plus counts of its own.
std::string twoChannelText(int intSamples)
{
    std::string strText = "input,output\r\n";
    auto input = [](int n) {
        return std::lround(2500.0 * std::sin(2 * std::numbers::pi * 0.0713 * n) + static_cast<double>(n * 7919 % 301));
    };
    for (int n = 0; n < intSamples; ++n) {
        const long lngOutput = (n >= 3 ? input(n - 3) / 3 : 0) + (n * 29 % 41) - 20;
        strText += std::to_string(input(n)) + "," + std::to_string(lngOutput) + "\r\n";
    }
    return strText;
}

// The two-channel file likewise, with FFTW's transforms and with the engine's own paired one.
TEST(ParallelAnalysis, TheTwoChannelFileIsTheSameToTheBitWhateverTheThreads)
{
    testing::MemoryTextFiles files;
    files.files["/rec/pair.txt"] = twoChannelText(60001);
    testing::NoSoundFiles sounds;
    for (const RealTransformKind kind : {RealTransformKind::EngineFft, RealTransformKind::Fftw}) {
        if (!realTransformAvailable(kind)) {
            continue;
        }
        SCOPED_TRACE(kind == RealTransformKind::Fftw ? "FFTW" : "the engine's FFT");
        TransferRequest request;
        request.lngSampFreq = 8192;
        request.settings.lngNumSamp = 512;
        request.settings.transform = kind;
        request.input = ColumnChoice{1, {}};
        request.output = ColumnChoice{0, "output"};
        std::string strOneThread;
        for (const std::int32_t lngThreads : {1, 2, 8}) {
            SCOPED_TRACE(std::to_string(lngThreads) + " threads");
            request.lngThreads = lngThreads;
            const TransferFileResult result =
                analyseTransfer(request, "/rec/pair.txt", files, sounds, std::atan(1.0) * 4);
            ASSERT_TRUE(result.analysed()) << result.strRefusal;
            ASSERT_GT(result.spectra.lngSegments, 100);
            const std::string& strFile = files.files.at("/rec/pair_FRF.csv");
            if (lngThreads == 1) {
                strOneThread = strFile;
            } else {
                EXPECT_EQ(strFile, strOneThread);
            }
        }
    }
}

// The octave bands with the first stage's bands on a thread of their own: every band's mean square the
// same to the bit as on one thread, fed in chunks that do not line up with the bank's blocks or the
// side thread's, with and without a weighting and for the narrowest bands (many stages).
TEST(ParallelAnalysis, OctaveBandsAreTheSameToTheBitOnASideThread)
{
    std::vector<double> dblSignal(300001);
    for (std::size_t n = 0; n < dblSignal.size(); ++n) {
        const auto dblN = static_cast<double>(n);
        dblSignal[n] = 3000.0 * std::sin(0.013 * dblN) + 800.0 * std::sin(1.7 * dblN) +
                       static_cast<double>(n * 7919 % 401) - 200.0;
    }
    struct Case
    {
        std::int32_t lngBandsPerOctave;
        FrequencyWeighting weighting;
    };
    for (const Case c :
         {Case{3, FrequencyWeighting::A}, Case{1, FrequencyWeighting::Z}, Case{24, FrequencyWeighting::C}}) {
        SCOPED_TRACE(::testing::Message() << "1/" << c.lngBandsPerOctave);
        OctaveSettings settings;
        settings.lngBandsPerOctave = c.lngBandsPerOctave;
        settings.weighting = c.weighting;
        auto levelsOn = [&](std::int32_t lngThreads) {
            OctaveAnalyser analyser(settings, 48000.0, {}, 0.1, lngThreads);
            for (std::size_t lngAt = 0; lngAt < dblSignal.size(); lngAt += 12345) {
                analyser.addSamples(std::span<const double>(dblSignal).subspan(
                    lngAt, std::min<std::size_t>(12345, dblSignal.size() - lngAt)));
                // Levels asked on the way, and averages restarted, while the side thread is a block
                // behind.
                if (lngAt == 12345 * 6) {
                    EXPECT_GT(analyser.levels().dblBandMeanSquare.back(), 0.0);
                } else if (lngAt == 12345 * 9) {
                    analyser.restartAverages();
                }
            }
            return analyser.levels();
        };
        const OctaveLevels one = levelsOn(1);
        const OctaveLevels two = levelsOn(2);
        ASSERT_GT(one.bands.size(), 5U);
        EXPECT_GT(one.dblBandMeanSquare.front(), 0.0);
        EXPECT_EQ(two.dblBandMeanSquare, one.dblBandMeanSquare);
        EXPECT_EQ(two.overall.dblMeanSquare, one.overall.dblMeanSquare);
        EXPECT_EQ(two.overall.lngSamples, one.overall.lngSamples);
    }
}

// Every segment reported once, in order, with the spectrum one thread gives it.
TEST(ParallelAnalysis, SegmentsAreReportedInTheirOrder)
{
    AverageSettings settings;
    settings.lngNumSamp = 128;
    std::vector<double> dblCounts(40000);
    for (std::size_t n = 0; n < dblCounts.size(); ++n) {
        dblCounts[n] = std::round(1000.0 * std::sin(0.37 * static_cast<double>(n)));
    }
    const auto segments = [&](std::int32_t lngThreads) {
        std::vector<std::vector<double>> dblSegments;
        SpectrumAverager averager(
            settings, std::atan(1.0) * 4,
            [&](std::int64_t lngSegment, std::span<const double> dblPower) {
                EXPECT_EQ(lngSegment, static_cast<std::int64_t>(dblSegments.size()));
                dblSegments.emplace_back(dblPower.begin(), dblPower.end());
            },
            lngThreads);
        // Chunks of uneven sizes, as a stream gives them.
        for (std::size_t lngAt = 0; lngAt < dblCounts.size(); lngAt += 777) {
            averager.addSamples(std::span<const double>(dblCounts).subspan(
                lngAt, std::min<std::size_t>(777, dblCounts.size() - lngAt)));
        }
        const AveragedPower average = averager.finish();
        EXPECT_EQ(average.lngSegments, static_cast<std::int64_t>(dblSegments.size()));
        return dblSegments;
    };
    const std::vector<std::vector<double>> dblOne = segments(1);
    ASSERT_EQ(dblOne.size(), static_cast<std::size_t>(segmentCount(40000, 128, 50.0)));
    EXPECT_EQ(segments(3), dblOne);
}

// Each slot holds its segments as one run of samples: whatever the overlap (none, most of a segment, a
// step that does not divide N) and the threads, segment s is the transform of samples s * step to
// s * step + N - 1, as an averager given those samples alone finds it.
TEST(ParallelAnalysis, EverySegmentIsCutWhereItsStepPutsItWhateverTheOverlap)
{
    // More than two slots' worth, so that every overlap carries samples from slot to slot.
    std::vector<double> dblCounts(2 * lngSlotSamples + 1000);
    for (std::size_t n = 0; n < dblCounts.size(); ++n) {
        dblCounts[n] = std::round(3000.0 * std::sin(0.0123 * static_cast<double>(n * n % 9973)));
    }
    for (const double dblOverlap : {0.0, 37.5, 75.0, 95.0}) {
        AverageSettings settings;
        settings.lngNumSamp = 256;
        settings.dblOverlap = dblOverlap;
        settings.detrend = Detrend::Mean;
        const auto lngStep = static_cast<std::size_t>(segmentStep(settings.lngNumSamp, dblOverlap));
        for (const std::int32_t lngThreads : {1, 3}) {
            SCOPED_TRACE(::testing::Message() << dblOverlap << " % overlap, " << lngThreads << " threads");
            std::int64_t lngSeen = 0;
            SpectrumAverager averager(
                settings, std::atan(1.0) * 4,
                [&](std::int64_t lngSegment, std::span<const double> dblPower) {
                    ASSERT_EQ(lngSegment, lngSeen++);
                    SpectrumAverager alone(settings, std::atan(1.0) * 4);
                    alone.addSamples(std::span<const double>(dblCounts).subspan(
                        static_cast<std::size_t>(lngSegment) * lngStep, 256));
                    const AveragedPower truth = alone.finish();
                    ASSERT_EQ(truth.lngSegments, 1);
                    for (std::size_t k = 0; k < dblPower.size(); ++k) {
                        ASSERT_NEAR(dblPower[k], truth.dblPower[k], 1e-9 * 3000.0 * 3000.0 * 256 * 256)
                            << "segment " << lngSegment << " line " << k;
                    }
                },
                lngThreads);
            for (std::size_t lngAt = 0; lngAt < dblCounts.size(); lngAt += 1000) {
                averager.addSamples(std::span<const double>(dblCounts).subspan(
                    lngAt, std::min<std::size_t>(1000, dblCounts.size() - lngAt)));
            }
            const auto lngSamples = static_cast<std::int64_t>(dblCounts.size());
            EXPECT_EQ(averager.finish().lngSegments, segmentCount(lngSamples, 256, dblOverlap));
            EXPECT_EQ(lngSeen, segmentCount(lngSamples, 256, dblOverlap));
        }
    }
}

TEST(ParallelAnalysis, AFailureOfTheWorkIsRaisedOnTheCallersThreadInItsTurn)
{
    std::vector<std::size_t> lngTaken;
    std::uint64_t lngHanded = 0;
    SegmentPipeline pipeline(
        4,
        [&](std::size_t lngSlot) {
            if (lngSlot == 5) {
                throw std::runtime_error("slot 5");
            }
        },
        [&](std::size_t lngSlot) { lngTaken.push_back(lngSlot); });
    ASSERT_EQ(pipeline.slotCount(), 8U);
    try {
        for (; lngHanded < 20; ++lngHanded) {
            EXPECT_EQ(pipeline.nextSlot(), lngHanded % 8);
            pipeline.handOver();
        }
        pipeline.finish();
        ADD_FAILURE() << "the failure was lost";
    } catch (const std::runtime_error& failure) {
        EXPECT_STREQ(failure.what(), "slot 5");
    }
    EXPECT_EQ(lngTaken, (std::vector<std::size_t>{0, 1, 2, 3, 4}));
}

// A text of counts that refuses a line, or fails, after some samples.
class ScriptedStream : public platform::SampleStream
{
public:
    // A failing stream raises its failure instead of giving fewer samples than asked.
    ScriptedStream(std::size_t lngSamples, bool blnFails) : lngSamples(lngSamples), blnFails(blnFails) {}
    std::size_t readCounts(std::span<double> dblCounts) override
    {
        if (blnFails && lngSamples - lngNext < dblCounts.size()) {
            raiseFailure(err::lngPathFileAccess, "the disk went away");
        }
        std::size_t lngGiven = 0;
        while (lngGiven < dblCounts.size() && lngNext < lngSamples) {
            dblCounts[lngGiven++] = static_cast<double>(lngNext++ % 65536) - 32768.0;
        }
        blnRefused = lngNext == lngSamples;
        return lngGiven;
    }
    std::size_t samplesGiven() const
    {
        return lngNext;
    }
    std::string refusal() const override
    {
        return blnRefused ? "line " + std::to_string(lngSamples + 1) + " is not a number" : std::string();
    }
    std::optional<std::int32_t> statedSampFreq() const override
    {
        return 48000;
    }
    std::int32_t channelCount() const override
    {
        return 1;
    }
    std::string sourceDescription() const override
    {
        return "column 2";
    }
    std::optional<double> shareRead() const override
    {
        return static_cast<double>(lngNext) / static_cast<double>(lngSamples);
    }

private:
    std::size_t lngSamples;
    bool blnFails;
    std::size_t lngNext = 0;
    bool blnRefused = false;
};

// Copied into the reader's room or seen in the stream's own blocks: the same samples.
TEST(ParallelAnalysis, ReadingAheadKeepsEverySampleAndTheRefusalAtItsPlace)
{
    for (const bool blnViews : {false, true}) {
        SCOPED_TRACE(blnViews ? "views" : "copies");
        const std::size_t lngSamples = 300001; // several blocks, the last one short
        ReadAheadStream stream(std::make_unique<ScriptedStream>(lngSamples, false));
        EXPECT_EQ(stream.statedSampFreq(), 48000);
        EXPECT_EQ(stream.sourceDescription(), "column 2");
        std::vector<double> dblChunk(10007);
        const auto next = [&] {
            return blnViews ? stream.nextCounts(dblChunk)
                            : std::span<const double>(dblChunk).first(stream.readCounts(dblChunk));
        };
        std::size_t lngRead = 0;
        bool blnInOrder = true;
        for (std::span<const double> dblGot = next(); !dblGot.empty(); dblGot = next()) {
            if (!blnViews) {
                EXPECT_EQ(stream.refusal(), lngRead + dblGot.size() < lngSamples ? "" : "line 300002 is not a number");
            }
            EXPECT_LE(dblGot.size(), dblChunk.size());
            for (std::size_t j = 0; j < dblGot.size(); ++j) {
                blnInOrder = blnInOrder && dblGot[j] == static_cast<double>((lngRead + j) % 65536) - 32768.0;
            }
            lngRead += dblGot.size();
            ASSERT_TRUE(stream.shareRead().has_value());
            EXPECT_GE(*stream.shareRead(), static_cast<double>(lngRead) / static_cast<double>(lngSamples));
        }
        EXPECT_TRUE(blnInOrder);
        EXPECT_EQ(lngRead, lngSamples);
        EXPECT_EQ(stream.refusal(), "line 300002 is not a number");
        EXPECT_EQ(stream.readCounts(dblChunk), 0U);
        EXPECT_TRUE(stream.nextCounts(dblChunk).empty());
    }
}

TEST(ParallelAnalysis, ReadingAheadRaisesAFailureAfterTheSamplesBeforeIt)
{
    auto failing = std::make_unique<ScriptedStream>(100000, true);
    const ScriptedStream& source = *failing;
    ReadAheadStream stream(std::move(failing));
    std::vector<double> dblAll(150000);
    std::size_t lngRead = 0;
    testing::expectFailure(err::lngPathFileAccess, [&] {
        // Bounded: a failure lost would otherwise read nothing for ever.
        for (int intCall = 0; intCall < 1000; ++intCall) {
            lngRead += stream.readCounts(std::span<double>(dblAll).subspan(lngRead, 1000));
        }
    });
    EXPECT_GT(lngRead, 0U);
    EXPECT_EQ(lngRead, source.samplesGiven());
    // Seen in the stream's blocks, the failure comes after the same samples.
    auto failingAgain = std::make_unique<ScriptedStream>(100000, true);
    const ScriptedStream& sourceAgain = *failingAgain;
    ReadAheadStream viewed(std::move(failingAgain));
    std::size_t lngSeen = 0;
    testing::expectFailure(err::lngPathFileAccess, [&] {
        for (int intCall = 0; intCall < 1000; ++intCall) {
            lngSeen += viewed.nextCounts(std::span<double>(dblAll).first(1000)).size();
        }
    });
    EXPECT_EQ(lngSeen, sourceAgain.samplesGiven());
}

TEST(ParallelAnalysis, AStreamLeftBeforeItsEndStopsReading)
{
    // A long stream: destroying the reader after one block must not wait for the rest of it.
    auto stream = std::make_unique<ReadAheadStream>(std::make_unique<ScriptedStream>(std::size_t{1} << 40, false));
    std::vector<double> dblChunk(1000);
    EXPECT_EQ(stream->readCounts(dblChunk), 1000U);
    stream.reset();
    SUCCEED();
}

} // namespace
} // namespace kestrix::engine
