// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "batch_options.h"

#include <string>

// The checks of the options' entries (typed or default), each run once before any FILE in the order of the
// option table: each reads its texts from the options, refuses them or writes what they come to into the
// analysis's request (and the normal forms back into the window's controls).
namespace kestrix::cli {

// What checking an entry came to. A refusal names the option and the text typed unless strSubject says
// what it concerns instead (the band limits are checked together).
struct EntryCheck
{
    std::string strRefusal;
    std::string strSubject;
    std::string strNotice; // the entry is used in another form than typed: what it is taken as, and why
};

// The window's fields: the sampling frequency, the input range, then the band limits (band on only).
EntryCheck checkSampFreq(BatchOptions& options);
EntryCheck checkRange(BatchOptions& options);
EntryCheck checkBand(BatchOptions& options);

// The segments' overlap, the lowest band of the octave analysis, the column or channel read.
EntryCheck checkOverlap(BatchOptions& options);
EntryCheck checkFrom(BatchOptions& options);
EntryCheck checkColumn(BatchOptions& options);
EntryCheck checkChannel(BatchOptions& options);

// The averaged analysis: the converter figures (which choose their window unless one was given) and
// their fundamental, the sensor, the high-pass, the dB reference with the quantity as a whole, the bands
// of the band RMS and of the envelope, the output folder.
EntryCheck checkMetrics(BatchOptions& options);
EntryCheck checkFundamental(BatchOptions& options);
EntryCheck checkSensitivity(BatchOptions& options);
EntryCheck checkHighPass(BatchOptions& options);
EntryCheck checkDbRef(BatchOptions& options);
EntryCheck checkBandRms(BatchOptions& options);
EntryCheck checkEnvelope(BatchOptions& options);
EntryCheck checkOutputDir(BatchOptions& options);

// The frequency response: its two signals and their sensors, then the coherence threshold, which also
// takes over the settings it shares with the averaged analysis.
EntryCheck checkInput(BatchOptions& options);
EntryCheck checkOutput(BatchOptions& options);
EntryCheck checkInputSensitivity(BatchOptions& options);
EntryCheck checkOutputSensitivity(BatchOptions& options);
EntryCheck checkThreshold(BatchOptions& options);

} // namespace kestrix::cli
