// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>

// The failures of the file services for the errno numbers the system's file primitives report
// (posix_file.h): one mapping for every system, so a cause fails with the same number everywhere.
namespace kestrix::platform {

// The failure number for an errno of opening, creating or writing a file: 53 file not found (reading)
// or 76 path not found, 70 permission denied, 61 disk full, 75 path/file access error for the rest.
std::int32_t failureForErrno(int intErrno, bool blnReading);

// Raises the failure for intErrno, naming the path and the system's reason.
[[noreturn]] void raiseForErrno(int intErrno, bool blnReading, const std::string& strPath);

} // namespace kestrix::platform
