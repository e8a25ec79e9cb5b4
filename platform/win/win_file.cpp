// SPDX-License-Identifier: GPL-3.0-or-later
// The file primitives of posix_file.h on Windows: paths turned from UTF-8 into the wide-character API,
// the system's error codes into the errno numbers they stand for, so a full disk, a missing folder or a
// folder where a file was expected fail with the same numbers and reasons as on POSIX systems.
#include "platform/failure.h"
#include "platform/std/errno_failure.h"
#include "platform/std/posix_file.h"
#include "platform/win/win_system.h"

#include <cerrno>

#include <fcntl.h>
#include <io.h>
#include <windows.h>

namespace kestrix::platform {

namespace {

// A CRT descriptor owning hFile (closed here when that fails); -1 with errno set on failure.
int descriptorFor(HANDLE hFile, int intFlags)
{
    const int fd = ::_open_osfhandle(reinterpret_cast<std::intptr_t>(hFile), intFlags | _O_BINARY);
    if (fd < 0) {
        ::CloseHandle(hFile);
        errno = EMFILE;
    }
    return fd;
}

} // namespace

int errnoForSystemError(unsigned long lngError)
{
    switch (lngError) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
        return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_PRIVILEGE_NOT_HELD:
        return EACCES;
    case ERROR_WRITE_PROTECT:
        return EROFS;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return ENOSPC;
    case ERROR_FILE_TOO_LARGE:
        return EFBIG;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return EEXIST;
    case ERROR_DIRECTORY:
        return ENOTDIR;
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_FILENAME_EXCED_RANGE:
    case ERROR_NO_UNICODE_TRANSLATION:
        return EINVAL;
    default:
        return EIO;
    }
}

FileDescriptor::~FileDescriptor()
{
    if (fd >= 0) {
        ::_close(fd);
    }
}

int FileDescriptor::closeNow()
{
    if (fd < 0) {
        return 0;
    }
    const int rc = ::_close(fd);
    fd = -1;
    return rc == 0 ? 0 : errno;
}

int writeAll(int fd, const char* pch, std::size_t lngBytes)
{
    constexpr std::size_t lngMostAtOnce = 1U << 30; // _write takes an unsigned count
    while (lngBytes > 0) {
        const unsigned lngAsked = static_cast<unsigned>(lngBytes < lngMostAtOnce ? lngBytes : lngMostAtOnce);
        const int lngWritten = ::_write(fd, pch, lngAsked);
        if (lngWritten < 0) {
            return errno;
        }
        if (lngWritten == 0) {
            return ENOSPC; // the CRT reports a full disk as nothing written
        }
        pch += lngWritten;
        lngBytes -= static_cast<std::size_t>(lngWritten);
    }
    return 0;
}

std::size_t readSome(int fd, char* pch, std::size_t lngBytes, const std::string& strPath)
{
    const int lngRead = ::_read(fd, pch, static_cast<unsigned>(lngBytes));
    if (lngRead < 0) {
        raiseForErrno(errno, true, strPath);
    }
    return static_cast<std::size_t>(lngRead);
}

OpenedFile openForReading(const std::string& strPath, bool blnRegularOnly)
{
    const std::wstring strWide = wideFromUtf8(strPath);
    const DWORD lngAttributes = ::GetFileAttributesW(strWide.c_str());
    if (lngAttributes != INVALID_FILE_ATTRIBUTES && (lngAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        raiseForErrno(EISDIR, true, strPath);
    }
    // Others may go on reading, writing or renaming the file while it is read, as on POSIX systems.
    const HANDLE hFile =
        ::CreateFileW(strWide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile == INVALID_HANDLE_VALUE) {
        raiseForErrno(errnoForSystemError(::GetLastError()), true, strPath);
    }
    // A console, the NUL device or a pipe has no end that comes.
    const bool blnRegular = ::GetFileType(hFile) == FILE_TYPE_DISK;
    LARGE_INTEGER lngSize{};
    if (!blnRegular || !::GetFileSizeEx(hFile, &lngSize)) {
        lngSize.QuadPart = 0;
    }
    if (blnRegularOnly && !blnRegular) {
        ::CloseHandle(hFile);
        raiseFailure(err::lngPathFileAccess, strPath + " is not a regular file");
    }
    const int fd = descriptorFor(hFile, _O_RDONLY);
    if (fd < 0) {
        raiseForErrno(errno, true, strPath);
    }
    return OpenedFile{fd, static_cast<std::uint64_t>(lngSize.QuadPart)};
}

int createNewFile(const std::string& strPath, int& intErrno)
{
    const HANDLE hFile = ::CreateFileW(wideFromUtf8(strPath).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                       CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile == INVALID_HANDLE_VALUE) {
        intErrno = errnoForSystemError(::GetLastError());
        return -1;
    }
    const int fd = descriptorFor(hFile, _O_WRONLY);
    intErrno = fd < 0 ? errno : 0;
    return fd;
}

void refuseUnreplaceable(const std::string& strTarget, const std::string& strRequested)
{
    const DWORD lngAttributes = ::GetFileAttributesW(wideFromUtf8(strTarget).c_str());
    if (lngAttributes == INVALID_FILE_ATTRIBUTES) {
        return; // nothing there yet (or a path that creating the file reports)
    }
    if ((lngAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        raiseForErrno(EISDIR, false, strRequested);
    }
    // A file its owner made read-only is not silently replaced.
    if ((lngAttributes & FILE_ATTRIBUTE_READONLY) != 0) {
        raiseForErrno(EACCES, false, strRequested);
    }
}

PathKind pathKind(const std::string& strPath, const std::string& strRequested)
{
    const DWORD lngAttributes = ::GetFileAttributesW(wideFromUtf8(strPath).c_str());
    if (lngAttributes == INVALID_FILE_ATTRIBUTES) {
        const int intErrno = errnoForSystemError(::GetLastError());
        if (intErrno == ENOENT) {
            return PathKind::Missing;
        }
        raiseForErrno(intErrno, false, strRequested);
    }
    return (lngAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? PathKind::Folder : PathKind::Other;
}

int linkFile(const std::string& strExisting, const std::string& strNew)
{
    if (::CreateHardLinkW(wideFromUtf8(strNew).c_str(), wideFromUtf8(strExisting).c_str(), nullptr)) {
        return 0;
    }
    switch (const DWORD lngError = ::GetLastError()) {
    case ERROR_NOT_SUPPORTED:
    case ERROR_INVALID_FUNCTION:
        return EOPNOTSUPP; // FAT and some network shares
    case ERROR_TOO_MANY_LINKS:
        return EMLINK;
    default:
        return errnoForSystemError(lngError);
    }
}

int replaceFile(const std::string& strSource, const std::string& strTarget)
{
    const std::wstring strWideSource = wideFromUtf8(strSource);
    const std::wstring strWideTarget = wideFromUtf8(strTarget);
    // An earlier file is replaced keeping what belongs to it rather than to its content (its
    // permissions, its creation time); where there is none, or it went meanwhile, the new file is moved
    // in. Either is a rename within the folder: readers see the old file or the new one, never a part.
    if (::GetFileAttributesW(strWideTarget.c_str()) != INVALID_FILE_ATTRIBUTES) {
        if (::ReplaceFileW(strWideTarget.c_str(), strWideSource.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS,
                           nullptr, nullptr)) {
            return 0;
        }
        if (const DWORD lngError = ::GetLastError(); lngError != ERROR_FILE_NOT_FOUND) {
            return errnoForSystemError(lngError);
        }
    }
    if (::MoveFileExW(strWideSource.c_str(), strWideTarget.c_str(),
                      MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return 0;
    }
    return errnoForSystemError(::GetLastError());
}

void removeFile(const std::string& strPath)
{
    ::DeleteFileW(wideFromUtf8(strPath).c_str());
}

unsigned long processNumber()
{
    return ::GetCurrentProcessId();
}

char systemPathSeparator()
{
    return '\\';
}

bool isPathSeparator(char chr)
{
    return chr == '\\' || chr == '/';
}

} // namespace kestrix::platform
