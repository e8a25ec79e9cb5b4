// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis.h"

#include "fft.h"
#include "platform/failure.h"
#include "sample_reader.h"
#include "spectrum.h"
#include "wave.h"

#include <cmath>

namespace kestrix::engine {

namespace {

std::span<double> all(WorkArray<double>& dblArray)
{
    return {dblArray.data(), dblArray.size()};
}

// A recording named like one of its outputs ("motor.wav") must never be overwritten.
void refuseOutputOverInput(platform::TextFiles& files, const AnalysisParameters& params, const std::string& strBaseName,
                           const std::string& strFileName)
{
    for (const std::string& strOutput : outputFileNames(strBaseName, params.blnBand, params.blnWave)) {
        if (strOutput == strFileName || files.sameFile(strOutput, strFileName)) {
            raiseFailure(err::lngPathFileAccess, "the output file " + strOutput + " would replace the input file");
        }
    }
}

// Writes the text files and Wave files of a run and tells the handler of each.
class OutputWriter
{
public:
    OutputWriter(platform::TextFiles& files, const FileWrittenHandler& onWritten, AnalysisResult& result)
        : files(files), onWritten(onWritten), result(result)
    {
    }

    void spectrum(const std::string& strPath, const RunGeometry& geometry, double dblPosScale,
                  std::span<const double> dblAmp)
    {
        writeTextFile(files, strPath, [&](platform::TextWriter& writer) {
            writeSpectrumCsv(writer, buffer, geometry.lngNumLine, geometry.dblDeltaFreq, dblPosScale, dblAmp);
        });
        done(strPath);
    }

    void bandWave(const std::string& strPath, double dblDeltaTime, std::span<const double> dblBandWave)
    {
        writeTextFile(files, strPath, [&](platform::TextWriter& writer) {
            writeBandWaveCsv(writer, buffer, dblDeltaTime, dblBandWave);
        });
        done(strPath);
    }

    void wave(std::span<const std::int16_t> intData, const std::string& strDstFileName, std::int32_t lngNumSamp,
              std::int32_t lngSampFreq)
    {
        OutWaveFile(intData, strDstFileName, lngNumSamp, lngSampFreq, files, buffer);
        done(strDstFileName + ".wav");
    }

private:
    void done(const std::string& strPath)
    {
        result.strWritten.push_back(strPath);
        if (onWritten) {
            onWritten(strPath);
        }
    }

    platform::TextFiles& files;
    const FileWrittenHandler& onWritten;
    AnalysisResult& result;
    OutputBuffer buffer; // one for every file of the run
};

void writeBandFiles(const RunGeometry& geometry, const AnalysisParameters& params, double dblPI,
                    const std::string& strBaseName, RunArrays& arrays, OutputWriter& output)
{
    computeBandSpectrum(geometry, params, arrays);
    output.spectrum(strBaseName + "_BAND_SPC.csv", geometry, params.dblPosScale, arrays.dblAmpBandData);
    computeBandWave(geometry, dblPI, arrays);
    output.bandWave(strBaseName + "_BAND_WAVE.csv", geometry.dblDeltaTime, arrays.dblBandWave);
    if (params.blnWave) {
        for (std::size_t i = 0; i < arrays.intData.size(); ++i) {
            arrays.intData[i] = static_cast<std::int16_t>(arrays.dblBandWave[i]);
        }
        output.wave(arrays.intData, strBaseName + "_BAND", geometry.lngNumSamp, params.lngSampFreq);
    }
}

void writeInputWave(const RunGeometry& geometry, const AnalysisParameters& params, const std::string& strBaseName,
                    RunArrays& arrays, OutputWriter& output)
{
    for (std::size_t i = 0; i < arrays.intData.size(); ++i) {
        arrays.intData[i] = waveCount(arrays.dblInData[i]);
    }
    output.wave(arrays.intData, strBaseName, geometry.lngNumSamp, params.lngSampFreq);
}

RunSpectra spectraInVolts(const RunGeometry& geometry, const AnalysisParameters& params, const std::string& strBaseName,
                          const RunArrays& arrays)
{
    RunSpectra spectra;
    spectra.strBaseName = strBaseName;
    spectra.dblDeltaFreq = geometry.dblDeltaFreq;
    for (const double dblAmp : arrays.dblAmpData) {
        spectra.dblVolts.push_back(params.dblPosScale * dblAmp);
    }
    for (const double dblAmp : arrays.dblAmpBandData) {
        spectra.dblBandVolts.push_back(params.dblPosScale * dblAmp);
    }
    spectra.dblLowFreq = params.dblLowFreq;
    spectra.dblHighFreq = params.dblHighFreq;
    spectra.lngSampFreq = params.lngSampFreq;
    spectra.lngNumSamp = geometry.lngNumSamp;
    spectra.dblMaxVolt = params.dblMaxVolt;
    return spectra;
}

} // namespace

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

RunGeometry runGeometry(const AnalysisParameters& params)
{
    RunGeometry geometry;
    geometry.lngNumSamp = params.lngNumSamp;
    geometry.lngNumLine = spectrumLineCount(params.lngNumSamp);
    geometry.dblDeltaFreq = params.dblMaxAnaFreq / (params.lngNumSamp / dblPointsPerLine);
    if (params.lngSampFreq == 0) {
        raiseFailure(err::lngDivisionByZero, "sampling frequency 0");
    }
    geometry.dblDeltaTime = 1.0 / params.lngSampFreq;
    return geometry;
}

RunArrays makeRunArrays(const RunGeometry& geometry, bool blnBand, bool blnWave)
{
    const auto lngSamples = static_cast<std::size_t>(geometry.lngNumSamp);
    const auto lngLines = static_cast<std::size_t>(geometry.lngNumLine);
    RunArrays arrays;
    arrays.dblInData.resize(lngSamples);
    arrays.dblAmpData.resize(lngLines);
    arrays.dblR_SPCData.resize(lngSamples);
    arrays.dblI_SPCData.resize(lngSamples);
    if (blnBand) {
        arrays.dblBandWave.resize(lngSamples);
        arrays.dblAmpBandData.resize(lngLines);
        arrays.dblR_BandData.resize(lngSamples);
        arrays.dblI_BandData.resize(lngSamples);
    }
    if (blnWave) {
        arrays.intData.resize(lngSamples);
    }
    return arrays;
}

void computeSpectrum(const RunGeometry& geometry, double dblPI, RunArrays& arrays)
{
    const double dblTheta = (-2 * dblPI) / geometry.lngNumSamp;
    FFT(geometry.lngNumSamp, dblTheta, all(arrays.dblR_SPCData), all(arrays.dblI_SPCData));
    computeAmplitudes(geometry.lngNumSamp, geometry.lngNumLine, arrays.dblR_SPCData, arrays.dblI_SPCData,
                      all(arrays.dblAmpData));
}

void computeBandSpectrum(const RunGeometry& geometry, const AnalysisParameters& params, RunArrays& arrays)
{
    selectBand(geometry.lngNumSamp, geometry.lngNumLine, geometry.dblDeltaFreq, params.dblLowFreq, params.dblHighFreq,
               arrays.dblR_SPCData, arrays.dblI_SPCData, all(arrays.dblR_BandData), all(arrays.dblI_BandData));
    computeAmplitudes(geometry.lngNumSamp, geometry.lngNumLine, arrays.dblR_BandData, arrays.dblI_BandData,
                      all(arrays.dblAmpBandData));
}

void computeBandWave(const RunGeometry& geometry, double dblPI, RunArrays& arrays)
{
    const std::int32_t lngNumSamp = geometry.lngNumSamp;
    const double dblInverseTheta = (2 * dblPI) / lngNumSamp;
    FFT(lngNumSamp, dblInverseTheta, all(arrays.dblR_BandData), all(arrays.dblI_BandData));
    for (std::size_t i = 0; i < arrays.dblBandWave.size(); ++i) {
        arrays.dblBandWave[i] = (arrays.dblR_BandData[i] + arrays.dblR_BandData[i]) / lngNumSamp;
    }
    // Whole counts before the file is written, so the file and the Wave samples agree.
    for (double& dblSample : arrays.dblBandWave) {
        dblSample = waveCount(dblSample);
    }
}

AnalysisResult analyseFile(const AnalysisParameters& params, const std::string& strFileName, platform::TextFiles& files,
                           double dblPI, const FileWrittenHandler& onWritten, bool blnSpectra)
{
    AnalysisResult result;
    auto stream = files.openTextFile(strFileName);
    const std::string strBaseName = outputBaseName(files, strFileName);
    refuseOutputOverInput(files, params, strBaseName, strFileName);

    const std::int32_t lngDataCount = countSamples(*stream, params.lngNumSamp);
    stream.reset();
    if (params.lngNumSamp > lngDataCount) {
        result.strRefusal = dataCountMessage(lngDataCount, params.lngNumSamp);
        return result;
    }

    const RunGeometry geometry = runGeometry(params);
    RunArrays arrays = makeRunArrays(geometry, params.blnBand, params.blnWave);
    stream = files.openTextFile(strFileName);
    readSamples(*stream, params.lngNumSamp, all(arrays.dblInData), all(arrays.dblR_SPCData), all(arrays.dblI_SPCData));
    stream.reset();

    OutputWriter output(files, onWritten, result);
    computeSpectrum(geometry, dblPI, arrays);
    output.spectrum(strBaseName + "_SPC.csv", geometry, params.dblPosScale, arrays.dblAmpData);
    if (params.blnBand) {
        writeBandFiles(geometry, params, dblPI, strBaseName, arrays, output);
    }
    if (params.blnWave) {
        writeInputWave(geometry, params, strBaseName, arrays, output);
    }
    if (blnSpectra) {
        result.spectra = spectraInVolts(geometry, params, strBaseName, arrays);
        result.spectra.strFileName = strFileName;
    }
    return result;
}

} // namespace kestrix::engine
