// SPDX-License-Identifier: GPL-3.0-or-later
#include "bench_setup.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <random>
#include <stdexcept>
#include <system_error>

#include <unistd.h>

namespace kestrix::bench {

ScratchFolder::ScratchFolder()
{
    std::error_code ec;
    const bool blnTmpfs = std::filesystem::is_directory("/dev/shm", ec) && ::access("/dev/shm", W_OK) == 0;
    std::string strTemplate = (blnTmpfs ? std::string("/dev/shm") : std::filesystem::temp_directory_path().string()) +
                              "/kestrix-bench-XXXXXX";
    if (::mkdtemp(strTemplate.data()) == nullptr) {
        throw std::runtime_error("cannot create a scratch folder from " + strTemplate);
    }
    strPath = strTemplate;
}

ScratchFolder::~ScratchFolder()
{
    std::error_code ec;
    std::filesystem::remove_all(strPath, ec);
}

std::string makeRecordingText(std::int32_t lngLines, std::int32_t lngSampFreq)
{
    struct Tone
    {
        double dblFreq;  // Hz
        double dblPeak;  // counts
        double dblPhase; // rad
    };
    // A motor at 1470 rpm: 24.5 Hz and harmonics, an outer-race bearing tone, 50 Hz hum.
    constexpr Tone tones[] = {{24.5, 6000.0, 0.3}, {49.0, 2500.0, 1.1}, {73.5, 900.0, 2.0},  {50.0, 400.0, 0.0},
                              {87.3, 650.0, 0.7},  {174.6, 300.0, 2.9}, {312.25, 220.0, 1.7}};
    constexpr double dblOffset = 120.0;     // counts of converter offset
    constexpr double dblNoiseSigma = 180.0; // counts
    std::mt19937_64 random(20240611);
    std::normal_distribution<double> noise(0.0, dblNoiseSigma);
    std::string strText;
    strText.reserve(static_cast<std::size_t>(lngLines) * 8);
    for (std::int32_t i = 0; i < lngLines; ++i) {
        const double dblTime = static_cast<double>(i) / lngSampFreq;
        double dblValue = dblOffset + noise(random);
        for (const Tone& tone : tones) {
            dblValue += tone.dblPeak * std::sin(2.0 * std::numbers::pi * tone.dblFreq * dblTime + tone.dblPhase);
        }
        const double dblCount = std::clamp(std::nearbyint(dblValue), -32768.0, 32767.0);
        strText += std::to_string(static_cast<int>(dblCount));
        strText += "\r\n";
    }
    return strText;
}

const BenchFiles& benchFiles()
{
    static const ScratchFolder folder;
    static const BenchFiles files = [] {
        BenchFiles made;
        made.strFolder = folder.path();
        made.strRecording = made.strFolder + "/motor.csv";
        std::ofstream out(made.strRecording, std::ios::binary);
        out << makeRecordingText(lngBenchPoints, lngBenchSampFreq);
        if (!out.flush()) {
            throw std::runtime_error("cannot write " + made.strRecording);
        }
        return made;
    }();
    return files;
}

} // namespace kestrix::bench
