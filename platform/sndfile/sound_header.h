// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

// What the first bytes of a file say before the sound library sees them: files the library must not be
// handed, and the sampling frequency as the containers that state it as a floating-point number state
// it (the library turns a rate of 0, NaN or infinity there into some whole number of its own).
namespace kestrix::platform {

// The bytes of a file's start looked at.
inline constexpr std::size_t lngSniffBytes = 64 * 1024;

enum class HeadKind {
    Utf16Text, // a UTF-16 byte-order mark: text, not sound
    Mpeg,      // an ID3 tag or an MPEG audio frame's sync word
    Other,
};

HeadKind sniffSoundHead(std::span<const std::uint8_t> bytHead);

// The sampling frequency in Hz an AIFF (COMM chunk, 80-bit extended) or CAF (desc chunk, 64-bit float)
// header states, as stated (NaN and infinities included); nothing for other containers, or when the
// chunk is not within bytHead.
std::optional<double> statedFloatRate(std::span<const std::uint8_t> bytHead);

// Why the rate a header states is refused before the library reads it, or the empty text: not a finite
// number of at least 1 Hz within 32 bits.
std::string statedRateRefusal(std::span<const std::uint8_t> bytHead);

// Why the library's whole number for the rate is refused, or the empty text: not above 0, or not
// within a hertz of the rate the header states.
std::string rateRefusal(std::span<const std::uint8_t> bytHead, std::int32_t lngLibraryRate);

} // namespace kestrix::platform
