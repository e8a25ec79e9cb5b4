// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace kestrix {

// Failure numbers, numbered as the classic runtime numbers them so that the error report reads the
// same as users and their notes expect.
namespace err {
constexpr std::int32_t lngInvalidCall = 5;
constexpr std::int32_t lngOverflow = 6;
constexpr std::int32_t lngOutOfMemory = 7;
constexpr std::int32_t lngDivisionByZero = 11;
constexpr std::int32_t lngTypeMismatch = 13;
constexpr std::int32_t lngFileNotFound = 53;
constexpr std::int32_t lngDiskFull = 61;
constexpr std::int32_t lngInputPastEnd = 62;
constexpr std::int32_t lngPermissionDenied = 70;
constexpr std::int32_t lngPathFileAccess = 75;
constexpr std::int32_t lngPathNotFound = 76;
constexpr std::int32_t lngCancel = 32755;
} // namespace err

// The application's name: the source of failures raised by our own steps and the default message
// title.
inline constexpr std::string_view strAppTitle = "Kestrix";

// A failure of an operation: it travels up to the error trap in force, which shows the error report.
// A refusal of the user's input is not a failure (it is a message and a false result).
class KestrixError : public std::runtime_error
{
public:
    KestrixError(std::int32_t lngNumber, std::string strDescription, std::string strSource = std::string(strAppTitle));

    std::int32_t number() const noexcept
    {
        return lngNumber;
    }
    const std::string& source() const noexcept
    {
        return strSource;
    }
    const std::string& description() const noexcept
    {
        return strDescription;
    }

private:
    std::int32_t lngNumber;
    std::string strSource;
    std::string strDescription;
};

// The classic description of a failure number ("Overflow", "File not found", ...); an empty text for
// numbers we never raise.
std::string_view standardDescription(std::int32_t lngNumber);

// Raises failure lngNumber with its standard description, followed by ": " and strDetail when given.
[[noreturn]] void raiseFailure(std::int32_t lngNumber, std::string_view strDetail = {});

} // namespace kestrix
