#include "analysis_run.h"

#include "failure.h"
#include "fft.h"
#include "number_text.h"
#include "sample_reader.h"
#include "spectrum.h"
#include "wave.h"

#include <cmath>
#include <cstdio>

namespace kestrix::engine {

namespace {

using platform::MessageStyle;

constexpr double dblLinesPerPoint = 2.56; // points per spectrum line: fs / 2.56 is the analysis limit
constexpr double dblFullScaleCount = 32767;
constexpr std::int32_t lngMaxPoints = 65536;

constexpr const char* strMsgLowEmpty = "下限周波数を設定してください！";
constexpr const char* strMsgLowDigits = "下限周波数には半角数字を設定してください！";
constexpr const char* strMsgLowNegative = "下限周波数には 0 以上の実数を設定してください！";
constexpr const char* strMsgHighEmpty = "上限周波数を設定してください！";
constexpr const char* strMsgHighDigits = "上限周波数には半角数字を設定してください！";
constexpr const char* strMsgHighNotPositive = "上限周波数には正の実数を設定してください！";
constexpr const char* strMsgLowNotBelowHigh = "下限周波数は上限周波数より小さくしてください！";
constexpr const char* strMsgLowNotBelowMax = "下限周波数は最大解析周波数より小さくしてください！";

// The band checks a to h, in their order; the first that fails gives the refusal.
std::string checkBandLimits(AnalysisControls& controls, AnalysisParameters& params)
{
    const std::string strLow = controls.lowFreqText();
    if (strLow.empty()) {
        return strMsgLowEmpty;
    }
    if (!isNumericText(strLow)) {
        return strMsgLowDigits;
    }
    params.dblLowFreq = fixedValueOfText(strLow, 3);
    if (params.dblLowFreq < 0) {
        return strMsgLowNegative;
    }
    const std::string strHigh = controls.highFreqText();
    if (strHigh.empty()) {
        return strMsgHighEmpty;
    }
    if (!isNumericText(strHigh)) {
        return strMsgHighDigits;
    }
    params.dblHighFreq = fixedValueOfText(strHigh, 3);
    if (params.dblHighFreq <= 0) {
        return strMsgHighNotPositive;
    }
    if (params.dblLowFreq >= params.dblHighFreq) {
        return strMsgLowNotBelowHigh;
    }
    if (params.dblLowFreq >= params.dblMaxAnaFreq) {
        return strMsgLowNotBelowMax;
    }
    return {};
}

std::span<double> all(std::vector<double>& dblArray)
{
    return {dblArray.data(), dblArray.size()};
}

} // namespace

ParameterReading readAnalysisParameters(AnalysisControls& controls)
{
    ParameterReading reading;
    AnalysisParameters& params = reading.params;
    params.lngSampFreq = wholeNumberOfText(controls.sampFreqText());
    params.dblMaxAnaFreq = params.lngSampFreq / dblLinesPerPoint;
    params.lngNumSamp = wholeNumberOfText(controls.numSampText());
    if (params.lngNumSamp <= 0 || params.lngNumSamp > lngMaxPoints ||
        (params.lngNumSamp & (params.lngNumSamp - 1)) != 0) {
        raiseFailure(err::lngInvalidCall, "the number of points must be a power of two up to 65536");
    }
    params.dblMaxVolt = fixedValueOfText(controls.maxVoltText(), 3);
    params.dblPosScale = params.dblMaxVolt / dblFullScaleCount;
    params.blnBand = controls.bandValue() == 1;
    if (params.blnBand) {
        reading.strRefusal = checkBandLimits(controls, params);
        if (!reading.strRefusal.empty()) {
            return reading;
        }
    }
    params.blnWave = controls.waveValue() == 1;
    return reading;
}

std::string outputBaseName(platform::TextFiles& files, const std::string& strFileName)
{
    const std::string strFolder = files.getParentFolderName(strFileName);
    std::string strBaseName = strFolder;
    // A file in the root folder gets no second separator.
    if (!strFolder.empty() && strFolder.back() != files.pathSeparator()) {
        strBaseName += files.pathSeparator();
    }
    strBaseName += files.getBaseName(strFileName);
    return strBaseName;
}

std::vector<std::string> outputFileNames(const std::string& strBaseName, bool blnBand, bool blnWave)
{
    std::vector<std::string> strNames{strBaseName + "_SPC.csv"};
    if (blnBand) {
        strNames.push_back(strBaseName + "_BAND_SPC.csv");
        strNames.push_back(strBaseName + "_BAND_WAVE.csv");
        if (blnWave) {
            strNames.push_back(strBaseName + "_BAND.wav");
        }
    }
    if (blnWave) {
        strNames.push_back(strBaseName + ".wav");
    }
    return strNames;
}

std::string elapsedTimeText(std::chrono::sys_seconds dtStart, std::chrono::sys_seconds dtEnd)
{
    constexpr long long lngSecondsPerDay = 24 * 60 * 60;
    long long lngSeconds = (dtEnd - dtStart).count() % lngSecondsPerDay;
    if (lngSeconds < 0) {
        lngSeconds += lngSecondsPerDay;
    }
    char chrText[16];
    std::snprintf(chrText, sizeof chrText, "%02lld:%02lld:%02lld", lngSeconds / 3600, lngSeconds / 60 % 60,
                  lngSeconds % 60);
    return chrText;
}

AnalysisRun::AnalysisRun(AnalysisControls& controls, platform::PlatformUi& ui, platform::TextFiles& files,
                         platform::Clock& clock, GlobalDefine& globals)
    : controls(controls), ui(ui), files(files), clock(clock), globals(globals)
{
}

bool AnalysisRun::FFT_Main()
{
    // Up to the file choice the run reports its own failures.
    ParameterReading reading;
    try {
        reading = readAnalysisParameters(controls);
    } catch (const KestrixError& failure) {
        ui.showMessage(errorReportHeading("FFT_Main"), MessageStyle::Exclamation, strErrorReportTitle);
        ui.showMessage(errorReportDetail(failure), MessageStyle::OkOnly);
        return false;
    }
    if (!reading.strRefusal.empty()) {
        ui.showMessage(reading.strRefusal, MessageStyle::Exclamation);
        return false;
    }

    platform::OpenFileRequest request;
    request.strInitialFileName = globals.strLastFileName;
    request.strTitle = "CSVファイル読み込み";
    request.blnCancelError = true;
    request.lngFlags = platform::open_flags::lngHideReadOnly | platform::open_flags::lngNoChangeDir |
                       platform::open_flags::lngFileMustExist;
    request.strFilter = "CSVファイル (*.csv)|*.csv";
    // A dialog failure other than cancel is passed over: the run goes on with the name it holds.
    std::string strFileName = request.strInitialFileName;
    try {
        strFileName = ui.chooseOpenFile(request);
    } catch (const KestrixError& failure) {
        if (failure.number() == err::lngCancel) {
            return false;
        }
    }
    globals.strLastFileName = strFileName;
    // From here on every failure goes to the caller.
    return analyseFile(reading.params, strFileName);
}

bool AnalysisRun::analyseFile(const AnalysisParameters& params, const std::string& strFileName)
{
    const std::chrono::sys_seconds dtStart = clock.now();
    auto stream = files.openTextFile(strFileName);
    const std::string strBaseName = outputBaseName(files, strFileName);
    // A recording named like one of its outputs ("motor.wav") must never be overwritten.
    for (const std::string& strOutput : outputFileNames(strBaseName, params.blnBand, params.blnWave)) {
        if (strOutput == strFileName || files.sameFile(strOutput, strFileName)) {
            raiseFailure(err::lngPathFileAccess, "the output file " + strOutput + " would replace the input file");
        }
    }

    const std::int32_t lngNumSamp = params.lngNumSamp;
    const std::int32_t lngDataCount = countSamples(*stream, lngNumSamp);
    stream.reset();
    if (lngNumSamp > lngDataCount) {
        ui.showMessage(dataCountMessage(lngDataCount, lngNumSamp), MessageStyle::Exclamation);
        return false;
    }

    const auto lngNumLine = static_cast<std::int32_t>(std::nearbyint(lngNumSamp / dblLinesPerPoint + 1));
    const double dblDeltaFreq = params.dblMaxAnaFreq / (lngNumSamp / dblLinesPerPoint);
    if (params.lngSampFreq == 0) {
        raiseFailure(err::lngDivisionByZero, "sampling frequency 0");
    }
    const double dblDeltaTime = 1.0 / params.lngSampFreq;

    const auto lngSamples = static_cast<std::size_t>(lngNumSamp);
    const auto lngLines = static_cast<std::size_t>(lngNumLine);
    std::vector<double> dblInData(lngSamples);
    std::vector<double> dblAmpData(lngLines);
    std::vector<double> dblR_SPCData(lngSamples);
    std::vector<double> dblI_SPCData(lngSamples);
    std::vector<double> dblBandWave;
    std::vector<double> dblAmpBandData;
    std::vector<double> dblR_BandData;
    std::vector<double> dblI_BandData;
    if (params.blnBand) {
        dblBandWave.resize(lngSamples);
        dblAmpBandData.resize(lngLines);
        dblR_BandData.resize(lngSamples);
        dblI_BandData.resize(lngSamples);
    }
    std::vector<std::int16_t> intData(params.blnWave ? lngSamples : 0);

    stream = files.openTextFile(strFileName);
    readSamples(*stream, lngNumSamp, all(dblInData), all(dblR_SPCData), all(dblI_SPCData));
    stream.reset();

    const double dblTheta = (-2 * globals.dblPI) / lngNumSamp;
    FFT(lngNumSamp, dblTheta, all(dblR_SPCData), all(dblI_SPCData));

    computeAmplitudes(lngNumSamp, lngNumLine, dblR_SPCData, dblI_SPCData, all(dblAmpData));
    writeTextFile(files, strBaseName + "_SPC.csv",
                  formatSpectrumCsv(lngNumLine, dblDeltaFreq, params.dblPosScale, dblAmpData));

    if (params.blnBand) {
        selectBand(lngNumSamp, lngNumLine, dblDeltaFreq, params.dblLowFreq, params.dblHighFreq, dblR_SPCData,
                   dblI_SPCData, all(dblR_BandData), all(dblI_BandData));
        computeAmplitudes(lngNumSamp, lngNumLine, dblR_BandData, dblI_BandData, all(dblAmpBandData));
        writeTextFile(files, strBaseName + "_BAND_SPC.csv",
                      formatSpectrumCsv(lngNumLine, dblDeltaFreq, params.dblPosScale, dblAmpBandData));

        const double dblInverseTheta = (2 * globals.dblPI) / lngNumSamp;
        FFT(lngNumSamp, dblInverseTheta, all(dblR_BandData), all(dblI_BandData));
        for (std::size_t i = 0; i < lngSamples; ++i) {
            dblBandWave[i] = (dblR_BandData[i] + dblR_BandData[i]) / lngNumSamp;
        }
        // Whole counts before the file is written, so the file and the Wave samples agree.
        for (double& dblSample : dblBandWave) {
            dblSample = waveCount(dblSample);
        }
        writeTextFile(files, strBaseName + "_BAND_WAVE.csv", formatBandWaveCsv(dblDeltaTime, dblBandWave));

        if (params.blnWave) {
            for (std::size_t i = 0; i < lngSamples; ++i) {
                intData[i] = static_cast<std::int16_t>(dblBandWave[i]);
            }
            OutWaveFile(intData, strBaseName + "_BAND", lngNumSamp, params.lngSampFreq, files);
        }
    }
    if (params.blnWave) {
        for (std::size_t i = 0; i < lngSamples; ++i) {
            intData[i] = waveCount(dblInData[i]);
        }
        OutWaveFile(intData, strBaseName, lngNumSamp, params.lngSampFreq, files);
    }

    RunSpectra result;
    result.strBaseName = strBaseName;
    result.dblDeltaFreq = dblDeltaFreq;
    result.dblVolts.resize(lngLines);
    for (std::size_t i = 0; i < lngLines; ++i) {
        result.dblVolts[i] = params.dblPosScale * dblAmpData[i];
    }
    for (const double dblAmp : dblAmpBandData) {
        result.dblBandVolts.push_back(params.dblPosScale * dblAmp);
    }
    result.dblLowFreq = params.dblLowFreq;
    result.dblHighFreq = params.dblHighFreq;
    spectra = std::move(result);

    const std::chrono::sys_seconds dtEnd = clock.now();
    ui.showMessage(std::string(strElapsedPrefix) + elapsedTimeText(dtStart, dtEnd), MessageStyle::OkOnly);
    return true;
}

} // namespace kestrix::engine
