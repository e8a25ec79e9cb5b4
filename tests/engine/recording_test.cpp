// SPDX-License-Identifier: GPL-3.0-or-later
// Every input form read through the sample streams: sound files through libsndfile (made here with
// libsndfile itself, and with Kestrix's own Wave writer), one-column and delimited text.
#include "engine/recordings/average_analysis.h"
#include "engine/recordings/recording.h"
#include "engine/recordings/recording_view.h"
#include "engine/run/wave.h"
#include "platform/sndfile/sndfile_sound_files.h"
#include "platform/std/std_text_files.h"
#include "support/expect_failure.h"
#include "support/fakes.h"
#include "support/sound_file.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <array>
#include <bit>
#include <cmath>
#include <cstdio>
#include <limits>
#include <numbers>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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
    // A sound file at 48 kHz: frames of interleaved samples as ints or floats.
    template <typename Sample>
    std::string sound(const std::string& strName, int intFormat, int intChannels, const std::vector<Sample>& samples)
    {
        const std::string strPath = dir.file(strName);
        testing::writeSound(strPath, intFormat, 48000, intChannels, samples);
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

// A NaN or an infinity in a floating-point file would turn every line of a spectrum into nonsense
// (-400 dBV everywhere, or 0 V with peak hold): the stream ends at it with a refusal naming it.
TEST_F(RecordingFixture, NonFiniteSamplesAreRefusedNamingTheirPlace)
{
    const float sngNan = std::numeric_limits<float>::quiet_NaN();
    const float sngInf = std::numeric_limits<float>::infinity();
    const Reading mono =
        read(sound("nan.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 1, std::vector<float>{0.5f, sngNan, 0.25f}));
    EXPECT_EQ(mono.dblCounts, (std::vector<double>{16384}));
    EXPECT_EQ(mono.strRefusal, "sample 2 of channel 1 is not a finite number (NaN)");
    const std::string strStereo =
        sound("inf.wav", SF_FORMAT_WAV | SF_FORMAT_DOUBLE, 2, std::vector<float>{0, 0, 0, 0, 0.5f, -sngInf, 0, 0});
    EXPECT_EQ(read(strStereo, {std::nullopt, 1}).strRefusal, "");
    const Reading right = read(strStereo, {std::nullopt, 2});
    EXPECT_EQ(right.dblCounts, (std::vector<double>{0, 0}));
    EXPECT_EQ(right.strRefusal, "sample 3 of channel 2 is not a finite number (-infinity)");
    // Found by fuzzing: a finite sample of a double file can lie beyond the double range in counts.
    const Reading huge =
        read(sound("huge.wav", SF_FORMAT_WAV | SF_FORMAT_DOUBLE, 1, std::vector<double>{0.25, 1e306, 0.5}));
    EXPECT_EQ(huge.dblCounts, (std::vector<double>{8192}));
    EXPECT_EQ(huge.strRefusal, "sample 2 of channel 1 is too large to read (1e+306 times full scale)");
}

// A recording reads the same whatever blocks it is asked for in, for every channel. (Fuzzing found an
// ALAC file that the library's decoder ended early when asked for a frame at a time; that input is kept
// as corpus/sound_file/fault-alac-short-in-small-blocks.)
TEST_F(RecordingFixture, ARecordingReadsTheSameInAnyBlocks)
{
    std::vector<int> intSamples(20000);
    for (std::size_t i = 0; i < intSamples.size(); ++i) {
        intSamples[i] = static_cast<int>((i * 7919) % 65536 - 32768) << 16;
    }
    const std::string strAlac = sound("lossless.caf", SF_FORMAT_CAF | SF_FORMAT_ALAC_16, 2, intSamples);
    for (const std::int32_t lngChannel : {1, 2}) {
        std::vector<std::vector<double>> dblReadings;
        for (const std::size_t lngBlock : {std::size_t{1}, std::size_t{3}, std::size_t{65536}}) {
            RecordingOpening opening = open(strAlac, {std::nullopt, lngChannel});
            ASSERT_TRUE(opening.stream) << opening.strRefusal;
            std::vector<double> dblAll;
            std::vector<double> dblBlock(lngBlock);
            for (std::size_t lngGot; (lngGot = opening.stream->readCounts(dblBlock)) > 0;) {
                dblAll.insert(dblAll.end(), dblBlock.begin(), dblBlock.begin() + static_cast<std::ptrdiff_t>(lngGot));
            }
            EXPECT_EQ(opening.stream->refusal(), "");
            dblReadings.push_back(std::move(dblAll));
        }
        ASSERT_EQ(dblReadings[0].size(), 10000u);
        EXPECT_EQ(dblReadings[0], dblReadings[2]);
        EXPECT_EQ(dblReadings[1], dblReadings[2]);
        EXPECT_EQ(dblReadings[2][1], static_cast<double>((lngChannel == 1 ? 2 : 3) * 7919 % 65536 - 32768));
    }
}

// A container that states its rate as a floating-point number can state 0, NaN or infinity, which the
// library turns into a whole number of its own: such a file is refused, not read at an invented rate.
TEST_F(RecordingFixture, ARateTheHeaderCannotStateSensiblyIsRefused)
{
    // The big-endian bytes of each rate: 80-bit extended for AIFF, 64-bit for CAF.
    struct Rate
    {
        const char* strLabel;
        std::array<std::uint8_t, 10> bytExtended;
        double dblValue;
    };
    const Rate rates[] = {
        {"0", {0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 0.0},
        {"NaN", {0x7F, 0xFF, 0xC0, 0, 0, 0, 0, 0, 0, 0}, std::numeric_limits<double>::quiet_NaN()},
        {"infinity", {0x7F, 0xFF, 0x80, 0, 0, 0, 0, 0, 0, 0}, std::numeric_limits<double>::infinity()},
        {"0.5", {0x3F, 0xFE, 0x80, 0, 0, 0, 0, 0, 0, 0}, 0.5},
    };
    const std::vector<int> intSamples(64, 1 << 20);
    for (const auto& [strContainer, intFormat] :
         {std::pair{"aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16}, std::pair{"caf", SF_FORMAT_CAF | SF_FORMAT_PCM_16}}) {
        const std::string strGood = sound(std::string("good.") + strContainer, intFormat, 1, intSamples);
        ASSERT_EQ(read(strGood).lngSampFreq, 48000);
        std::string strBytes = testing::readBytes(strGood);
        const bool blnAiff = std::string_view(strContainer) == "aiff";
        const std::size_t lngRateAt = blnAiff ? strBytes.find("COMM") + 16 : strBytes.find("desc") + 12;
        for (const Rate& rate : rates) {
            SCOPED_TRACE(std::string(strContainer) + " stating " + rate.strLabel);
            if (blnAiff) {
                std::copy(rate.bytExtended.begin(), rate.bytExtended.end(),
                          strBytes.begin() + static_cast<std::ptrdiff_t>(lngRateAt));
            } else {
                const auto lngBits = std::bit_cast<std::uint64_t>(rate.dblValue);
                for (std::size_t i = 0; i < 8; ++i) {
                    strBytes[lngRateAt + i] = static_cast<char>(lngBits >> (56 - 8 * i));
                }
            }
            const std::string strPath = text(std::string("bad.") + strContainer, strBytes);
            const RecordingOpening opening = open(strPath);
            EXPECT_FALSE(opening.stream);
            EXPECT_EQ(opening.strRefusal.find("the sound file states a sampling frequency of "), 0u)
                << opening.strRefusal;
        }
    }
}

// UTF-16 text (a spreadsheet's "Unicode text") is text, refused as such; the sound library, whose MPEG
// decoder took its byte-order mark for a frame and wrote on standard error, never sees it.
TEST_F(RecordingFixture, UnicodeTextIsRecognisedAndNoLibraryWritesOnStandardError)
{
    std::string strUtf16 = "\xFF\xFE";
    for (const char chr : std::string_view("time,accel\r\n0,1\r\n1,2\r\n")) {
        strUtf16 += chr;
        strUtf16 += '\0';
    }
    const std::string strPath = text("export.txt", strUtf16);
    std::fflush(stderr);
    const int fdSaved = ::dup(STDERR_FILENO);
    const std::string strCaught = dir.file("stderr.txt");
    const int fdCaught = ::open(strCaught.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ::dup2(fdCaught, STDERR_FILENO);
    const RecordingOpening opening = open(strPath, {ColumnChoice{2, {}}, std::nullopt});
    const Reading reading = opening.stream ? readAll(*opening.stream) : Reading{};
    const RecordingOpening asSound = open(text("export.wav", strUtf16));
    std::fflush(stderr);
    ::dup2(fdSaved, STDERR_FILENO);
    ::close(fdSaved);
    ::close(fdCaught);
    EXPECT_EQ(testing::readBytes(strCaught), "");
    EXPECT_FALSE(opening.blnSound);
    EXPECT_EQ(reading.strRefusal,
              "the file is UTF-16 text (it starts with a UTF-16 byte-order mark): save it as UTF-8 or plain text");
    EXPECT_EQ(asSound.strRefusal, "the sound file cannot be read: it is UTF-16 text");
}

// Opening a FIFO nobody writes to would wait for ever (the test's time limit catches that).
TEST_F(RecordingFixture, AFifoIsRefusedAtOnceByTheSoundFiles)
{
    const std::string strFifo = dir.file("pipe.wav");
    ASSERT_EQ(::mkfifo(strFifo.c_str(), 0600), 0);
    testing::expectFailure(err::lngPathFileAccess, [&] { sounds.openSound(strFifo, 1); });
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
        {std::string("\xFF\xFE"
                     "1\0\r\0\n\0",
                     8),
         {},
         "the file is UTF-16 text (it starts with a UTF-16 byte-order mark): save it as UTF-8 or plain text"},
        {std::string("1\0\r\n", 4),
         {},
         "line 1 holds NUL bytes: the file is no text (UTF-16 without a byte-order mark, or binary)"},
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
        {"short line", "t,v\n0,1\n1\n", second, {1}, "line 3 has 1 field, no field 2", ""},
        {"blank inside", "t,v\n0,1\n\n1,2\n", second, {1}, "line 3 is blank", ""},
        {"blank at end", "t,v\n0,1\n1,2\n\n \n", second, {1, 2}, "", "column 2 (v)"},
        {"no such name",
         "t,v\n0,1\n",
         accel,
         {},
         "line 2 holds numbers, but no heading line before it names a column \"accel\"; the headings: \"t\", \"v\"",
         ""},
        {"name in another case", "Time,ACCEL\n0,1\n", accel, {1}, "", "column 2 (ACCEL)"},
        // The last heading line that has the name decides, and the line after it gives the unit.
        {"names and units", "time,accel,temp\ns,g,degC\n0,1,2\n", accel, {1}, "", "column 2 (accel, g)"},
        {"the last line with the name", "accel,x\nt,v,accel\n0,1,2\n", accel, {2}, "", "column 3 (accel)"},
        {"a name twice", "Accel,accel\n1,2\n", accel, {}, "line 1 names a column \"accel\" twice (fields 1 and 2)", ""},
        {"too few columns",
         "t,a,b,c\n0,1,2,3\n",
         ColumnChoice{9, {}},
         {},
         "line 2 holds 4 columns of numbers, no column 9; the headings: \"t\", \"a\", \"b\", \"c\"",
         ""},
        {"decimal commas",
         "t;v\n0;1,25\n1;2,5\n",
         second,
         {},
         "none of the 3 lines has a number in field 2; line 2 holds \"1,25\" (numbers take \".\" as the decimal "
         "point, not a decimal comma)",
         ""},
        {"a decimal comma in the data",
         "t;v\n0;1.5\n1;2,5\n",
         second,
         {1.5},
         "line 3: field 2 is not a number: \"2,5\" (numbers take \".\" as the decimal point, not a decimal comma)",
         ""},
        {"UTF-16",
         std::string("\xFF\xFEt\0,\0v\0\n\0", 10),
         second,
         {},
         "the file is UTF-16 text (it starts with a UTF-16 byte-order mark): save it as UTF-8 or plain text",
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

// Found by fuzzing: with tabs between fields, the blanks skipped before a quote ran past the tabs that
// end empty fields, so an empty field took the next field's quoted text (and a run of tabs was walked
// once for every field in it: a line of 64 K tabs took seconds).
TEST(DelimitedFields, EmptyTabFieldsBeforeAQuotedFieldStayEmpty)
{
    EXPECT_EQ(splitFields("1\t\t\"x\"", Delimiter::Tab), (std::vector<std::string>{"1", "", "x"}));
    EXPECT_EQ(splitFields("\t \"a\"\t", Delimiter::Tab), (std::vector<std::string>{"", "a", ""}));
    EXPECT_EQ(splitFields(" \"a\" ; \"b\"", Delimiter::Semicolon), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(splitFields(std::string(70000, '\t'), Delimiter::Tab).size(), 70001u);
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
