#pragma once

#include "global_define.h"
#include "platform/clock.h"
#include "platform/platform_ui.h"
#include "platform/text_files.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kestrix::engine {

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
    std::string strSampFreq = "1024";
    std::string strNumSamp = "1024";
    std::string strMaxVolt = "5";
    int intBand = 1;
    std::string strLowFreq = "200";
    std::string strHighFreq = "800";
    int intWave = 1;

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
    double dblMaxAnaFreq = 0.0; // lngSampFreq / 2.56
    double dblPosScale = 0.0;   // dblMaxVolt / 32767, volts per count
};

// The parameters, or the band-limit message that refuses them.
struct ParameterReading
{
    AnalysisParameters params;
    std::string strRefusal; // empty when the parameters are accepted
};

// Reads the controls once, in the run's order (the band texts only with the band on), and applies
// the band-limit checks a to h. Raises type mismatch (13) or overflow (6) for a text that does not
// convert, and invalid call (5) for a point count that is not a power of two up to 65536.
ParameterReading readAnalysisParameters(AnalysisControls& controls);

// The output base path of an input file: its folder, one separator, its name without extension.
std::string outputBaseName(platform::TextFiles& files, const std::string& strFileName);

// The text that starts the elapsed-time message shown at the end of a run.
inline constexpr std::string_view strElapsedPrefix = "経過時間 ： ";

// The output files of a run with the base path strBaseName, in the order they are written.
std::vector<std::string> outputFileNames(const std::string& strBaseName, bool blnBand, bool blnWave);

// The elapsed-time text "hh:nn:ss" of two clock readings, as a time of day (25 hours show 01).
std::string elapsedTimeText(std::chrono::sys_seconds dtStart, std::chrono::sys_seconds dtEnd);

// The spectra of the last run, in volts, as written to its files (for display).
struct RunSpectra
{
    std::string strBaseName;
    double dblDeltaFreq = 0.0;
    std::vector<double> dblVolts;     // the spectrum file's amplitudes
    std::vector<double> dblBandVolts; // the band spectrum file's, empty with the band off
    double dblLowFreq = 0.0;
    double dblHighFreq = 0.0;
};

// One analysis run, FFT_Main: parameters, file choice, samples, transform and output files.
class AnalysisRun
{
public:
    AnalysisRun(AnalysisControls& controls, platform::PlatformUi& ui, platform::TextFiles& files,
                platform::Clock& clock, GlobalDefine& globals);

    // True when the run went through to its end. False after a refusal (band limit, data count),
    // a cancelled choice or a failure before the choice, each already reported to the user. A failure
    // after the choice is raised as KestrixError for the caller's error report; files completed
    // before it stay.
    bool FFT_Main();

    // The spectra of the last run that went through, if any.
    const std::optional<RunSpectra>& lastSpectra() const
    {
        return spectra;
    }

private:
    bool analyseFile(const AnalysisParameters& params, const std::string& strFileName);

    AnalysisControls& controls;
    platform::PlatformUi& ui;
    platform::TextFiles& files;
    platform::Clock& clock;
    GlobalDefine& globals;
    std::optional<RunSpectra> spectra;
};

} // namespace kestrix::engine
