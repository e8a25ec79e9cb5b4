// SPDX-License-Identifier: GPL-3.0-or-later
#include "failure.h"

namespace kestrix {

KestrixError::KestrixError(std::int32_t lngNumber_, std::string strDescription_, std::string strSource_)
    : std::runtime_error(strDescription_), lngNumber(lngNumber_), strSource(std::move(strSource_)),
      strDescription(std::move(strDescription_))
{
}

std::string_view standardDescription(std::int32_t lngNumber)
{
    switch (lngNumber) {
    case err::lngInvalidCall:
        return "Invalid procedure call or argument";
    case err::lngOverflow:
        return "Overflow";
    case err::lngOutOfMemory:
        return "Out of memory";
    case err::lngDivisionByZero:
        return "Division by zero";
    case err::lngTypeMismatch:
        return "Type mismatch";
    case err::lngFileNotFound:
        return "File not found";
    case err::lngDiskFull:
        return "Disk full";
    case err::lngInputPastEnd:
        return "Input past end of file";
    case err::lngPermissionDenied:
        return "Permission denied";
    case err::lngPathFileAccess:
        return "Path/File access error";
    case err::lngPathNotFound:
        return "Path not found";
    case err::lngCancel:
        return "Cancel was selected.";
    default:
        return {};
    }
}

void raiseFailure(std::int32_t lngNumber, std::string_view strDetail)
{
    std::string strDescription(standardDescription(lngNumber));
    if (!strDetail.empty()) {
        strDescription += ": ";
        strDescription += strDetail;
    }
    throw KestrixError(lngNumber, std::move(strDescription));
}

} // namespace kestrix
