// SPDX-License-Identifier: GPL-3.0-or-later
#include "file_sources.h"

#include <cerrno>
#include <cstring>

namespace kestrix::cli {

namespace {

// A line of a list longer than this is no path (PATH_MAX on Linux is 4096 bytes).
constexpr std::size_t lngMaxListLine = 4096;

enum class LineRead {
    Line,
    End,
    TooLong,
};

// Reads one line of a list into strLine (without its CR LF or LF), at most lngMaxListLine bytes.
LineRead readListLine(std::istream& stream, std::string& strLine)
{
    strLine.clear();
    int intChar = stream.get();
    if (intChar == std::char_traits<char>::eof()) {
        return LineRead::End;
    }
    for (; intChar != std::char_traits<char>::eof() && intChar != '\n'; intChar = stream.get()) {
        if (strLine.size() > lngMaxListLine) {
            return LineRead::TooLong;
        }
        strLine.push_back(static_cast<char>(intChar));
    }
    if (!strLine.empty() && strLine.back() == '\r') {
        strLine.pop_back();
    }
    return LineRead::Line;
}

} // namespace

FileSources::FileSources(const std::vector<FileSourceArg>& sourceArgs, std::istream& strIn, std::string& strError)
{
    for (const FileSourceArg& arg : sourceArgs) {
        Source source{&arg, nullptr};
        if (arg.blnList && arg.strText == "-") {
            source.stream = &strIn;
        } else if (arg.blnList) {
            auto list = std::make_unique<std::ifstream>(arg.strText, std::ios::binary);
            if (!*list) {
                strError = "cannot read the list " + arg.strText + " (" + std::strerror(errno) + ")";
                blnUsable = false;
                return;
            }
            source.stream = list.get();
            lists.push_back(std::move(list));
        }
        sources.push_back(source);
    }
}

std::optional<std::string> FileSources::next(std::string& strError)
{
    while (blnUsable && lngCurrent < sources.size()) {
        Source& source = sources[lngCurrent];
        if (source.stream == nullptr) {
            ++lngCurrent;
            return source.arg->strText;
        }
        std::string strLine;
        switch (readListLine(*source.stream, strLine)) {
        case LineRead::Line:
            if (!strLine.empty()) {
                return strLine;
            }
            break;
        case LineRead::End:
            ++lngCurrent;
            break;
        case LineRead::TooLong:
            strError = "the list " + source.arg->strText + " holds a line too long for a path";
            blnUsable = false;
            break;
        }
    }
    return std::nullopt;
}

std::optional<std::size_t> FileSources::countAhead() const
{
    std::size_t lngCount = 0;
    for (const Source& source : sources) {
        if (source.stream == nullptr) {
            ++lngCount;
            continue;
        }
        if (source.arg->strText == "-") {
            return std::nullopt; // standard input can be read only once
        }
        std::ifstream list(source.arg->strText, std::ios::binary);
        std::string strLine;
        LineRead read;
        while ((read = readListLine(list, strLine)) == LineRead::Line) {
            lngCount += strLine.empty() ? 0 : 1;
        }
        if (read == LineRead::TooLong) {
            return std::nullopt;
        }
    }
    return lngCount;
}

} // namespace kestrix::cli
