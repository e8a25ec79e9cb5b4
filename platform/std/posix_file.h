// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>

namespace kestrix::platform {

// The failure number for an errno of opening, creating or writing a file: 53 file not found (reading)
// or 76 path not found, 70 permission denied, 61 disk full, 75 path/file access error for the rest.
std::int32_t failureForErrno(int intErrno, bool blnReading);

// Raises the failure for intErrno, naming the path and the system's reason.
[[noreturn]] void raiseForErrno(int intErrno, bool blnReading, const std::string& strPath);

// A file descriptor closed with its owner.
class FileDescriptor
{
public:
    explicit FileDescriptor(int fd) : fd(fd) {}
    ~FileDescriptor();
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const
    {
        return fd;
    }
    // Closes now and reports the errno of a failed close (0 when it went well, or when already closed).
    int closeNow();

private:
    int fd;
};

// Writes all of the bytes, going on after interruptions; the errno of a failure, or 0.
int writeAll(int fd, const char* pch, std::size_t lngBytes);

} // namespace kestrix::platform
