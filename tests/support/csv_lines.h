// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kestrix::testing {

// The lines of a text whose every line ends with CR LF (checked), without their ends.
inline std::vector<std::string> splitCrLfLines(const std::string& strText)
{
    std::vector<std::string> strLines;
    std::size_t lngStart = 0;
    for (std::size_t lngEnd; (lngEnd = strText.find("\r\n", lngStart)) != std::string::npos; lngStart = lngEnd + 2) {
        strLines.push_back(strText.substr(lngStart, lngEnd - lngStart));
    }
    EXPECT_EQ(lngStart, strText.size()) << "text after the last CR LF";
    return strLines;
}

// Field intColumn (0 or 1) of every line of a two-column CSV text.
inline std::vector<std::string> csvColumn(const std::string& strText, int intColumn)
{
    std::vector<std::string> strValues;
    for (const std::string& strLine : splitCrLfLines(strText)) {
        const auto lngComma = strLine.find(',');
        strValues.push_back(intColumn == 0 ? strLine.substr(0, lngComma) : strLine.substr(lngComma + 1));
    }
    return strValues;
}

} // namespace kestrix::testing
