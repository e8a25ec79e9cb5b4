// SPDX-License-Identifier: GPL-3.0-or-later
#include "io_floor.h"

#include <bit>
#include <charconv>
#include <cstring>
#include <stdexcept>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrix::bench {

namespace {

[[noreturn]] void raiseErrno(const std::string& strWhat)
{
    throw std::system_error(errno, std::generic_category(), strWhat);
}

class Descriptor
{
public:
    explicit Descriptor(int fd) : fd(fd) {}
    ~Descriptor()
    {
        if (fd >= 0) {
            ::close(fd);
        }
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const
    {
        return fd;
    }

private:
    int fd;
};

char* appendShortest(char* pch, char* pchEnd, double dblValue)
{
    return std::to_chars(pch, pchEnd, dblValue).ptr;
}

} // namespace

std::vector<double> readAndParseSamples(const std::string& strPath, std::int32_t lngNumSamp)
{
    const Descriptor file(::open(strPath.c_str(), O_RDONLY | O_CLOEXEC));
    if (file.get() < 0) {
        raiseErrno(strPath);
    }
    struct stat statFile
    {
    };
    if (::fstat(file.get(), &statFile) != 0) {
        raiseErrno(strPath);
    }
    std::string chrBytes(static_cast<std::size_t>(statFile.st_size), '\0');
    std::size_t lngHave = 0;
    while (lngHave < chrBytes.size()) {
        const ssize_t lngRead = ::read(file.get(), chrBytes.data() + lngHave, chrBytes.size() - lngHave);
        if (lngRead < 0 && errno == EINTR) {
            continue;
        }
        if (lngRead <= 0) {
            raiseErrno(strPath);
        }
        lngHave += static_cast<std::size_t>(lngRead);
    }

    std::vector<double> dblValues(static_cast<std::size_t>(lngNumSamp));
    const char* pch = chrBytes.data();
    const char* const pchEnd = pch + chrBytes.size();
    for (double& dblValue : dblValues) {
        const char* pchLineEnd =
            static_cast<const char*>(std::memchr(pch, '\n', static_cast<std::size_t>(pchEnd - pch)));
        if (pchLineEnd == nullptr) {
            pchLineEnd = pchEnd;
        }
        const char* pchTextEnd = pchLineEnd > pch && pchLineEnd[-1] == '\r' ? pchLineEnd - 1 : pchLineEnd;
        if (std::from_chars(pch, pchTextEnd, dblValue).ec != std::errc()) {
            throw std::runtime_error("not a number in " + strPath);
        }
        pch = pchLineEnd < pchEnd ? pchLineEnd + 1 : pchEnd;
    }
    return dblValues;
}

void appendPairLines(std::string& strOut, std::span<const double> dblFirst, std::span<const double> dblSecond)
{
    constexpr std::size_t lngLineMax = 2 * 24 + 3; // two shortest doubles, a comma, CR LF
    const std::size_t lngStart = strOut.size();
    strOut.resize(lngStart + dblFirst.size() * lngLineMax);
    char* pch = strOut.data() + lngStart;
    char* const pchEnd = strOut.data() + strOut.size();
    for (std::size_t i = 0; i < dblFirst.size(); ++i) {
        pch = appendShortest(pch, pchEnd, dblFirst[i]);
        *pch++ = ',';
        pch = appendShortest(pch, pchEnd, dblSecond[i]);
        *pch++ = '\r';
        *pch++ = '\n';
    }
    strOut.resize(static_cast<std::size_t>(pch - strOut.data()));
}

void appendTimeCountLines(std::string& strOut, std::span<const double> dblTime, std::span<const std::int16_t> intCounts)
{
    constexpr std::size_t lngLineMax = 24 + 6 + 3;
    const std::size_t lngStart = strOut.size();
    strOut.resize(lngStart + dblTime.size() * lngLineMax);
    char* pch = strOut.data() + lngStart;
    char* const pchEnd = strOut.data() + strOut.size();
    for (std::size_t i = 0; i < dblTime.size(); ++i) {
        pch = appendShortest(pch, pchEnd, dblTime[i]);
        *pch++ = ',';
        pch = std::to_chars(pch, pchEnd, intCounts[i]).ptr;
        *pch++ = '\r';
        *pch++ = '\n';
    }
    strOut.resize(static_cast<std::size_t>(pch - strOut.data()));
}

void appendWaveBytes(std::string& strOut, std::span<const std::int16_t> intSamples, std::int32_t lngSampFreq)
{
    static_assert(std::endian::native == std::endian::little, "the floor copies samples as they lie in memory");
    const auto lngDataSize = static_cast<std::int32_t>(2 * intSamples.size());
    const std::int32_t lngFields[] = {lngDataSize + 36, 16,         0x00010001, lngSampFreq,
                                      2 * lngSampFreq,  0x00100002, lngDataSize};
    char chrHeader[44];
    std::memcpy(chrHeader, "RIFF", 4);
    std::memcpy(chrHeader + 4, &lngFields[0], 4);
    std::memcpy(chrHeader + 8, "WAVEfmt ", 8);
    std::memcpy(chrHeader + 16, &lngFields[1], 20);
    std::memcpy(chrHeader + 36, "data", 4);
    std::memcpy(chrHeader + 40, &lngFields[6], 4);
    strOut.append(chrHeader, sizeof chrHeader);
    strOut.append(reinterpret_cast<const char*>(intSamples.data()), 2 * intSamples.size());
}

void writeBytes(const std::string& strPath, std::string_view bytData)
{
    const Descriptor file(::open(strPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
    if (file.get() < 0) {
        raiseErrno(strPath);
    }
    const char* pch = bytData.data();
    std::size_t lngLeft = bytData.size();
    while (lngLeft > 0) {
        const ssize_t lngWritten = ::write(file.get(), pch, lngLeft);
        if (lngWritten < 0 && errno == EINTR) {
            continue;
        }
        if (lngWritten < 0) {
            raiseErrno(strPath);
        }
        pch += lngWritten;
        lngLeft -= static_cast<std::size_t>(lngWritten);
    }
}

} // namespace kestrix::bench
