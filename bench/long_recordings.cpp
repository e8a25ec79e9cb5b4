// SPDX-License-Identifier: GPL-3.0-or-later
#include "long_recordings.h"

#include "bench/bench_setup.h"
#include "bench/io_floor.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstring>
#include <numbers>
#include <random>
#include <stdexcept>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace kestrix::bench {

namespace {

// The ten-minute recording as whole counts: a motor's tones, a DC offset and noise.
std::vector<std::int16_t> makeTenMinuteCounts(std::int32_t lngSampFreq, std::int64_t lngSamples)
{
    constexpr double dblTones[][3] = {{24.5, 6000.0, 0.3},  {49.0, 2500.0, 1.1}, {73.5, 900.0, 2.0},
                                      {50.0, 400.0, 0.0},   {87.3, 650.0, 0.7},  {174.6, 300.0, 2.9},
                                      {312.25, 220.0, 1.7}, {4711.0, 150.0, 0.2}};
    std::mt19937_64 random(20240611);
    std::normal_distribution<double> noise(0.0, 180.0);
    std::vector<std::int16_t> intCounts(static_cast<std::size_t>(lngSamples));
    for (std::size_t n = 0; n < intCounts.size(); ++n) {
        const double dblTime = static_cast<double>(n) / lngSampFreq;
        double dblValue = 120.0 + noise(random);
        for (const auto& tone : dblTones) {
            dblValue += tone[1] * std::sin(2.0 * std::numbers::pi * tone[0] * dblTime + tone[2]);
        }
        intCounts[n] = static_cast<std::int16_t>(std::clamp(std::nearbyint(dblValue), -32768.0, 32767.0));
    }
    return intCounts;
}

// The hour's counts, made faster than the ten minutes' (an hour of library sines takes long): each
// tone a phasor turned by a fixed step and set back to unit length every second, noise from a cheap
// generator (the sum of two uniform draws).
std::vector<std::int16_t> makeHourCounts(std::int32_t lngSampFreq, std::int64_t lngSamples)
{
    constexpr double dblTones[][2] = {{24.5, 6000.0}, {49.0, 2500.0}, {50.0, 400.0}, {174.6, 300.0}, {4711.0, 150.0}};
    std::vector<std::complex<double>> phasors;
    std::vector<std::complex<double>> steps;
    for (const auto& tone : dblTones) {
        phasors.emplace_back(tone[1], 0.0);
        steps.push_back(std::polar(1.0, 2.0 * std::numbers::pi * tone[0] / lngSampFreq));
    }
    std::uint64_t lngState = 0x9E3779B97F4A7C15ULL;
    const auto uniform = [&lngState] {
        lngState ^= lngState << 13;
        lngState ^= lngState >> 7;
        lngState ^= lngState << 17;
        return static_cast<double>(lngState >> 11) / 9007199254740992.0 - 0.5;
    };
    std::vector<std::int16_t> intCounts(static_cast<std::size_t>(lngSamples));
    for (std::size_t n = 0; n < intCounts.size(); ++n) {
        double dblValue = 120.0 + 400.0 * (uniform() + uniform());
        for (std::size_t t = 0; t < phasors.size(); ++t) {
            dblValue += phasors[t].real();
            phasors[t] *= steps[t];
            if (n % static_cast<std::size_t>(lngSampFreq) == 0) {
                phasors[t] *= dblTones[t][1] / std::abs(phasors[t]);
            }
        }
        intCounts[n] = static_cast<std::int16_t>(std::clamp(std::nearbyint(dblValue), -32768.0, 32767.0));
    }
    return intCounts;
}

void writeWave(const std::string& strPath, const std::vector<std::int16_t>& intCounts, std::int32_t lngSampFreq)
{
    std::string bytWave;
    bytWave.reserve(44 + 2 * intCounts.size());
    appendWaveBytes(bytWave, intCounts, lngSampFreq);
    writeBytes(strPath, bytWave);
}

} // namespace

const LongRecording& tenMinuteRecording()
{
    static const LongRecording recording = [] {
        LongRecording made{benchFiles().strFolder + "/ten_minutes.wav", benchFiles().strFolder + "/ten_minutes.csv",
                           25600, 600 * 25600};
        const std::vector<std::int16_t> intCounts = makeTenMinuteCounts(made.lngSampFreq, made.lngSamples);
        writeWave(made.strWave, intCounts, made.lngSampFreq);
        std::string strText;
        strText.reserve(intCounts.size() * 7);
        for (const std::int16_t intCount : intCounts) {
            strText += std::to_string(intCount);
            strText += "\r\n";
        }
        writeBytes(made.strText, strText);
        return made;
    }();
    return recording;
}

const LongRecording& hourRecording()
{
    static const LongRecording recording = [] {
        LongRecording made{benchFiles().strFolder + "/one_hour.wav", {}, 48000, std::int64_t{3600} * 48000};
        writeWave(made.strWave, makeHourCounts(made.lngSampFreq, made.lngSamples), made.lngSampFreq);
        return made;
    }();
    return recording;
}

void readFileInto(const std::string& strPath, std::string& chrBytes)
{
    const int fd = ::open(strPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        throw std::runtime_error("cannot open " + strPath);
    }
    std::size_t lngHave = 0;
    for (;;) {
        if (lngHave == chrBytes.size()) {
            chrBytes.resize(std::max<std::size_t>(2 * chrBytes.size(), 1 << 20));
        }
        const ssize_t lngRead = ::read(fd, chrBytes.data() + lngHave, chrBytes.size() - lngHave);
        if (lngRead <= 0) {
            break;
        }
        lngHave += static_cast<std::size_t>(lngRead);
    }
    ::close(fd);
    chrBytes.resize(lngHave);
}

void decodeWave(std::string_view chrBytes, std::int64_t lngFirst, std::int32_t lngCount, double* pdblOut)
{
    constexpr std::size_t lngHeaderBytes = 44;
    const char* const pchFirst = chrBytes.data() + lngHeaderBytes + 2 * lngFirst;
    for (std::int32_t i = 0; i < lngCount; ++i) {
        std::int16_t intSample = 0;
        std::memcpy(&intSample, pchFirst + 2 * i, sizeof intSample);
        pdblOut[i] = intSample;
    }
}

} // namespace kestrix::bench
