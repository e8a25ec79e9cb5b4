// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "number_text.h"
#include "platform/text_files.h"

#include <algorithm>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace kestrix::engine {

// One buffer for every file a run writes: lines are formatted into it and handed to the writer a
// buffer at a time, so no file is ever held whole and a fresh process touches no more memory for its
// outputs than this. Not zero-filled: only the bytes written are read.
class OutputBuffer
{
public:
    static constexpr std::size_t lngBytes = 64 * 1024;

    OutputBuffer() : chrData(new char[lngBytes]) {}

    char* data() const
    {
        return chrData.get();
    }

private:
    std::unique_ptr<char[]> chrData;
};

// Writes lngLines lines through buffer: format(i, pch) writes line i at pch (at most lngLineMax
// characters, with lngGeneralTextRoom of scratch room after them) and returns its end. As many lines as
// surely fit are formatted into the buffer and handed to the writer as one piece.
template <typename FormatLine>
void streamLines(platform::TextWriter& writer, OutputBuffer& buffer, std::size_t lngLines, std::size_t lngLineMax,
                 FormatLine&& format)
{
    const std::size_t lngPerBlock = (OutputBuffer::lngBytes - lngGeneralTextRoom) / lngLineMax;
    for (std::size_t lngFirst = 0; lngFirst < lngLines; lngFirst += lngPerBlock) {
        const std::size_t lngEnd = std::min(lngLines, lngFirst + lngPerBlock);
        char* pch = buffer.data();
        for (std::size_t i = lngFirst; i < lngEnd; ++i) {
            pch = format(i, pch);
        }
        writer.write(std::string_view(buffer.data(), static_cast<std::size_t>(pch - buffer.data())));
    }
}

// A TextWriter that collects everything in a text, for tests and callers that want the bytes in memory.
class StringWriter final : public platform::TextWriter
{
public:
    void writeLine(std::string_view strText) override
    {
        strContent.append(strText).append("\r\n");
    }
    void write(std::string_view strText) override
    {
        strContent.append(strText);
    }
    void close() override {}

    std::string strContent;
};

} // namespace kestrix::engine
