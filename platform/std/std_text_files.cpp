#include "std_text_files.h"

#include "platform/failure.h"

#include <atomic>
#include <bit>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrix::platform {

namespace {

// A failure number for an errno of opening, creating or writing a file.
std::int32_t failureForErrno(int intErrno, bool blnReading)
{
    switch (intErrno) {
    case ENOENT:
        return blnReading ? err::lngFileNotFound : err::lngPathNotFound;
    case ENOTDIR:
        return err::lngPathNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
    case ETXTBSY:
        return err::lngPermissionDenied;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return err::lngDiskFull;
    default:
        return err::lngPathFileAccess;
    }
}

[[noreturn]] void raiseForErrno(int intErrno, bool blnReading, const std::string& strPath)
{
    raiseFailure(failureForErrno(intErrno, blnReading), strPath + " (" + std::strerror(intErrno) + ")");
}

class FileDescriptor
{
public:
    explicit FileDescriptor(int fd) : fd(fd) {}
    ~FileDescriptor()
    {
        if (fd >= 0) {
            ::close(fd);
        }
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const
    {
        return fd;
    }
    // Closes now and reports the errno of a failed close (0 when it went well).
    int closeNow()
    {
        const int rc = ::close(fd);
        fd = -1;
        return rc == 0 ? 0 : errno;
    }

private:
    int fd;
};

constexpr std::size_t lngChunkBytes = 64 * 1024;

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
    StdTextReader(int fd, std::string strPath)
        : fd(fd), strPath(std::move(strPath)), chrBuffer(lngMaxLineBytes + lngChunkBytes + 1)
    {
    }

    bool atEndOfStream() override
    {
        // The first fill may bring nothing but the byte-order mark, which it skips: then read on.
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
                lngMask = newlineMask(chrBuffer.data() + lngFrom);
            }
        }
        const void* pNewline = std::memchr(chrBuffer.data() + lngFrom, '\n', lngEnd - lngFrom);
        return pNewline == nullptr ? lngNone
                                   : static_cast<std::size_t>(static_cast<const char*>(pNewline) - chrBuffer.data());
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
        const std::string_view strText(chrBuffer.data() + lngBegin, lngTextEnd - lngBegin);
        lngBegin = lngNext;
        return TextLine{strText, false};
    }

    // Drops the pending bytes and everything up to and including the next LF.
    void skipRestOfLine()
    {
        lngBegin = lngEnd;
        while (fill()) {
            const void* pNewline = std::memchr(chrBuffer.data() + lngBegin, '\n', lngEnd - lngBegin);
            if (pNewline != nullptr) {
                lngBegin = static_cast<std::size_t>(static_cast<const char*>(pNewline) - chrBuffer.data()) + 1;
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
            std::memmove(chrBuffer.data(), chrBuffer.data() + lngBegin, lngEnd - lngBegin);
            lngEnd -= lngBegin;
            lngBegin = 0;
            lngMaskStart = lngNone; // the mask described the bytes where they were
        }
        const std::size_t lngRoom = chrBuffer.size() - lngEnd;
        ssize_t lngRead;
        do {
            lngRead = ::read(fd.get(), chrBuffer.data() + lngEnd, lngRoom < lngChunkBytes ? lngRoom : lngChunkBytes);
        } while (lngRead < 0 && errno == EINTR);
        if (lngRead < 0) {
            raiseForErrno(errno, true, strPath);
        }
        if (lngRead == 0) {
            blnEof = true;
            return false;
        }
        lngEnd += static_cast<std::size_t>(lngRead);
        if (blnAtStart) {
            blnAtStart = false;
            if (lngEnd >= 3 && std::memcmp(chrBuffer.data(), "\xEF\xBB\xBF", 3) == 0) {
                lngBegin = 3;
            }
        }
        return true;
    }

    FileDescriptor fd;
    std::string strPath;
    std::vector<char> chrBuffer;
    std::size_t lngBegin = 0;
    std::size_t lngEnd = 0;
    bool blnEof = false;
    bool blnAtStart = true;
    std::size_t lngMaskStart = lngNone; // the 64 bytes from here are described by lngMask
    std::uint64_t lngMask = 0;
};

class StdTextWriter final : public BufferedTextWriter
{
public:
    explicit StdTextWriter(std::string strPath) : strPath(std::move(strPath)) {}

protected:
    void commit(const std::string& strText) override
    {
        replaceFileAtomically(strPath, strText);
    }

private:
    std::string strPath;
};

std::string temporaryNameBeside(const std::string& strPath, unsigned lngAttempt)
{
    static std::atomic<unsigned> lngCounter{0};
    const auto lngSlash = strPath.rfind('/');
    const std::string strFolder = lngSlash == std::string::npos ? std::string() : strPath.substr(0, lngSlash + 1);
    const std::string strName = lngSlash == std::string::npos ? strPath : strPath.substr(lngSlash + 1);
    return strFolder + "." + strName + "." + std::to_string(::getpid()) + "-" +
           std::to_string(lngCounter.fetch_add(1) + lngAttempt) + ".tmp";
}

} // namespace

void replaceFileAtomically(const std::string& strRequested, std::string_view bytData)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    std::string strPath = strRequested;
    // Writing through a link keeps the link and replaces the file it points to.
    if (fs::is_symlink(strPath, ec)) {
        const fs::path resolved = fs::canonical(strPath, ec);
        if (!ec) {
            strPath = resolved.string();
        }
    }
    struct stat statOld
    {
    };
    if (::stat(strPath.c_str(), &statOld) == 0) {
        if (S_ISDIR(statOld.st_mode)) {
            raiseForErrno(EISDIR, false, strRequested);
        }
        // A file its owner made read-only is not silently replaced.
        if (::access(strPath.c_str(), W_OK) != 0) {
            raiseForErrno(errno, false, strRequested);
        }
    }
    std::string strTemporary;
    int fd = -1;
    for (unsigned lngAttempt = 0; fd < 0 && lngAttempt < 100; ++lngAttempt) {
        strTemporary = temporaryNameBeside(strPath, lngAttempt);
        fd = ::open(strTemporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) {
            raiseForErrno(errno, false, strRequested);
        }
    }
    if (fd < 0) {
        raiseForErrno(EEXIST, false, strRequested);
    }
    FileDescriptor file(fd);
    const auto fail = [&](int intErrno) {
        file.closeNow();
        ::unlink(strTemporary.c_str());
        raiseForErrno(intErrno, false, strRequested);
    };
    const char* pch = bytData.data();
    std::size_t lngLeft = bytData.size();
    while (lngLeft > 0) {
        const ssize_t lngWritten = ::write(file.get(), pch, lngLeft);
        if (lngWritten < 0) {
            if (errno == EINTR) {
                continue;
            }
            fail(errno);
        }
        pch += lngWritten;
        lngLeft -= static_cast<std::size_t>(lngWritten);
    }
    if (const int intCloseErrno = file.closeNow(); intCloseErrno != 0) {
        ::unlink(strTemporary.c_str());
        raiseForErrno(intCloseErrno, false, strRequested);
    }
    if (::rename(strTemporary.c_str(), strPath.c_str()) != 0) {
        const int intErrno = errno;
        ::unlink(strTemporary.c_str());
        raiseForErrno(intErrno, false, strRequested);
    }
}

std::string StdTextFiles::getParentFolderName(std::string_view strPath)
{
    const auto lngSlash = strPath.rfind('/');
    if (lngSlash == std::string_view::npos) {
        return {};
    }
    std::size_t lngEnd = lngSlash;
    while (lngEnd > 0 && strPath[lngEnd - 1] == '/') {
        --lngEnd;
    }
    if (lngEnd == 0) {
        return "/";
    }
    return std::string(strPath.substr(0, lngEnd));
}

std::string StdTextFiles::getBaseName(std::string_view strPath)
{
    const auto lngSlash = strPath.rfind('/');
    std::string_view strName = lngSlash == std::string_view::npos ? strPath : strPath.substr(lngSlash + 1);
    const auto lngDot = strName.rfind('.');
    if (lngDot != std::string_view::npos) {
        strName = strName.substr(0, lngDot);
    }
    return std::string(strName);
}

bool StdTextFiles::sameFile(std::string_view strPathA, std::string_view strPathB)
{
    std::error_code ec;
    const bool blnSame =
        std::filesystem::equivalent(std::filesystem::path(strPathA), std::filesystem::path(strPathB), ec);
    return !ec && blnSame;
}

std::unique_ptr<TextReader> StdTextFiles::openTextFile(std::string_view strPath)
{
    const std::string strName(strPath);
    const int fd = ::open(strName.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        raiseForErrno(errno, true, strName);
    }
    struct stat statFile
    {
    };
    if (::fstat(fd, &statFile) != 0 || S_ISDIR(statFile.st_mode)) {
        ::close(fd);
        raiseForErrno(EISDIR, true, strName);
    }
    return std::make_unique<StdTextReader>(fd, strName);
}

std::unique_ptr<TextWriter> StdTextFiles::createTextFile(std::string_view strPath)
{
    return std::make_unique<StdTextWriter>(std::string(strPath));
}

void StdTextFiles::writeBinaryFile(std::string_view strPath, std::span<const std::uint8_t> bytData)
{
    replaceFileAtomically(std::string(strPath),
                          std::string_view(reinterpret_cast<const char*>(bytData.data()), bytData.size()));
}

} // namespace kestrix::platform
