// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/utf8_path.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace kestrix::platform {

// The system's file primitives under the file services. Paths are UTF-8 texts and failures errno
// numbers on every system: implemented with POSIX calls in posix_file.cpp and with the wide-character
// Windows API in platform/win/win_file.cpp (its errors translated to the errno they stand for), so the
// services above them and the failures they raise (errno_failure.h) read the same everywhere.

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

// Reads what the file gives at once, up to lngBytes; 0 at its end. A failure is raised naming strPath.
std::size_t readSome(int fd, char* pch, std::size_t lngBytes, const std::string& strPath);

// An open file for reading with its size in bytes (0 where it has none, as a device).
struct OpenedFile
{
    int fd;
    std::uint64_t lngBytes;
};

// Opens strPath for reading without waiting for a writer. A folder is refused as 75 (and so is
// anything but a regular file when blnRegularOnly: a FIFO, a device or a socket may be read for ever);
// every other failure is raised by its errno.
OpenedFile openForReading(const std::string& strPath, bool blnRegularOnly);

// Creates strPath, which must not exist yet, for writing; its descriptor, or -1 with the errno in intErrno.
int createNewFile(const std::string& strPath, int& intErrno);

// Raises the failure for replacing strTarget when it is a folder or a file its owner made read-only
// (named as strRequested); nothing when it may be replaced or does not exist.
void refuseUnreplaceable(const std::string& strTarget, const std::string& strRequested);

// What lies at strPath itself (a link is not followed): nothing, a folder, or something else. A failure
// to look other than the path's absence is raised naming strRequested.
enum class PathKind {
    Missing,
    Folder,
    Other,
};
PathKind pathKind(const std::string& strPath, const std::string& strRequested);

// Gives the file strExisting a second name strNew (a hard link); 0 or the errno: EEXIST when strNew
// exists, EPERM, EOPNOTSUPP or EMLINK where the file system makes no such link.
int linkFile(const std::string& strExisting, const std::string& strNew);

// Puts strSource in place of strTarget at once (the old file, if any, replaced); 0 or the errno.
int replaceFile(const std::string& strSource, const std::string& strTarget);

// Removes a file; failures are ignored (it is a temporary file being dropped).
void removeFile(const std::string& strPath);

// This process's number, for names of temporary files.
unsigned long processNumber();

// The separator the system writes between a folder and a name, and whether a character separates
// them in a path (on Windows both '\' and '/' do).
char systemPathSeparator();
bool isPathSeparator(char chr);

// The extension of a path's last component in lower case ("wav" for "meas/Rec.WAV"); the empty text
// where it has none.
std::string lowerCaseExtension(std::string_view strPath);

} // namespace kestrix::platform
