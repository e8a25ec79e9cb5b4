// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "analysis_parameters.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The window's field checks and derived display values, kept apart from any toolkit so that the
// window and the batch front end apply exactly the same rules.
namespace kestrix::engine {

// The outcome of checking an entry: a refusal message, or the entry's normal form.
struct FieldCheck
{
    std::string strMessage;    // empty when the entry is accepted
    std::string strNormalized; // the text to write back into the field when accepted
    bool accepted() const
    {
        return strMessage.empty();
    }
};

// Sampling frequency: empty, not numeric, or a whole number not above 0 (or beyond 32 bits) is
// refused; otherwise the whole number in plain digits ("2.5" gives "3", " 1e3 " gives "1000").
FieldCheck checkSampFreq(std::string_view strText);

// Input range: empty, not numeric, or not above 0 after rounding to three decimals is refused, and so
// is a value whose rounding lies beyond the double range (1.7976931348623157e308), with the same
// message; otherwise the general number text of that rounding ("5.0" gives "5", "0.0005" gives "0.001").
FieldCheck checkMaxVolt(std::string_view strText);

// The run's band-limit checks, in their order, each limit's text read just before its own checks:
// the lower limit empty, not numeric, below 0; the upper limit empty, not numeric, not above 0; the
// lower not below the upper; the lower not below params.dblMaxAnaFreq. A limit whose rounding lies
// beyond the double range is refused as out of its range (the lower as below 0, the upper as not
// above 0). The first that fails gives its message; otherwise the empty text, with params.dblLowFreq
// and params.dblHighFreq set (each the text rounded to three decimals).
std::string checkBandLimits(AnalysisControls& controls, AnalysisParameters& params);

// The maximum analysis frequency as the window shows it after a sampling-frequency entry: fs / 2.56
// rounded to two decimals (390.63 for 1000 Hz).
double maxAnaFreqRounded(std::int32_t lngSampFreq);

// The text of txtMaxAnaFreq: the general number text of maxAnaFreqRounded ("400", "390.63").
std::string maxAnaFreqText(double dblMaxAnaFreq);

// The text of txtDeltaFreq: M / (N / 2.56) with three decimals.
std::string deltaFreqText(double dblMaxAnaFreq, std::int32_t lngNumSamp);

// The resolution after a change of the points list: the sampling-frequency text taken as a 32-bit
// integer (ties to even) and fs / 2.56 unrounded (its general number text read back). Nothing when
// either text does not convert, in which case the field keeps its text.
std::optional<std::string> deltaFreqTextAfterListChange(std::string_view strSampFreqText,
                                                        std::string_view strNumSampText);

} // namespace kestrix::engine
