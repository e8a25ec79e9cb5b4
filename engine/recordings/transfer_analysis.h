// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "average_analysis.h"
#include "cross_spectrum.h"
#include "engineering_unit.h"
#include "platform/sound_files.h"
#include "platform/text_files.h"
#include "text_samples.h"
#include "transfer_function.h"

#include <cstdint>
#include <optional>
#include <string>

// The frequency response between two signals of one recording (an input and an output: two columns of
// a delimited text, or two channels of a sound file): checked settings and a file in, the estimates and
// the frequency response file beside it out. No dialogue: refusals come back as their message text,
// failures are raised as KestrixError.
namespace kestrix::engine {

struct TransferRequest
{
    // N, window, overlap and detrending as for the averaged spectrum; the averaging must be the mean
    // (peak hold is refused); blnToHalfRate is not used.
    AverageSettings settings;
    std::int32_t lngSampFreq = 1024; // Hz (> 0); a sound file's own frequency takes its place
    bool blnSampFreqGiven = false;   // given by the user: a sound file stating another one is refused
    double dblMaxVolt = 5.0;         // V (> 0): a count c is c * dblMaxVolt / 32767 V, in both channels
    // The two signals, each a column of text (by number from 1 or by heading) or a channel of a sound
    // file (by number from 1).
    ColumnChoice input;
    ColumnChoice output;
    // What a volt of each stands for: H is in output EU per input EU, Gxx in input EU^2/Hz, and so on.
    EngineeringUnit inputUnit;
    EngineeringUnit outputUnit;
    double dblCoherenceThreshold = dblDefaultCoherenceThreshold; // 0 to 1: lines trusted for the phase
    std::int32_t lngThreads = 1; // threads transforming the segments (analysisThreads); the same bits for any
};

// Which signal a refusal is about.
enum class TransferSignal {
    Both, // the recording or the request as a whole
    Input,
    Output,
};

struct TransferFileResult
{
    std::string strRefusal; // why the recording was not analysed, else empty
    // The same as facts, for a front end to word (Other with strRefusal where there are none), and the
    // signal it is about.
    platform::RefusalFacts refusalFacts;
    TransferSignal refusedSignal = TransferSignal::Both;
    std::string strWritten; // the file written
    CrossSpectra spectra;   // in counts^2, lines to half the rate (for a caller that wants more)
    // The lines 0 .. fs / 2.56 (spectrumLineCount(N)), as the file holds them. With one segment
    // estimates.dblCoherence is empty and estimates.strCoherenceRefusal says why: a front end shows
    // that refusal; H1, H2 and the phase stand.
    TransferEstimates estimates;
    std::optional<ChannelDelay> delay; // none when the lines used hold no cross-power at all
    std::int32_t lngSampFreq = 0;      // Hz, as analysed
    double dblDeltaFreq = 0.0;         // Hz between lines
    std::string strInputSource;        // the signals as the streams describe them: "column 2 (force)"
    std::string strOutputSource;
    std::string strSource;     // the file's name without its folder
    std::string strHeading;    // the file's first line
    bool blnCancelled = false; // stopped by the progress handler: nothing else is filled

    bool analysed() const
    {
        return strRefusal.empty() && !blnCancelled;
    }
};

// The frequency response file of an input: its base path (as for the classic files) + "_FRF.csv".
std::string transferOutputName(platform::TextFiles& files, const std::string& strFileName);

// Reads both signals of strFileName in step through two sample streams (the file opened once for each,
// so memory stays that of two streams and a few N-point buffers whatever the length), averages their
// spectra and computes the estimates (scaled by each signal's EngineeringUnit) and the delay, without
// writing anything. Refuses peak averaging; a signal openSignal refuses (its text after "input: " or
// "output: "); a sound file whose sampling frequency differs from one given; input a stream refuses on
// the way (with its line, after "input: " or "output: "); fewer samples than one segment. Raises
// KestrixError for a file that cannot be read. onProgress is told of the samples read after every
// block (the input stream's share); returning false cancels.
TransferFileResult transferRecording(const TransferRequest& request, const std::string& strFileName,
                                     platform::TextFiles& files, platform::SoundFiles& sounds, double dblPI,
                                     const ReadProgress& onProgress = {});

// The estimates of an analysed result worked out anew from its spectra for request's units and
// coherence threshold, and its heading with them: what transferRecording gives with that request,
// without reading the recording again.
void estimateTransfer(const TransferRequest& request, TransferFileResult& result, double dblPI);

// The unit of H: output EU per input EU ("g/N", "V/V").
std::string responseUnit(const TransferRequest& request);

// Writes an analysed result's frequency response file at strPath, replaced at once: the heading line,
// then per line from 0 Hz to fs / 2.56 (CR LF)
//   frequency (Hz),|H1|,phase of H1 (deg, wrapped),phase of H1 (deg, unwrapped),|H2|,coherence,Gxx,Gyy,|Gxy|
// as general number texts; a value that does not exist on a line (TransferEstimates) is an empty
// field, and so is the whole coherence column when the coherence is refused. Raises KestrixError for
// a file that cannot be written and an infinite value (6, before anything is written).
void writeTransferFile(platform::TextFiles& files, const std::string& strPath, const TransferFileResult& result);

// transferRecording, then writeTransferFile at transferOutputName beside the input. Raises as both do,
// and 75 for an output that would replace the input (before anything is read).
TransferFileResult analyseTransfer(const TransferRequest& request, const std::string& strFileName,
                                   platform::TextFiles& files, platform::SoundFiles& sounds, double dblPI,
                                   const ReadProgress& onProgress = {});

// The heading line: the nine column names with their units, then name=value fields: input, output
// (the streams' descriptions), input unit, input sensitivity, output unit, output sensitivity, window,
// N, overlap, segments, averaging, detrend, fs, range, samples, coherence threshold, delay (seconds, or
// "none"), source; comma-separated, each quoted (CSV style) where it holds a comma or a quote.
std::string transferHeading(const TransferRequest& request, const TransferFileResult& result);

} // namespace kestrix::engine
