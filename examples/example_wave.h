// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <span>
#include <vector>

namespace kestrix::examples {

// A mono 16-bit PCM Wave file of counts (each rounded to the nearest whole count and held within
// -32768 to 32767) at lngSampFreq samples a second: the 44-byte header field by field, then the samples,
// all little-endian.
inline std::vector<unsigned char> monoWaveFile(std::span<const double> dblCounts, std::uint32_t lngSampFreq)
{
    std::vector<unsigned char> bytFile;
    const auto putLe = [&bytFile](std::uint32_t lngValue, int intBytes) {
        for (int i = 0; i < intBytes; ++i) {
            bytFile.push_back(static_cast<unsigned char>((lngValue >> (8 * i)) & 0xffU));
        }
    };
    const auto putText = [&bytFile](std::initializer_list<char> chrText) {
        for (const char chr : chrText) {
            bytFile.push_back(static_cast<unsigned char>(chr));
        }
    };
    const auto lngDataBytes = static_cast<std::uint32_t>(2 * dblCounts.size());
    putText({'R', 'I', 'F', 'F'});
    putLe(36 + lngDataBytes, 4);
    putText({'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    putLe(16, 4);              // format chunk size
    putLe(1, 2);               // PCM
    putLe(1, 2);               // one channel
    putLe(lngSampFreq, 4);     // samples per second
    putLe(2 * lngSampFreq, 4); // bytes per second
    putLe(2, 2);               // block align
    putLe(16, 2);              // bits per sample
    putText({'d', 'a', 't', 'a'});
    putLe(lngDataBytes, 4);
    for (const double dblCount : dblCounts) {
        const double dblKept = std::clamp(std::round(dblCount), -32768.0, 32767.0);
        putLe(static_cast<std::uint32_t>(static_cast<std::int32_t>(dblKept)) & 0xffffU, 2);
    }
    return bytFile;
}

// Writes a generator's file at strPath; the exit status of the generator (0, or 1 with the reason on
// standard error).
inline int writeExampleFile(const char* strPath, const std::vector<unsigned char>& bytFile)
{
    std::FILE* file = std::fopen(strPath, "wb");
    if (file == nullptr) {
        std::perror(strPath);
        return 1;
    }
    const bool blnWritten = std::fwrite(bytFile.data(), 1, bytFile.size(), file) == bytFile.size();
    return std::fclose(file) == 0 && blnWritten ? 0 : 1;
}

} // namespace kestrix::examples
