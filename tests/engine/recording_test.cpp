// SPDX-License-Identifier: GPL-3.0-or-later
// Every input form read through the sample streams: sound files through libsndfile (made here with
// libsndfile itself, and with Kestrix's own Wave writer), one-column and delimited text.
#include "engine/recordings/average_analysis.h"
#include "engine/recordings/recording.h"
#include "engine/recordings/recording_view.h"
#include "engine/run/wave.h"
#include "platform/sndfile/sndfile_sound_files.h"
#include "platform/std/std_text_files.h"
#include "support/fakes.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <numbers>

namespace kestrix::engine {
namespace {

using testing::TempDir;

struct Reading
{
    std::vector<double> dblCounts;
    std::string strRefusal;
    std::string strSource;
    std::optional<std::int32_t> lngSampFreq;
};

// Reads a whole stream in awkward block sizes.
Reading readAll(platform::SampleStream& stream)
{
    Reading reading;
    std::vector<double> dblBlock(7);
    for (std::size_t lngRead; (lngRead = stream.readCounts(dblBlock)) > 0;) {
        reading.dblCounts.insert(reading.dblCounts.end(), dblBlock.begin(), dblBlock.begin() + lngRead);
    }
    EXPECT_EQ(stream.readCounts(dblBlock), 0u);
    reading.strRefusal = stream.refusal();
    reading.strSource = stream.sourceDescription();
    reading.lngSampFreq = stream.statedSampFreq();
    return reading;
}

struct RecordingFixture : ::testing::Test
{
    RecordingOpening open(const std::string& strPath, RecordingChoice choice = {})
    {
        return openRecording(files, sounds, strPath, choice);
    }
    Reading read(const std::string& strPath, RecordingChoice choice = {})
    {
        RecordingOpening opening = open(strPath, choice);
        EXPECT_TRUE(opening.stream) << opening.strRefusal;
        return opening.stream ? readAll(*opening.stream) : Reading{{}, opening.strRefusal, {}, {}};
    }
    std::string text(const std::string& strName, const std::string& strContent)
    {
        const std::string strPath = dir.file(strName);
        testing::writeBytes(strPath, strContent);
        return strPath;
    }
    // A sound file written by libsndfile: frames of interleaved samples as ints or floats.
    template <typename Sample>
    std::string sound(const std::string& strName, int intFormat, int intChannels, const std::vector<Sample>& samples)
    {
        const std::string strPath = dir.file(strName);
        SF_INFO info{};
        info.samplerate = 48000;
        info.channels = intChannels;
        info.format = intFormat;
        SNDFILE* file = sf_open(strPath.c_str(), SFM_WRITE, &info);
        EXPECT_NE(file, nullptr) << sf_strerror(nullptr);
        const auto lngFrames = static_cast<sf_count_t>(samples.size()) / intChannels;
        if constexpr (std::is_same_v<Sample, int>) {
            EXPECT_EQ(sf_writef_int(file, samples.data(), lngFrames), lngFrames);
        } else {
            EXPECT_EQ(sf_writef_float(file, samples.data(), lngFrames), lngFrames);
        }
        sf_close(file);
        return strPath;
    }

    TempDir dir;
    platform::StdTextFiles files;
    platform::SndfileSoundFiles sounds;
};

TEST_F(RecordingFixture, AWaveWrittenByKestrixReadsBackToItsCounts)
{
    std::vector<std::int16_t> intCounts;
    for (int i = 0; i < 5000; ++i) {
        intCounts.push_back(static_cast<std::int16_t>((i * 7919) % 65536 - 32768));
    }
    intCounts[10] = -32768;
    intCounts[11] = 32767;
    const std::vector<std::uint8_t> bytWave = buildWaveFile(intCounts, 5000, 12800);
    const std::string strPath = text("kestrix.wav", std::string(bytWave.begin(), bytWave.end()));
    const Reading reading = read(strPath);
    EXPECT_EQ(reading.lngSampFreq, 12800);
    EXPECT_EQ(reading.strRefusal, "");
    EXPECT_EQ(reading.strSource, "channel 1 of 1");
    ASSERT_EQ(reading.dblCounts.size(), intCounts.size());
    for (std::size_t i = 0; i < intCounts.size(); ++i) {
        ASSERT_EQ(reading.dblCounts[i], intCounts[i]) << i;
    }
}

// 24-bit samples are counts x 256, 8-bit ones counts / 256, floats counts / 32768; a channel is read
// alone out of the interleaved frames.
TEST_F(RecordingFixture, EveryWidthMapsToSixteenBitCounts)
{
    // libsndfile takes int samples left-justified in 32 bits: a 24-bit sample s is s << 8.
    const std::vector<int> int24 = {0, 256 << 8, -8388608 << 8, 8388607 << 8, 1 << 8, -3 << 8};
    const Reading pcm24 = read(sound("a24.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 1, int24));
    EXPECT_EQ(pcm24.dblCounts, (std::vector<double>{0, 1, -32768, 32767.99609375, 1.0 / 256, -3.0 / 256}));

    const std::vector<float> sngFloats = {0.0f, 0.5f, -1.0f, 0.25f, 1.5f, -0.000030517578125f};
    const Reading pcmFloat = read(sound("f32.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 1, sngFloats));
    EXPECT_EQ(pcmFloat.dblCounts, (std::vector<double>{0, 16384, -32768, 8192, 49152, -1}));

    const std::vector<int> int8 = {1 << 24, -128 << 24, 127 << 24};
    EXPECT_EQ(read(sound("a8.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_U8, 1, int8)).dblCounts,
              (std::vector<double>{256, -32768, 32512}));

    // Frames (left, right): the right channel is 1000 + the frame number.
    std::vector<int> intStereo;
    for (int i = 0; i < 100000; ++i) {
        intStereo.push_back((-i % 30000) << 16);
        intStereo.push_back((1000 + i % 30000) << 16);
    }
    const std::string strStereo = sound("stereo.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, intStereo);
    const Reading right = read(strStereo, {std::nullopt, 2});
    EXPECT_EQ(right.strSource, "channel 2 of 2");
    EXPECT_EQ(right.lngSampFreq, 48000);
    ASSERT_EQ(right.dblCounts.size(), 100000u);
    for (std::size_t i = 0; i < right.dblCounts.size(); ++i) {
        ASSERT_EQ(right.dblCounts[i], 1000.0 + static_cast<double>(i % 30000)) << i;
    }
    EXPECT_EQ(read(strStereo).dblCounts[3], -3.0);
    const std::string strFlac =
        sound("mono.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 1, std::vector<int>{5 << 16, -7 << 16});
    EXPECT_EQ(read(strFlac).dblCounts, (std::vector<double>{5, -7}));
}

TEST_F(RecordingFixture, SoundFilesRefusedWithTheirReason)
{
    const std::string strStereo = sound("s.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, std::vector<int>(8, 0));
    struct Case
    {
        std::string strPath;
        RecordingChoice choice;
        const char* strReason;
    };
    const Case cases[] = {
        {strStereo, {std::nullopt, 3}, "channel 3 asked for; the sound file has 2 channels"},
        {strStereo, {ColumnChoice{1, {}}, std::nullopt}, "a column is chosen, but this is a sound file"},
        {sound("u.wav", SF_FORMAT_WAV | SF_FORMAT_ULAW, 1, std::vector<int>(8, 0)),
         {},
         "(U-Law) is compressed with loss"},
        {sound("g.wav", SF_FORMAT_WAV | SF_FORMAT_IMA_ADPCM, 1, std::vector<int>(1024, 0)), {}, "compressed with loss"},
        {text("broken.wav", "RIFF\x10\x00\x00\x00WAVEjunk"), {}, "the sound file cannot be read: "},
        {text("notes.WAV", "12\r\n13\r\n"), {}, "the sound file cannot be read: Format not recognised"},
        {text("counts.csv", "12\r\n"), {std::nullopt, 1}, "a channel is chosen, but this is a text file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.strPath);
        const RecordingOpening opening = open(c.strPath, c.choice);
        EXPECT_FALSE(opening.stream);
        EXPECT_NE(opening.strRefusal.find(c.strReason), std::string::npos) << opening.strRefusal;
    }
    try {
        open(dir.file("missing.wav"));
        ADD_FAILURE() << "no failure";
    } catch (const KestrixError& failure) {
        EXPECT_EQ(failure.number(), err::lngFileNotFound);
    }
}

TEST_F(RecordingFixture, OneColumnCountsTakeTheClassicNumbersAndNameABadLine)
{
    struct Case
    {
        std::string strText;
        std::vector<double> dblCounts;
        std::string strRefusal;
    };
    const Case cases[] = {
        {"\xEF\xBB\xBF"
         "1\r\n -2 \r\n3.5\n1e3\r\n\r\n  \r\n",
         {1, -2, 3.5, 1000},
         ""},
        {"counts\r\n1\r\n", {}, "line 1 is not a number: \"counts\""},
        {"1\r\n2\r\n\r\n4\r\n", {1, 2}, "line 3 is blank"},
        {"1\r\n2\r\n3,5\r\n", {1, 2}, "line 3 is not a number: \"3,5\""},
        {"", {}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.strText);
        const Reading reading = read(text("one.csv", c.strText));
        EXPECT_EQ(reading.dblCounts, c.dblCounts);
        EXPECT_EQ(reading.strRefusal, c.strRefusal);
    }
}

// Delimited text: the delimiter found from the file, headings before the first number in the chosen
// column, the column by number or by name, quoted fields, and a bad field refused with its line.
TEST_F(RecordingFixture, DelimitedTextByNumberAndByName)
{
    const ColumnChoice second{2, {}};
    const ColumnChoice accel{0, "accel"};
    struct Case
    {
        const char* strLabel;
        std::string strText;
        ColumnChoice column;
        std::vector<double> dblCounts;
        std::string strRefusal;
        std::string strSource;
    };
    const Case cases[] = {
        {"comma", "time,accel\r\n0,10\r\n0.1,-20\r\n0.2,30\r\n", second, {10, -20, 30}, "", "column 2 (accel)"},
        {"by name", "Logger 7\r\ntime,accel,temp\r\n0,10,5\r\n1,11,6\r\n", accel, {10, 11}, "", "column 2 (accel)"},
        {"semicolons", "t;\"accel\";x\n0;1.5;2,5\n1;2.5;3,5\n", accel, {1.5, 2.5}, "", "column 2 (accel)"},
        {"tabs", "a\tb\n1\t2\n3\t4\n", ColumnChoice{1, {}}, {1, 3}, "", "column 1 (a)"},
        {"blanks", "  # rig\n 1   2 3\n 4 5   6\n", ColumnChoice{3, {}}, {3, 6}, "", "column 3"},
        {"quoted comma", "\"a,b\",\"c\"\"d\"\n\"1\",\"2\"\n", ColumnChoice{0, "c\"d"}, {2}, "", "column 2 (c\"d)"},
        {"bad field", "t,v\n0,1\n1,2\n2,n/a\n3,4\n", second, {1, 2}, "line 4: field 2 is not a number: \"n/a\"", ""},
        {"short line", "t,v\n0,1\n1\n", second, {1}, "line 3 has no field 2", ""},
        {"blank inside", "t,v\n0,1\n\n1,2\n", second, {1}, "line 3 is blank", ""},
        {"blank at end", "t,v\n0,1\n1,2\n\n \n", second, {1, 2}, "", "column 2 (v)"},
        {"no such name",
         "t,v\n0,1\n",
         accel,
         {},
         "line 2 holds numbers, but no heading line before it names a column \"accel\"",
         ""},
        {"no number", "t,v\nx,y\n", second, {}, "none of the 2 lines has a number in field 2", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.strLabel);
        const Reading reading = read(text("log.csv", c.strText), {c.column, std::nullopt});
        EXPECT_EQ(reading.dblCounts, c.dblCounts);
        EXPECT_EQ(reading.strRefusal, c.strRefusal);
        if (c.strRefusal.empty()) {
            EXPECT_EQ(reading.strSource, c.strSource);
        }
    }
}

TEST(DelimiterDetection, TheDelimiterUnderWhichLinesSplitIntoNumbers)
{
    struct Case
    {
        const char* strText;
        Delimiter delimiter;
    };
    const Case cases[] = {
        {"a,b\n1,2\n", Delimiter::Comma},
        {"x;y\n1;2,5\n3;4,5\n", Delimiter::Semicolon},
        {"Date, time and place\n1 2\n3 4\n", Delimiter::Blanks},
        {"1\t2,3\n", Delimiter::Tab},
        {"1, 2\n", Delimiter::Comma},
        {"12\n13\n", Delimiter::Comma},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.strText);
        testing::MemoryTextFiles files;
        files.files["/f"] = c.strText;
        EXPECT_EQ(delimiterName(detectDelimiter(*files.openTextFile("/f"))), delimiterName(c.delimiter));
    }
}

} // namespace
} // namespace kestrix::engine

namespace kestrix::engine {
namespace {

// A refusal carries its facts for each front end to word: what kind, which line and field, the text,
// and whether that text is a number written with a decimal comma.
TEST_F(RecordingFixture, RefusalsCarryTheirFactsForEachFrontEndToWord)
{
    using Kind = platform::RefusalFacts::Kind;
    struct Case
    {
        std::string strText;
        std::optional<ColumnChoice> column;
        platform::RefusalFacts expected;
    };
    const Case cases[] = {
        {"1\r\n2\r\nn/a\r\n", std::nullopt, {Kind::NotANumber, 3, 0, "n/a", 0, 0, false}},
        {"1\r\n2\r\n3,5\r\n", std::nullopt, {Kind::NotANumber, 3, 0, "3,5", 0, 0, true}},
        {"1\r\n\r\n3\r\n", std::nullopt, {Kind::BlankLine, 2, 0, "", 0, 0, false}},
        {"t;x\r\n0;1\r\n1;n/a\r\n", ColumnChoice{2, {}}, {Kind::NotANumber, 3, 2, "n/a", 0, 0, false}},
        {"t;x\r\n0;1\r\n1\r\n", ColumnChoice{2, {}}, {Kind::MissingField, 3, 2, "", 0, 0, false}},
        {"t;x\r\na;b\r\n", ColumnChoice{2, {}}, {Kind::NoNumbers, 2, 2, "", 0, 0, false}},
        {"t;x\r\n0;1\r\n", ColumnChoice{0, "accel"}, {Kind::NoHeading, 2, 0, "accel", 0, 0, false}},
        {"1\r\n2\r\n", std::nullopt, {Kind::None, 0, 0, "", 0, 0, false}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.strText);
        RecordingOpening opening = open(text("facts.csv", c.strText), RecordingChoice{c.column, std::nullopt});
        ASSERT_TRUE(opening.stream);
        readAll(*opening.stream);
        const platform::RefusalFacts facts = opening.stream->refusalFacts();
        EXPECT_EQ(facts.kind, c.expected.kind);
        EXPECT_EQ(facts.lngLine, c.expected.lngLine);
        EXPECT_EQ(facts.lngField, c.expected.lngField);
        EXPECT_EQ(facts.strText, c.expected.strText);
        EXPECT_EQ(facts.blnDecimalComma, c.expected.blnDecimalComma);
    }
    // Too few samples for a segment: the counts found and needed.
    AverageRequest request;
    request.settings.lngNumSamp = 1024;
    const AverageFileResult result =
        averageRecording(request, text("short.csv", "1\r\n2\r\n3\r\n"), files, sounds, std::numbers::pi, {});
    EXPECT_EQ(result.refusalFacts.kind, Kind::TooFewSamples);
    EXPECT_EQ(result.refusalFacts.lngCount, 3);
    EXPECT_EQ(result.refusalFacts.lngNeeded, 1024);
    EXPECT_EQ(result.strRefusal, "too few samples for one segment: 3 found, 1024 needed") << "the batch's words stay";
}

TEST(DecimalComma, OnlyACommaBetweenDigitsInPlaceOfThePointReadsSo)
{
    const std::pair<const char*, bool> cases[] = {
        {"1,5", true},    {" -0,25E-3 ", true}, {"12,345", true}, {"1.5", false}, {"1,5,6", false},
        {"1.0,5", false}, {",5", false},        {"5,", false},    {"a,b", false}, {"1 , 5", false},
    };
    for (const auto& [strText, blnComma] : cases) {
        SCOPED_TRACE(strText);
        EXPECT_EQ(isDecimalCommaNumber(strText), blnComma);
    }
}

// The column offered first: the data beside a time column, else the first that holds a number.
TEST(SuggestedColumn, TheFirstNumberBesideATimeColumn)
{
    struct Case
    {
        std::vector<std::string> strHeadings;
        std::vector<bool> blnNumbers;
        std::int32_t lngExpected;
    };
    const Case cases[] = {
        {{"time (s)", "accel"}, {true, true}, 2},
        {{"Time", "label", "x"}, {true, false, true}, 3},
        {{"t", "x"}, {true, true}, 2},
        {{"時間 [s]", "x"}, {true, true}, 2},
        {{"accel", "time"}, {true, true}, 1},
        {{}, {true, true}, 1},
        {{"name", "x"}, {false, true}, 2},
        {{"a"}, {false}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.strHeadings.empty() ? std::string("(none)") : c.strHeadings.front());
        RecordingInfo info;
        info.lngColumns = static_cast<std::int32_t>(c.blnNumbers.size());
        info.strHeadings = c.strHeadings;
        info.blnNumbers = c.blnNumbers;
        EXPECT_EQ(suggestedColumn(info), c.lngExpected);
    }
}

// A decimal comma between semicolons is found when the recording is first looked at; commas between
// whole numbers are columns, as before.
TEST_F(RecordingFixture, AFirstLookFindsADecimalCommaBetweenSemicolons)
{
    EXPECT_EQ(inspectRecording(files, sounds, text("semi.csv", "time;value\r\n0,5;1,25\r\n")).strDecimalComma, "0,5");
    EXPECT_EQ(inspectRecording(files, sounds, text("tab.csv", "1\t2,5\r\n")).strDecimalComma, "2,5");
    EXPECT_EQ(inspectRecording(files, sounds, text("csv.csv", "1,25\r\n2,30\r\n")).strDecimalComma, "");
    EXPECT_EQ(inspectRecording(files, sounds, text("plain.csv", "1;2.5\r\n")).strDecimalComma, "");
}

} // namespace
} // namespace kestrix::engine
