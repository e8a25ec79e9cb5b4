// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the fuzz harnesses share: the report of a broken property, a scratch file for the readers that
// go through the real file service, the expansion of short inputs into long lines, and an independent
// model of the line rules that every text reader promises.

#include "platform/std/std_text_files.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace kestrix::fuzz {

// The text with every byte outside printable ASCII written as \xNN, so a report shows what was read.
inline std::string escaped(std::string_view strText, std::size_t lngMaxBytes = 400)
{
    static constexpr char chrHex[] = "0123456789ABCDEF";
    std::string strOut;
    for (std::size_t i = 0; i < strText.size() && i < lngMaxBytes; ++i) {
        const auto bytChar = static_cast<unsigned char>(strText[i]);
        if (bytChar >= 0x20 && bytChar < 0x7F && bytChar != '\\') {
            strOut += static_cast<char>(bytChar);
        } else {
            strOut += "\\x";
            strOut += chrHex[bytChar >> 4];
            strOut += chrHex[bytChar & 0xF];
        }
    }
    if (strText.size() > lngMaxBytes) {
        strOut += "... (" + std::to_string(strText.size()) + " bytes)";
    }
    return strOut;
}

// Ends the run as a crash that libFuzzer records, naming the property that the code broke.
[[noreturn]] inline void propertyBroken(std::string_view strProperty, std::string_view strSubject)
{
    std::fprintf(stderr, "\nBROKEN PROPERTY: %.*s\n  subject: %s\n", static_cast<int>(strProperty.size()),
                 strProperty.data(), escaped(strSubject).c_str());
    std::abort();
}

inline void require(bool blnHolds, std::string_view strProperty, std::string_view strSubject)
{
    if (!blnHolds) {
        propertyBroken(strProperty, strSubject);
    }
}

inline std::string_view asText(const std::uint8_t* pbytData, std::size_t lngSize)
{
    return {reinterpret_cast<const char*>(pbytData), lngSize};
}

// libFuzzer keeps its inputs short, but the readers change behaviour only past 64 KiB lines and
// buffer refills. The byte 0xFE followed by a count c > 0 stands for the byte before it repeated
// c * 1024 more times (0xFE 0x00 is a plain 0xFE). The whole stays under three times the longest
// line held, room for a long line across two refills of a reader's buffer.
inline constexpr std::uint8_t bytRepeat = 0xFE;
inline constexpr std::size_t lngRepeatUnit = 1024;
inline constexpr std::size_t lngMaxExpandedBytes = 192 * 1024;

inline std::string expandRuns(std::span<const std::uint8_t> bytInput)
{
    std::string strOut;
    for (std::size_t i = 0; i < bytInput.size(); ++i) {
        if (bytInput[i] != bytRepeat || i + 1 == bytInput.size()) {
            strOut += static_cast<char>(bytInput[i]);
            continue;
        }
        const std::size_t lngCount = bytInput[++i];
        if (lngCount == 0 || strOut.empty()) {
            strOut += static_cast<char>(bytRepeat);
            continue;
        }
        const std::size_t lngRoom = lngMaxExpandedBytes - std::min(strOut.size(), lngMaxExpandedBytes);
        strOut.append(std::min(lngCount * lngRepeatUnit, lngRoom), strOut.back());
    }
    return strOut;
}

// One line as the text readers promise to deliver it.
struct ModelLine
{
    std::string_view strText; // empty for a line that is too long (a stream gives at most its start)
    bool blnTooLong = false;
};

// The line rules, written out plainly: a UTF-8 byte-order mark at the start is skipped; lines end with
// LF, and a CR just before it (or at the very end of the bytes) is not part of the line; the bytes
// after the last LF are a line when there are any; a line longer than platform::lngMaxLineBytes is
// delivered as too long.
inline std::vector<ModelLine> modelLines(std::string_view strBytes)
{
    if (strBytes.starts_with("\xEF\xBB\xBF")) {
        strBytes.remove_prefix(3);
    }
    std::vector<ModelLine> lines;
    while (!strBytes.empty()) {
        const std::size_t lngLf = strBytes.find('\n');
        std::string_view strLine = strBytes.substr(0, lngLf);
        strBytes.remove_prefix(lngLf == std::string_view::npos ? strBytes.size() : lngLf + 1);
        if (strLine.ends_with('\r')) {
            strLine.remove_suffix(1);
        }
        if (strLine.size() > platform::lngMaxLineBytes) {
            lines.push_back({{}, true});
        } else {
            lines.push_back({strLine, false});
        }
    }
    return lines;
}

// A file in a private temporary folder, made anew for each input and removed with the folder when the
// process ends normally (libFuzzer may end without it: scripts/fuzz.sh hands it a TMPDIR of its own).
// The folder lies in memory (/dev/shm) unless TMPDIR names another place. The file is unlinked and
// created rather than truncated: ext4 waits for the disk when a file with data is truncated.
class ScratchFile
{
public:
    ScratchFile()
    {
        const bool blnMemory = std::getenv("TMPDIR") == nullptr && std::filesystem::is_directory("/dev/shm");
        const std::filesystem::path base = blnMemory ? "/dev/shm" : std::filesystem::temp_directory_path();
        std::string strTemplate = (base / "kestrix-fuzz-XXXXXX").string();
        if (::mkdtemp(strTemplate.data()) == nullptr) {
            propertyBroken("a scratch folder can be made", strTemplate);
        }
        folder = strTemplate;
        strPath = (folder / "input.csv").string();
    }
    ~ScratchFile()
    {
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
    }
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;

    void write(std::string_view strBytes) const
    {
        ::unlink(strPath.c_str());
        const int fd = ::open(strPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        bool blnWritten = fd >= 0;
        for (std::size_t lngDone = 0; blnWritten && lngDone < strBytes.size();) {
            const ssize_t lngCount = ::write(fd, strBytes.data() + lngDone, strBytes.size() - lngDone);
            blnWritten = lngCount > 0;
            lngDone += blnWritten ? static_cast<std::size_t>(lngCount) : 0;
        }
        if (fd < 0 || ::close(fd) != 0 || !blnWritten) {
            propertyBroken("the scratch file can be written", strPath);
        }
    }

    // The names in the folder besides the input file: what a refused run must not have left.
    std::vector<std::string> otherFiles() const
    {
        std::vector<std::string> strNames;
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            if (entry.path().filename() != "input.csv") {
                strNames.push_back(entry.path().filename().string());
            }
        }
        return strNames;
    }

    std::filesystem::path folder;
    std::string strPath;
};

} // namespace kestrix::fuzz
