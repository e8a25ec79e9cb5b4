// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace kestrix::engine {

// Points per spectrum line: an N-point transform is shown from 0 Hz to fs / 2.56 on N / 2.56 + 1 lines.
inline constexpr double dblPointsPerLine = 2.56;

// Counts at the positive end of the converter's range: a count c is c * range / 32767 volts.
inline constexpr double dblFullScaleCount = 32767;

// The point counts the window offers, ascending: the powers of two from 1024 to 65536.
inline constexpr std::array<std::string_view, 7> strPointCounts = {"1024",  "2048",  "4096", "8192",
                                                                   "16384", "32768", "65536"};

// The window's start-up state, which the batch front end takes as its defaults.
namespace startup {
inline constexpr std::string_view strSampFreq = "1024"; // Hz
inline constexpr std::string_view strNumSamp = "1024";  // points
inline constexpr std::string_view strMaxVolt = "5";     // V
inline constexpr bool blnBand = true;
inline constexpr std::string_view strLowFreq = "200";  // Hz
inline constexpr std::string_view strHighFreq = "800"; // Hz
inline constexpr bool blnWave = true;
} // namespace startup

// What a run reads of the window: the contents of seven controls. Check states are 0 (clear) or
// 1 (checked); only 1 counts as on.
class AnalysisControls
{
public:
    virtual ~AnalysisControls() = default;
    virtual std::string sampFreqText() = 0;
    virtual std::string numSampText() = 0; // the text of the selected entry of the points list
    virtual std::string maxVoltText() = 0;
    virtual int bandValue() = 0;
    virtual std::string lowFreqText() = 0;
    virtual std::string highFreqText() = 0;
    virtual int waveValue() = 0;
};

// The seven contents held as values, filled with the window's start-up state.
struct ControlContents : AnalysisControls
{
    std::string strSampFreq{startup::strSampFreq};
    std::string strNumSamp{startup::strNumSamp};
    std::string strMaxVolt{startup::strMaxVolt};
    int intBand = startup::blnBand ? 1 : 0;
    std::string strLowFreq{startup::strLowFreq};
    std::string strHighFreq{startup::strHighFreq};
    int intWave = startup::blnWave ? 1 : 0;

    std::string sampFreqText() override
    {
        return strSampFreq;
    }
    std::string numSampText() override
    {
        return strNumSamp;
    }
    std::string maxVoltText() override
    {
        return strMaxVolt;
    }
    int bandValue() override
    {
        return intBand;
    }
    std::string lowFreqText() override
    {
        return strLowFreq;
    }
    std::string highFreqText() override
    {
        return strHighFreq;
    }
    int waveValue() override
    {
        return intWave;
    }
};

// The values one run takes from the window, with the two derived at once.
struct AnalysisParameters
{
    std::int32_t lngSampFreq = 0; // Hz
    std::int32_t lngNumSamp = 0;  // points
    double dblMaxVolt = 0.0;      // V
    bool blnBand = false;
    double dblLowFreq = 0.0;  // Hz, 0 with the band off
    double dblHighFreq = 0.0; // Hz, 0 with the band off
    bool blnWave = false;
    double dblMaxAnaFreq = 0.0; // lngSampFreq / dblPointsPerLine
    double dblPosScale = 0.0;   // dblMaxVolt / dblFullScaleCount, volts per count
};

// The parameters, or the band-limit message that refuses them.
struct ParameterReading
{
    AnalysisParameters params;
    std::string strRefusal; // empty when the parameters are accepted
};

// Reads the controls once, in the run's order (the band texts only with the band on), and applies
// the band-limit checks. Raises type mismatch (13) or overflow (6) for a text that does not convert,
// and invalid call (5) for a point count that is not a power of two up to 65536.
ParameterReading readAnalysisParameters(AnalysisControls& controls);

// The number of spectrum lines of an N-point run: N / 2.56 + 1, rounded (401 for 1024 points).
std::int32_t spectrumLineCount(std::int32_t lngNumSamp);

} // namespace kestrix::engine
