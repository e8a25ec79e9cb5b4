// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace kestrix::platform {

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

    // Why the stream stopped before the end of its recording (with the line number, for text); empty
    // while it goes on and after a complete reading.
    virtual std::string refusal() const = 0;

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
