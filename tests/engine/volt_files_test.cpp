// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/recordings/average_analysis.h"
#include "support/fakes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <numbers>
#include <string>

// The averaged files in volts, without a sensor: their bytes are pinned by a hash taken before the
// analysis learnt of sensors and quantities, so nothing added for those may change a file in volts.
// The hashes are of the engine's own FFT: FFTW's transform agrees with it to rounding only (its own test).
namespace kestrix::engine {
namespace {

// FNV-1a, 64 bits: a hash that does not depend on the library's std::hash.
std::uint64_t fnv1a(const std::string& strBytes)
{
    std::uint64_t lngHash = 14695981039346656037ULL;
    for (const char chr : strBytes) {
        lngHash ^= static_cast<unsigned char>(chr);
        lngHash *= 1099511628211ULL;
    }
    return lngHash;
}

// Two tones (one between lines), a mean and a deterministic pattern of small counts.
std::string recordingText()
{
    std::string strText;
    for (int n = 0; n < 8192; ++n) {
        const double dblT = n / 1024.0;
        const double dblCount = 3000.0 * std::sin(2 * std::numbers::pi * 50.3 * dblT) +
                                500.0 * std::sin(2 * std::numbers::pi * 200.0 * dblT) + 40.0 + (n * 7919 % 201) - 100;
        strText += std::to_string(std::lround(dblCount)) + "\r\n";
    }
    return strText;
}

TEST(VoltFiles, AveragedFilesInVoltsKeepTheirBytes)
{
    struct Case
    {
        SpectrumUnits units;
        WindowKind window;
        std::uint64_t lngHash;
    };
    const Case cases[] = {
        {SpectrumUnits::Pp, WindowKind::Hann, 14079043876985297137ULL},
        {SpectrumUnits::Peak, WindowKind::Hann, 74893728951530125ULL},
        {SpectrumUnits::Rms, WindowKind::Hann, 11791317277218889755ULL},
        {SpectrumUnits::DbV, WindowKind::Hann, 450325457095849806ULL},
        {SpectrumUnits::Psd, WindowKind::Hann, 15868951259909816122ULL},
        {SpectrumUnits::Asd, WindowKind::Hann, 8756583957003329346ULL},
        {SpectrumUnits::Rms, WindowKind::FlatTop, 16261462303926299145ULL},
        {SpectrumUnits::DbV, WindowKind::FlatTop, 18147463110278190212ULL},
        {SpectrumUnits::Psd, WindowKind::FlatTop, 868568892682512656ULL},
        {SpectrumUnits::Peak, WindowKind::Rect, 11433202199677444411ULL},
    };
    testing::MemoryTextFiles files;
    files.files["/rec/tones.txt"] = recordingText();
    testing::NoSoundFiles sounds;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(unitsName(c.units)) + " " + std::string(windowName(c.window)));
        AverageRequest request;
        request.units = c.units;
        request.settings.window = c.window;
        request.settings.transform = RealTransformKind::EngineFft; // the bits the hashes were taken of
        const AverageFileResult result = analyseAverage(request, "/rec/tones.txt", files, sounds, std::atan(1.0) * 4);
        ASSERT_TRUE(result.analysed()) << result.strRefusal;
        const std::string& strFile = files.files.at("/rec/tones_AVG_SPC.csv");
        EXPECT_EQ(fnv1a(strFile), c.lngHash) << strFile.substr(0, strFile.find('\n'));
    }
}

} // namespace
} // namespace kestrix::engine
