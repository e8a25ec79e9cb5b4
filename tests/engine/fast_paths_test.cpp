// SPDX-License-Identifier: GPL-3.0-or-later
// The writers' and the reader's fast paths against plain definitions: the general number text built
// from the exact 15 digits, whole counts read like the general grammar, and lines split at every
// position of the reader's 64-byte blocks and buffer refills.
#include "engine/run/number_text.h"
#include "platform/std/std_text_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

namespace kestrix::engine {
namespace {

// The general number text written out from std::to_chars' 15 correctly rounded digits by the rules
// alone: no trailing zeros, plain form for decimal exponents -4 to 14, else d.ddd E sign two digits.
std::string expectedGeneralText(double dblValue)
{
    if (dblValue == 0.0) {
        return "0";
    }
    char chrText[40];
    const auto result =
        std::to_chars(chrText, chrText + sizeof chrText, std::fabs(dblValue), std::chars_format::scientific, 14);
    const std::string strScientific(chrText, result.ptr);
    const std::size_t lngE = strScientific.find('e');
    std::string strDigits = strScientific.substr(0, 1) + strScientific.substr(2, lngE - 2);
    const int intExponent = std::atoi(strScientific.c_str() + lngE + 1);
    strDigits.erase(strDigits.find_last_not_of('0') + 1);
    std::string strText = dblValue < 0 ? "-" : "";
    const auto lngDigits = static_cast<int>(strDigits.size());
    if (intExponent < -4 || intExponent >= 15) {
        strText += strDigits[0];
        if (lngDigits > 1) {
            strText += '.';
            strText += strDigits.substr(1);
        }
        const int intMagnitude = std::abs(intExponent);
        strText += std::string("E") + (intExponent < 0 ? "-" : "+") + (intMagnitude < 10 ? "0" : "") +
                   std::to_string(intMagnitude);
    } else if (intExponent >= 0) {
        const int intWhole = intExponent + 1;
        strText += strDigits.substr(0, static_cast<std::size_t>(std::min(intWhole, lngDigits)));
        strText += std::string(static_cast<std::size_t>(std::max(0, intWhole - lngDigits)), '0');
        if (lngDigits > intWhole) {
            strText += '.';
            strText += strDigits.substr(static_cast<std::size_t>(intWhole));
        }
    } else {
        strText += "0." + std::string(static_cast<std::size_t>(-intExponent - 1), '0') + strDigits;
    }
    return strText;
}

// Writes into exactly the documented room, with guard bytes after it that must stay untouched.
std::string writtenGeneralText(double dblValue)
{
    constexpr char chrGuard = '#';
    std::vector<char> chrBuffer(lngGeneralTextRoom + 16, chrGuard);
    const char* const pchEnd = writeGeneralNumberText(chrBuffer.data(), dblValue);
    for (std::size_t i = lngGeneralTextRoom; i < chrBuffer.size(); ++i) {
        EXPECT_EQ(chrBuffer[i], chrGuard) << "wrote past the room for " << std::hexfloat << dblValue;
    }
    return std::string(static_cast<const char*>(chrBuffer.data()), pchEnd);
}

TEST(NumberTextFastPaths, GeneralTextIsTheTextOfTheExactFifteenDigits)
{
    std::vector<double> dblValues;
    std::mt19937_64 random(70707);
    for (int i = 0; i < 200000; ++i) {
        const double dblValue = std::bit_cast<double>(random());
        if (std::isfinite(dblValue)) {
            dblValues.push_back(dblValue);
        }
    }
    // Numbers with few digits (trailing zeros at every position), powers of ten and their neighbours,
    // and the columns the writers produce.
    for (int intPower = -12; intPower <= 20; ++intPower) {
        const double dblPower = std::pow(10.0, intPower);
        dblValues.insert(dblValues.end(), {dblPower, std::nextafter(dblPower, 0.0), std::nextafter(dblPower, 1e300),
                                           -dblPower, 123 * dblPower, 1.5 * dblPower, 999999999999999 * dblPower});
    }
    for (int i = 0; i < 25601; ++i) {
        dblValues.push_back(i * ((1024 / 2.56) / (65536 / 2.56)));
        dblValues.push_back(i * (1.0 / 1000));
        dblValues.push_back(5.0 / 32767 * std::sin(i) * std::pow(10.0, i % 20 - 16));
    }
    for (const double dblValue : dblValues) {
        const std::string strExpected = expectedGeneralText(dblValue);
        ASSERT_EQ(writtenGeneralText(dblValue), strExpected) << std::hexfloat << dblValue;
        ASSERT_EQ(generalNumberText(dblValue), strExpected) << std::hexfloat << dblValue;
    }
}

TEST(NumberTextFastPaths, WholeCountsReadLikeTheGeneralGrammar)
{
    const auto expectSameBits = [](const std::string& strText, double dblExpected) {
        double dblValue = 1.0;
        ASSERT_TRUE(readNumericText(strText, dblValue)) << strText;
        EXPECT_EQ(std::bit_cast<std::uint64_t>(dblValue), std::bit_cast<std::uint64_t>(dblExpected)) << strText;
        EXPECT_TRUE(isNumericText(strText)) << strText;
        EXPECT_EQ(std::bit_cast<std::uint64_t>(*numericValue(strText)), std::bit_cast<std::uint64_t>(dblExpected));
    };
    for (int lngCount = -40000; lngCount <= 40000; lngCount += 7) {
        const std::string strDigits = std::to_string(std::abs(lngCount));
        const double dblExpected = static_cast<double>(lngCount);
        expectSameBits((lngCount < 0 ? "-" : "") + strDigits, dblExpected);
        expectSameBits((lngCount < 0 ? " \t-" : " +") + strDigits + "\t ", dblExpected);
        expectSameBits((lngCount < 0 ? "-000" : "000") + strDigits, dblExpected);
    }
    // The sign of zero survives, and 15 digits are the most read by hand; more go to from_chars.
    expectSameBits("-0", -0.0);
    expectSameBits("999999999999999", 999999999999999.0);
    expectSameBits("-12345678901234567", -12345678901234567.0);
    // Forms beside the whole counts still take the general grammar.
    expectSameBits("12.5", 12.5);
    expectSameBits(" -1e3 ", -1000.0);
    for (const char* strText : {"", " ", "-", "+ 5", "5 5", "12-", "0x10", "1,5", "nan"}) {
        double dblValue = 0.0;
        EXPECT_FALSE(readNumericText(strText, dblValue)) << strText;
    }
}

TEST(StdTextReaderFastPaths, SplitsLinesOfEveryLengthAcrossBlocksAndRefills)
{
    // Lines of 0 to 150 bytes, LF or CR LF, over more than two of the reader's 64 KiB chunks, so line
    // ends fall on every offset of its 64-byte blocks and lines straddle every refill; the last line
    // has no terminator.
    std::vector<std::string> strLines;
    std::string strContent;
    std::mt19937 random(4242);
    for (int i = 0; strContent.size() < 200000; ++i) {
        std::string strLine(static_cast<std::size_t>(i % 151), '\0');
        for (char& chr : strLine) {
            chr = "0123456789-. e\t\r"[random() % 16];
        }
        if (!strLine.empty() && strLine.back() == '\r') {
            strLine.back() = '5'; // a CR before the LF would belong to the terminator
        }
        strLines.push_back(strLine);
        strContent += strLine + (i % 3 == 0 ? "\r\n" : "\n");
    }
    strLines.push_back("-32768");
    strContent += strLines.back();

    const std::filesystem::path path =
        std::filesystem::temp_directory_path() / ("kestrix_fast_paths_" + std::to_string(::getpid()) + ".csv");
    std::ofstream(path, std::ios::binary) << strContent;
    platform::StdTextFiles files;
    const auto stream = files.openTextFile(path.string());
    std::size_t lngLine = 0;
    while (!stream->atEndOfStream()) {
        const platform::TextLine line = stream->readLine();
        ASSERT_LT(lngLine, strLines.size());
        ASSERT_FALSE(line.blnTooLong);
        ASSERT_EQ(line.strText, strLines[lngLine]) << "line " << lngLine;
        ++lngLine;
    }
    stream->close();
    std::filesystem::remove(path);
    EXPECT_EQ(lngLine, strLines.size());
}

} // namespace
} // namespace kestrix::engine
