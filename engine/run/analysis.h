// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "analysis_parameters.h"
#include "platform/text_files.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <new>
#include <span>
#include <string>
#include <vector>

// One analysis of a sample file: the checked parameters and a file in, the output files beside it out.
// No dialogue: refusals come back as their message text, failures are raised as KestrixError.
namespace kestrix::engine {

// The spectra of a run, in volts, as written to its files (for display).
struct RunSpectra
{
    std::string strFileName; // the recording analysed
    std::string strBaseName;
    std::int32_t lngSampFreq = 0; // Hz, as the run took it
    std::int32_t lngNumSamp = 0;  // points
    double dblMaxVolt = 0.0;      // V, the input range
    double dblDeltaFreq = 0.0;
    std::vector<double> dblVolts;     // the spectrum file's amplitudes
    std::vector<double> dblBandVolts; // the band spectrum file's, empty with the band off
    double dblLowFreq = 0.0;
    double dblHighFreq = 0.0;
};

// What an analysis of one file came to.
struct AnalysisResult
{
    std::string strRefusal;              // the data-count message when the file was refused, else empty
    std::vector<std::string> strWritten; // the files written, in their order
    RunSpectra spectra;                  // filled when the file was analysed and the spectra were asked for

    bool analysed() const
    {
        return strRefusal.empty();
    }
};

// Told of every output file as soon as it is complete.
using FileWrittenHandler = std::function<void(const std::string& strPath)>;

// Analyses the first params.lngNumSamp samples of strFileName and writes the output files beside it,
// in the order outputFileNames gives. A file with too few numeric lines is refused before any array is
// made or anything is written. Every other trouble is raised as KestrixError: a file that cannot be read
// or written (files written before it stay), a sampling frequency of 0 (11), a non-finite value that
// would reach a file (6), and an input named like one of its outputs (75, before anything is written).
// dblPI is the window's pi (arctangent(1) * 4). The spectra in volts come back only with blnSpectra.
AnalysisResult analyseFile(const AnalysisParameters& params, const std::string& strFileName, platform::TextFiles& files,
                           double dblPI, const FileWrittenHandler& onWritten = {}, bool blnSpectra = true);

// The output base path of an input file: its folder, one separator, its name without extension.
std::string outputBaseName(platform::TextFiles& files, const std::string& strFileName);

// The output files of a run with the base path strBaseName, in the order they are written.
std::vector<std::string> outputFileNames(const std::string& strBaseName, bool blnBand, bool blnWave);

// The line and time steps of a run.
struct RunGeometry
{
    std::int32_t lngNumSamp = 0;
    std::int32_t lngNumLine = 0; // spectrumLineCount(lngNumSamp)
    double dblDeltaFreq = 0.0;   // Hz: dblMaxAnaFreq / (N / 2.56), numerically fs / N
    double dblDeltaTime = 0.0;   // s: 1 / fs
};

// The geometry of a run with these parameters; raises division by zero (11) for a sampling frequency 0.
RunGeometry runGeometry(const AnalysisParameters& params);

// An allocator whose vectors leave new elements unset: every working array is written whole before it
// is read, so filling it with zeros first would only cost time (and, in a fresh process, nothing else).
template <typename T> struct UnsetAllocator : std::allocator<T>
{
    template <typename U> struct rebind
    {
        using other = UnsetAllocator<U>;
    };
    UnsetAllocator() = default;
    template <typename U> UnsetAllocator(const UnsetAllocator<U>&) noexcept {}
    template <typename U> void construct(U* p) noexcept
    {
        ::new (static_cast<void*>(p)) U;
    }
    template <typename U, typename... Args> void construct(U* p, Args&&... args)
    {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
};
template <typename T> using WorkArray = std::vector<T, UnsetAllocator<T>>;

// The working arrays of a run, made in the order of their declaration (the band arrays only with the band
// on, intData only with Wave output on). Each is written whole by its step before any step reads it.
struct RunArrays
{
    WorkArray<double> dblInData;
    WorkArray<double> dblAmpData;
    WorkArray<double> dblR_SPCData;
    WorkArray<double> dblI_SPCData;
    WorkArray<double> dblBandWave;
    WorkArray<double> dblAmpBandData;
    WorkArray<double> dblR_BandData;
    WorkArray<double> dblI_BandData;
    WorkArray<std::int16_t> intData;
};
RunArrays makeRunArrays(const RunGeometry& geometry, bool blnBand, bool blnWave);

// The computing steps between the files, each on the arrays left by the one before:
// the forward transform of dblR_SPCData/dblI_SPCData and the amplitudes dblAmpData;
void computeSpectrum(const RunGeometry& geometry, double dblPI, RunArrays& arrays);
// the band selection and its amplitudes dblAmpBandData;
void computeBandSpectrum(const RunGeometry& geometry, const AnalysisParameters& params, RunArrays& arrays);
// the inverse transform of the band, scaled by 2 / N and made whole counts in dblBandWave.
void computeBandWave(const RunGeometry& geometry, double dblPI, RunArrays& arrays);

} // namespace kestrix::engine
