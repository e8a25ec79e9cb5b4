// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

namespace kestrix::examples {

// Little-endian bytes of a value, as Wave files hold them.
inline void putLe(std::vector<unsigned char>& bytOut, std::uint32_t lngValue, int intBytes)
{
    for (int i = 0; i < intBytes; ++i) {
        bytOut.push_back(static_cast<unsigned char>((lngValue >> (8 * i)) & 0xffU));
    }
}

// The header of a mono 16-bit PCM Wave file of lngSamples samples at lngSampFreq Hz.
inline std::vector<unsigned char> waveHeader(std::uint32_t lngSampFreq, std::uint32_t lngSamples)
{
    const std::uint32_t lngDataBytes = 2 * lngSamples;
    std::vector<unsigned char> bytHeader{'R', 'I', 'F', 'F'};
    putLe(bytHeader, 36 + lngDataBytes, 4);
    for (const char chr : {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '}) {
        bytHeader.push_back(static_cast<unsigned char>(chr));
    }
    putLe(bytHeader, 16, 4);              // format chunk size
    putLe(bytHeader, 1, 2);               // PCM
    putLe(bytHeader, 1, 2);               // mono
    putLe(bytHeader, lngSampFreq, 4);     // samples per second
    putLe(bytHeader, 2 * lngSampFreq, 4); // bytes per second
    putLe(bytHeader, 2, 2);               // block align
    putLe(bytHeader, 16, 2);              // bits per sample
    for (const char chr : {'d', 'a', 't', 'a'}) {
        bytHeader.push_back(static_cast<unsigned char>(chr));
    }
    putLe(bytHeader, lngDataBytes, 4);
    return bytHeader;
}

// Writes the bytes to strPath; the exit status of a generator (0 written, 1 not).
inline int writeBytes(const char* strPath, const std::vector<unsigned char>& bytFile)
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
