// SPDX-License-Identifier: GPL-3.0-or-later
// A long recording is analysed within a fixed amount of memory: the heap in use is sampled while a
// generated recording streams through, and must never grow by more than a small multiple of the
// N-point buffers, far below the recording's own size.
#include "engine/recordings/average_analysis.h"
#include "engine/recordings/octave_analysis.h"
#include "engine/recordings/transfer_analysis.h"
#include "engine/run/global_define.h"
#include "platform/sndfile/sndfile_sound_files.h"
#include "platform/std/std_text_files.h"
#include "support/fakes.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <charconv>

#include <malloc.h>

namespace kestrix::engine {
namespace {

// Heap bytes in use (small blocks and mapped large ones), or 0 where the allocator does not say.
std::size_t heapInUse()
{
    const struct mallinfo2 info = ::mallinfo2();
    return info.uordblks + info.hblkhd;
}

// The highest heap use seen since the baseline.
struct HeapWatch
{
    std::size_t lngBaseline = heapInUse();
    std::size_t lngPeak = lngBaseline;
    void sample()
    {
        lngPeak = std::max(lngPeak, heapInUse());
    }
    std::size_t growth() const
    {
        return lngPeak - lngBaseline;
    }
};

// Lines "time,count" made as they are read: the recording exists nowhere whole.
class GeneratedReader final : public platform::TextReader
{
public:
    GeneratedReader(std::int64_t lngLines, HeapWatch& watch) : lngLines(lngLines), watch(watch) {}
    bool atEndOfStream() override
    {
        return lngLine >= lngLines;
    }
    platform::TextLine readLine() override
    {
        if (lngLine % 65536 == 0) {
            watch.sample();
        }
        char* pch = chrLine;
        if (lngLine == 0) {
            return {std::string_view("time,count"), (++lngLine, false)};
        }
        pch = std::to_chars(pch, std::end(chrLine), lngLine).ptr;
        *pch++ = ',';
        pch = std::to_chars(pch, std::end(chrLine), (lngLine * 7919) % 4001 - 2000).ptr;
        ++lngLine;
        return {std::string_view(chrLine, static_cast<std::size_t>(pch - chrLine)), false};
    }
    void close() override {}

private:
    std::int64_t lngLines;
    HeapWatch& watch;
    std::int64_t lngLine = 0;
    char chrLine[48] = {};
};

// Serves the generated recording and keeps the output in memory.
class GeneratedFiles final : public testing::MemoryTextFiles
{
public:
    GeneratedFiles(std::int64_t lngLines, HeapWatch& watch) : lngLines(lngLines), watch(watch) {}
    std::unique_ptr<platform::TextReader> openTextFile(std::string_view) override
    {
        return std::make_unique<GeneratedReader>(lngLines, watch);
    }
    std::unique_ptr<platform::TextWriter> createTextFile(std::string_view) override
    {
        return std::make_unique<Discard>();
    }

private:
    struct Discard final : platform::BufferedTextWriter
    {
        void commit(const std::string&) override {}
    };
    std::int64_t lngLines;
    HeapWatch& watch;
};

// Bytes: the buffers (well under 1 MB), the read-ahead's blocks (a megabyte and a half), the moments' held
// chunks (as much again) and the read-ahead thread's own heap; a sixth of a recording held whole.
constexpr std::size_t lngAllowedGrowth = 6 * 1024 * 1024;

TEST(BoundedMemory, AGeneratedTextRecordingStreamsThroughFixedBuffers)
{
    if (heapInUse() == 0) {
        GTEST_SKIP() << "the allocator does not report its use";
    }
    constexpr std::int64_t lngLines = 4'000'001; // a heading and 4 million samples: 32 MB as doubles
    HeapWatch watch;
    GeneratedFiles files(lngLines, watch);
    testing::NoSoundFiles sounds;
    AverageRequest request;
    request.choice.column = ColumnChoice{2, {}};
    const AverageFileResult result = analyseAverage(request, "/gen/rec.csv", files, sounds, computePI(),
                                                    [&](std::int64_t, std::span<const double>) { watch.sample(); });
    ASSERT_TRUE(result.analysed()) << result.strRefusal;
    EXPECT_EQ(result.average.lngSamples, lngLines - 1);
    EXPECT_EQ(result.average.lngSegments, segmentCount(lngLines - 1, 1024, 50));
    EXPECT_LT(watch.growth(), lngAllowedGrowth);
}

// Each analysis of recordings below reads a generated text recording (a heading and 4 million lines
// of two columns) and must keep to the same bound.
class LongTextRecording : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (heapInUse() == 0) {
            GTEST_SKIP() << "the allocator does not report its use";
        }
    }

    static constexpr std::int64_t lngLines = 4'000'001;
    HeapWatch watch;
    GeneratedFiles files{lngLines, watch};
    testing::NoSoundFiles sounds;
};

// Both signals of a two-column recording read in step, each through its own stream.
TEST_F(LongTextRecording, TheFrequencyResponseStreamsThroughFixedBuffers)
{
    TransferRequest request;
    request.input = ColumnChoice{1, {}};
    request.output = ColumnChoice{2, {}};
    const TransferFileResult result =
        analyseTransfer(request, "/gen/rec.csv", files, sounds, computePI(), [&](std::int64_t, auto) {
            watch.sample();
            return true;
        });
    ASSERT_TRUE(result.analysed()) << result.strRefusal;
    EXPECT_EQ(result.spectra.lngSamples, lngLines - 1);
    EXPECT_LT(watch.growth(), lngAllowedGrowth);
}

// The condition measures and the envelope (a narrow band: a filter of two thousand taps) ride along
// the same pass within the same bound.
TEST_F(LongTextRecording, LevelsAndTheEnvelopeStreamThroughFixedBuffers)
{
    AverageRequest request;
    request.choice.column = ColumnChoice{2, {}};
    request.blnLevels = true;
    request.envelope = FrequencyBand{200.0, 210.0};
    const AverageFileResult result = analyseAverage(request, "/gen/rec.csv", files, sounds, computePI(),
                                                    [&](std::int64_t, std::span<const double>) { watch.sample(); });
    ASSERT_TRUE(result.analysed()) << result.strRefusal;
    ASSERT_TRUE(result.envelope);
    EXPECT_GT(result.envelope->lngTaps, 2000);
    EXPECT_EQ(result.levels->lngSamples, lngLines - 1);
    EXPECT_EQ(result.envelope->average.lngSamples, lngLines - 1 - (result.envelope->lngTaps - 1));
    EXPECT_LT(watch.growth(), lngAllowedGrowth);
}

TEST_F(LongTextRecording, TheOctaveAnalysisStreamsThroughFixedBuffers)
{
    OctaveRequest request;
    request.choice.column = ColumnChoice{2, {}};
    request.settings.weighting = FrequencyWeighting::A;
    request.settings.timeWeighting = TimeWeighting::Fast;
    OctaveHooks hooks;
    hooks.onProgress = [&](std::int64_t, std::optional<double>) {
        watch.sample();
        return true;
    };
    const OctaveFileResult result = analyseOctaves(request, "/gen/rec.csv", files, sounds, hooks);
    ASSERT_TRUE(result.analysed()) << result.strRefusal;
    EXPECT_EQ(result.levels.overall.lngSamples, lngLines - 1);
    EXPECT_LT(watch.growth(), lngAllowedGrowth);
}

TEST(BoundedMemory, ALongSoundFileStreamsThroughFixedBuffers)
{
    testing::TempDir dir;
    const std::string strPath = dir.file("long.wav");
    SF_INFO info{};
    info.samplerate = 25600;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* file = sf_open(strPath.c_str(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr);
    std::vector<short> intFrames(2 * 65536);
    for (std::size_t i = 0; i < intFrames.size(); ++i) {
        intFrames[i] = static_cast<short>((i * 7919) % 20001);
    }
    constexpr int lngBlocks = 40; // 2.6 million frames, 10 MB
    for (int i = 0; i < lngBlocks; ++i) {
        ASSERT_EQ(sf_writef_short(file, intFrames.data(), 65536), 65536);
    }
    sf_close(file);
    if (heapInUse() == 0) {
        GTEST_SKIP() << "the allocator does not report its use";
    }
    HeapWatch watch;
    platform::StdTextFiles files;
    platform::SndfileSoundFiles sounds;
    AverageRequest request;
    request.settings.lngNumSamp = 4096;
    request.choice.lngChannel = 2;
    const AverageFileResult result = analyseAverage(request, strPath, files, sounds, computePI(),
                                                    [&](std::int64_t, std::span<const double>) { watch.sample(); });
    ASSERT_TRUE(result.analysed()) << result.strRefusal;
    EXPECT_EQ(result.average.lngSamples, std::int64_t{lngBlocks} * 65536);
    EXPECT_LT(watch.growth(), lngAllowedGrowth);
}

} // namespace
} // namespace kestrix::engine
