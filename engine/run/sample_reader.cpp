// SPDX-License-Identifier: GPL-3.0-or-later
#include "sample_reader.h"

#include "number_text.h"
#include "platform/failure.h"

namespace kestrix::engine {

std::int32_t countSamples(platform::TextReader& stream, std::int32_t lngNumSamp)
{
    std::int32_t lngDataCount = 0;
    for (std::int32_t lngLine = 0; lngLine < lngNumSamp; ++lngLine) {
        if (stream.atEndOfStream()) {
            break;
        }
        const platform::TextLine line = stream.readLine();
        if (!line.blnTooLong && isNumericText(line.strText)) {
            ++lngDataCount;
        }
    }
    stream.close();
    return lngDataCount;
}

std::string dataCountMessage(std::int32_t lngDataCount, std::int32_t lngNumSamp)
{
    return "ファイルのデータ数が不足しています！\r\nファイルデータ数 = " + std::to_string(lngDataCount) +
           "\r\nサンプリング点数 = " + std::to_string(lngNumSamp);
}

void readSamples(platform::TextReader& stream, std::int32_t lngNumSamp, std::span<double> dblInData,
                 std::span<double> dblR_SPCData, std::span<double> dblI_SPCData)
{
    for (std::int32_t i = 0; i < lngNumSamp; ++i) {
        const platform::TextLine line = stream.readLine();
        double dblValue = 0.0;
        if (line.blnTooLong || !readNumericText(line.strText, dblValue)) {
            raiseFailure(err::lngTypeMismatch, "line " + std::to_string(i + 1) + " of the sample file is not a number");
        }
        const auto lngIndex = static_cast<std::size_t>(i);
        dblInData[lngIndex] = dblValue;
        dblR_SPCData[lngIndex] = dblInData[lngIndex];
        dblI_SPCData[lngIndex] = 0.0;
    }
    stream.close();
}

} // namespace kestrix::engine
