// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace kestrix::platform {

// What a refusal of a recording is about, as facts each front end words in its own language.
struct RefusalFacts
{
    enum class Kind {
        None,          // not refused
        BlankLine,     // line lngLine is blank, and numbers follow it
        NotANumber,    // line lngLine (its field lngField; 0 for one-column text) holds strText
        LineTooLong,   // line lngLine is longer than any line a recording holds
        MissingField,  // line lngLine has no field lngField
        NoNumbers,     // none of the lngLine lines read has a number in field lngField
        NoHeading,     // no heading line names the column strText (a line of numbers at lngLine, when > 0)
        TooFewSamples, // lngCount samples, fewer than the lngNeeded points of one segment
        Other,         // strText says why, in the words of whatever refused it
    };
    Kind kind = Kind::None;
    std::int64_t lngLine = 0;     // from 1
    std::int32_t lngField = 0;    // from 1
    std::string strText;          // the text refused, the heading asked for, or the reason
    std::int64_t lngCount = 0;    // samples found
    std::int64_t lngNeeded = 0;   // samples needed
    bool blnDecimalComma = false; // strText reads as a number written with a decimal comma ("1,5")
};

// One channel of a recording, read front to back in blocks of 16-bit converter counts (full scale
// +-32768; a count may have a fraction where the recording is finer). Whatever the recording's length,
// a stream holds only a fixed amount of it.
class SampleStream
{
public:
    virtual ~SampleStream() = default;

    // Fills the start of dblCounts with the next samples and returns how many. Fewer than asked only at
    // the end of the recording or where the stream refuses its input (refusal() then says why); after
    // that every call returns 0. Raises KestrixError when the file cannot be read.
    virtual std::size_t readCounts(std::span<double> dblCounts) = 0;

    // The next samples, at most dblRoom.size() of them: where the stream holds them already, a view of
    // its own (valid until the stream is next called), else read into dblRoom. Unlike readCounts it may
    // give fewer than asked before the end (where the stream's blocks end); none only at the end of the
    // recording or where the stream refuses its input. Raises as readCounts does.
    virtual std::span<const double> nextCounts(std::span<double> dblRoom)
    {
        return dblRoom.first(readCounts(dblRoom));
    }

    // Why the stream stopped before the end of its recording (with the line number, for text); empty
    // while it goes on and after a complete reading.
    virtual std::string refusal() const = 0;
    // The same as facts; Other with the reason for a stream that gives no more.
    virtual RefusalFacts refusalFacts() const
    {
        RefusalFacts facts;
        facts.strText = refusal();
        facts.kind = facts.strText.empty() ? RefusalFacts::Kind::None : RefusalFacts::Kind::Other;
        return facts;
    }

    // The sampling frequency in Hz when the file states one (a sound file), else nothing.
    virtual std::optional<std::int32_t> statedSampFreq() const = 0;

    // Channels of a sound file; 1 for text.
    virtual std::int32_t channelCount() const = 0;

    // What is read, for the output heading: "channel 2 of 4", "column 3 (accel)"; empty for the only
    // channel of a one-column text.
    virtual std::string sourceDescription() const = 0;

    // The share of the recording read so far, 0 to 1, where the stream knows its length (a sound file,
    // a text file of known size); nothing where it does not. For progress shown to the user.
    virtual std::optional<double> shareRead() const
    {
        return std::nullopt;
    }
};

} // namespace kestrix::platform
