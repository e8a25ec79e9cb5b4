// SPDX-License-Identifier: GPL-3.0-or-later
#include "std_text_files.h"

#include "atomic_file.h"
#include "atomic_file_set.h"
#include "platform/failure.h"
#include "posix_file.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrix::platform {

namespace {

constexpr std::size_t lngChunkBytes = 64 * 1024;
// The longest line, a chunk read after it, and room for a CR before the LF.
constexpr std::size_t lngBufferBytes = lngMaxLineBytes + lngChunkBytes + 1;

constexpr bool blnLittleEndian = std::endian::native == std::endian::little;

// The LFs among the 64 bytes at pch as a mask, bit i for byte i (on a little-endian host). Each
// word's bytes are tested for zero after an exclusive-or with LFs, exactly (no carries between
// bytes), and the eight resulting high bits gathered into one byte by a multiplication.
std::uint64_t newlineMask(const char* pch)
{
    constexpr std::uint64_t lngLineFeeds = 0x0A0A0A0A0A0A0A0AULL;
    constexpr std::uint64_t lngLow7 = 0x7F7F7F7F7F7F7F7FULL;
    constexpr std::uint64_t lngGather = 0x0102040810204080ULL; // high bit of byte k to bit 56 + k
    std::uint64_t lngMask = 0;
    for (int intWord = 0; intWord < 8; ++intWord) {
        std::uint64_t lngWord = 0;
        std::memcpy(&lngWord, pch + 8 * intWord, sizeof lngWord);
        const std::uint64_t lngDiff = lngWord ^ lngLineFeeds;
        const std::uint64_t lngZeroHighs = ~(((lngDiff & lngLow7) + lngLow7) | lngDiff | lngLow7);
        lngMask |= (((lngZeroHighs >> 7) * lngGather) >> 56) << (8 * intWord);
    }
    return lngMask;
}

class StdTextReader final : public TextReader
{
public:
    StdTextReader(int fd, std::string strPath, std::uint64_t lngFileBytes)
        : fd(fd), strPath(std::move(strPath)), chrBuffer(new char[lngBufferBytes]), // not zero-filled
          lngFileBytes(lngFileBytes)
    {
    }

    bool atEndOfStream() override
    {
        // A fill may bring nothing to read: a file that holds only a byte-order mark is empty.
        while (lngBegin == lngEnd) {
            if (!fill()) {
                return true;
            }
        }
        return false;
    }

    TextLine readLine() override
    {
        // Most lines end within the 64 bytes whose LFs are already known: taken here with a bit scan
        // (such a line is never too long), everything else by the general path.
        if (lngMaskStart != lngNone && lngBegin >= lngMaskStart && lngBegin - lngMaskStart < lngMaskBytes) {
            const std::uint64_t lngRest = lngMask >> (lngBegin - lngMaskStart);
            if (lngRest != 0) {
                const std::size_t lngLineEnd = lngBegin + static_cast<std::size_t>(std::countr_zero(lngRest));
                return takeLine(lngLineEnd, lngLineEnd + 1);
            }
        }
        return readLineAnyLength();
    }

    void close() override
    {
        fd.closeNow();
    }

    std::optional<double> shareRead() const override
    {
        if (lngFileBytes == 0) {
            return std::nullopt;
        }
        return std::min(1.0, static_cast<double>(lngBytesRead) / static_cast<double>(lngFileBytes));
    }

private:
    static constexpr std::size_t lngNone = static_cast<std::size_t>(-1);
    static constexpr std::size_t lngMaskBytes = 64;

    [[gnu::noinline]] TextLine readLineAnyLength()
    {
        if (atEndOfStream()) {
            raiseFailure(err::lngInputPastEnd, strPath);
        }
        std::size_t lngScanned = lngBegin;
        for (;;) {
            const std::size_t lngLineEnd = findNewline(lngScanned);
            if (lngLineEnd != lngNone) {
                return takeLine(lngLineEnd, lngLineEnd + 1);
            }
            if (lngEnd - lngBegin > lngMaxLineBytes + 1) { // + 1: a CR may still precede the LF
                skipRestOfLine();
                return TextLine{{}, true};
            }
            lngScanned = lngEnd;
            const std::size_t lngBefore = lngBegin;
            if (!fill()) {
                return takeLine(lngEnd, lngEnd); // the last line has no terminator
            }
            lngScanned -= lngBefore - lngBegin; // fill() moved the pending bytes to the front
        }
    }

    // The offset of the first LF at or after lngFrom and before lngEnd, or lngNone. The lines of a
    // recording are a few bytes long: a search of its own for each, a library call or a loop, made
    // one long chain of dependent steps from line to line. Instead the LFs of 64 bytes at a time are
    // found at once and kept as a mask, from which the following lines are taken with a bit scan.
    std::size_t findNewline(std::size_t lngFrom)
    {
        if constexpr (blnLittleEndian) {
            for (;;) {
                if (lngMaskStart != lngNone && lngFrom >= lngMaskStart && lngFrom < lngMaskStart + lngMaskBytes) {
                    const std::uint64_t lngRest = lngMask >> (lngFrom - lngMaskStart);
                    if (lngRest != 0) {
                        return lngFrom + static_cast<std::size_t>(std::countr_zero(lngRest));
                    }
                    lngFrom = lngMaskStart + lngMaskBytes;
                }
                if (lngEnd - lngFrom < lngMaskBytes) {
                    break; // the short rest goes to memchr
                }
                lngMaskStart = lngFrom;
                lngMask = newlineMask(chrBuffer.get() + lngFrom);
            }
        }
        const void* pNewline = std::memchr(chrBuffer.get() + lngFrom, '\n', lngEnd - lngFrom);
        return pNewline == nullptr ? lngNone
                                   : static_cast<std::size_t>(static_cast<const char*>(pNewline) - chrBuffer.get());
    }

    TextLine takeLine(std::size_t lngLineEnd, std::size_t lngNext)
    {
        std::size_t lngTextEnd = lngLineEnd;
        if (lngTextEnd > lngBegin && chrBuffer[lngTextEnd - 1] == '\r') {
            --lngTextEnd;
        }
        if (lngTextEnd - lngBegin > lngMaxLineBytes) {
            lngBegin = lngNext;
            return TextLine{{}, true};
        }
        const std::string_view strText(chrBuffer.get() + lngBegin, lngTextEnd - lngBegin);
        lngBegin = lngNext;
        return TextLine{strText, false};
    }

    // Drops the pending bytes and everything up to and including the next LF.
    void skipRestOfLine()
    {
        lngBegin = lngEnd;
        while (fill()) {
            const void* pNewline = std::memchr(chrBuffer.get() + lngBegin, '\n', lngEnd - lngBegin);
            if (pNewline != nullptr) {
                lngBegin = static_cast<std::size_t>(static_cast<const char*>(pNewline) - chrBuffer.get()) + 1;
                return;
            }
            lngBegin = lngEnd;
        }
    }

    // Moves the pending bytes to the front and reads more; false when nothing more could be read.
    bool fill()
    {
        if (blnEof) {
            return false;
        }
        if (lngBegin > 0) {
            std::memmove(chrBuffer.get(), chrBuffer.get() + lngBegin, lngEnd - lngBegin);
            lngEnd -= lngBegin;
            lngBegin = 0;
            lngMaskStart = lngNone; // the mask described the bytes where they were
        }
        const std::size_t lngRead = readMore();
        if (lngRead == 0) {
            blnEof = true;
            return false;
        }
        lngEnd += lngRead;
        if (blnAtStart) {
            blnAtStart = false;
            skipByteOrderMark();
        }
        return true;
    }

    // Reads what the file gives at once into the free room after lngEnd; 0 at its end.
    std::size_t readMore()
    {
        const std::size_t lngRoom = lngBufferBytes - lngEnd;
        const std::size_t lngRead =
            readSome(fd.get(), chrBuffer.get() + lngEnd, lngRoom < lngChunkBytes ? lngRoom : lngChunkBytes, strPath);
        lngBytesRead += lngRead;
        return lngRead;
    }

    // At the first bytes of the file. A pipe may hand over the mark in pieces, so a start that could
    // still become one is completed first.
    void skipByteOrderMark()
    {
        static constexpr std::string_view strMark = "\xEF\xBB\xBF";
        while (lngEnd < strMark.size() && std::string_view(chrBuffer.get(), lngEnd) == strMark.substr(0, lngEnd)) {
            const std::size_t lngRead = readMore();
            if (lngRead == 0) {
                blnEof = true;
                return;
            }
            lngEnd += lngRead;
        }
        if (std::string_view(chrBuffer.get(), lngEnd).starts_with(strMark)) {
            lngBegin = strMark.size();
        }
    }

    FileDescriptor fd;
    std::string strPath;
    std::unique_ptr<char[]> chrBuffer;
    std::size_t lngBegin = 0;
    std::size_t lngEnd = 0;
    bool blnEof = false;
    bool blnAtStart = true;
    std::size_t lngMaskStart = lngNone; // the 64 bytes from here are described by lngMask
    std::uint64_t lngMask = 0;
    std::uint64_t lngFileBytes;     // the size when opened; 0 when not known
    std::uint64_t lngBytesRead = 0; // taken from the file so far
};

} // namespace

std::string StdTextFiles::getParentFolderName(std::string_view strPath)
{
    const auto itSeparator = std::find_if(strPath.rbegin(), strPath.rend(), isPathSeparator);
    if (itSeparator == strPath.rend()) {
        return {};
    }
    auto itEnd = itSeparator.base() - 1;
    while (itEnd != strPath.begin() && isPathSeparator(*(itEnd - 1))) {
        --itEnd;
    }
    if (itEnd == strPath.begin()) {
        return std::string(1, *itEnd);
    }
    // A drive's root keeps its separator ("C:\"), as "/" does.
    if (*(itEnd - 1) == ':' && systemPathSeparator() != '/') {
        ++itEnd;
    }
    return std::string(strPath.begin(), itEnd);
}

std::string StdTextFiles::getBaseName(std::string_view strPath)
{
    const auto itNameStart = std::find_if(strPath.rbegin(), strPath.rend(), isPathSeparator).base();
    std::string_view strName = strPath.substr(static_cast<std::size_t>(itNameStart - strPath.begin()));
    const auto lngDot = strName.rfind('.');
    if (lngDot != std::string_view::npos) {
        strName = strName.substr(0, lngDot);
    }
    return std::string(strName);
}

std::string lowerCaseExtension(std::string_view strPath)
{
    const auto lngDot = strPath.rfind('.');
    if (lngDot == std::string_view::npos ||
        std::any_of(strPath.begin() + static_cast<std::ptrdiff_t>(lngDot), strPath.end(), isPathSeparator)) {
        return {};
    }
    std::string strExtension(strPath.substr(lngDot + 1));
    std::transform(strExtension.begin(), strExtension.end(), strExtension.begin(),
                   [](unsigned char chr) { return static_cast<char>(std::tolower(chr)); });
    return strExtension;
}

char StdTextFiles::pathSeparator() const
{
    return systemPathSeparator();
}

bool StdTextFiles::sameFile(std::string_view strPathA, std::string_view strPathB)
{
    std::error_code ec;
    const bool blnSame = std::filesystem::equivalent(pathFromUtf8(strPathA), pathFromUtf8(strPathB), ec);
    return !ec && blnSame;
}

std::unique_ptr<TextReader> StdTextFiles::openTextFile(std::string_view strPath)
{
    const std::string strName(strPath);
    const OpenedFile opened = openForReading(strName, true);
    return std::make_unique<StdTextReader>(opened.fd, strName, opened.lngBytes);
}

std::unique_ptr<TextWriter> StdTextFiles::createTextFile(std::string_view strPath)
{
    return std::make_unique<AtomicFile>(std::string(strPath));
}

std::unique_ptr<TextWriter> StdTextFiles::createBinaryFile(std::string_view strPath)
{
    return std::make_unique<AtomicFile>(std::string(strPath));
}

std::unique_ptr<FileSet> StdTextFiles::createFileSet()
{
    return std::make_unique<AtomicFileSet>();
}

} // namespace kestrix::platform
