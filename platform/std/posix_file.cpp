// SPDX-License-Identifier: GPL-3.0-or-later
#include "posix_file.h"

#include "errno_failure.h"
#include "platform/failure.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrix::platform {

FileDescriptor::~FileDescriptor()
{
    if (fd >= 0) {
        ::close(fd);
    }
}

int FileDescriptor::closeNow()
{
    if (fd < 0) {
        return 0;
    }
    const int rc = ::close(fd);
    fd = -1;
    return rc == 0 ? 0 : errno;
}

int writeAll(int fd, const char* pch, std::size_t lngBytes)
{
    while (lngBytes > 0) {
        const ssize_t lngWritten = ::write(fd, pch, lngBytes);
        if (lngWritten < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        pch += lngWritten;
        lngBytes -= static_cast<std::size_t>(lngWritten);
    }
    return 0;
}

std::size_t readSome(int fd, char* pch, std::size_t lngBytes, const std::string& strPath)
{
    ssize_t lngRead;
    do {
        lngRead = ::read(fd, pch, lngBytes);
    } while (lngRead < 0 && errno == EINTR);
    if (lngRead < 0) {
        raiseForErrno(errno, true, strPath);
    }
    return static_cast<std::size_t>(lngRead);
}

OpenedFile openForReading(const std::string& strPath, bool blnRegularOnly)
{
    // Opened without waiting: a FIFO would otherwise block here until some writer came along.
    const int fd = ::open(strPath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        raiseForErrno(errno, true, strPath);
    }
    struct stat statFile
    {
    };
    if (::fstat(fd, &statFile) != 0 || S_ISDIR(statFile.st_mode)) {
        ::close(fd);
        raiseForErrno(EISDIR, true, strPath);
    }
    if (blnRegularOnly && !S_ISREG(statFile.st_mode)) {
        ::close(fd);
        raiseFailure(err::lngPathFileAccess, strPath + " is not a regular file");
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return OpenedFile{fd, S_ISREG(statFile.st_mode) ? static_cast<std::uint64_t>(statFile.st_size) : 0};
}

int createNewFile(const std::string& strPath, int& intErrno)
{
    const int fd = ::open(strPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    intErrno = fd < 0 ? errno : 0;
    return fd;
}

void refuseUnreplaceable(const std::string& strTarget, const std::string& strRequested)
{
    struct stat statOld
    {
    };
    if (::stat(strTarget.c_str(), &statOld) == 0) {
        if (S_ISDIR(statOld.st_mode)) {
            raiseForErrno(EISDIR, false, strRequested);
        }
        // A file its owner made read-only is not silently replaced.
        if (::access(strTarget.c_str(), W_OK) != 0) {
            raiseForErrno(errno, false, strRequested);
        }
    }
}

PathKind pathKind(const std::string& strPath, const std::string& strRequested)
{
    struct stat statPath
    {
    };
    if (::lstat(strPath.c_str(), &statPath) != 0) {
        if (errno == ENOENT) {
            return PathKind::Missing;
        }
        raiseForErrno(errno, false, strRequested);
    }
    return S_ISDIR(statPath.st_mode) ? PathKind::Folder : PathKind::Other;
}

int linkFile(const std::string& strExisting, const std::string& strNew)
{
    return ::link(strExisting.c_str(), strNew.c_str()) == 0 ? 0 : errno;
}

int replaceFile(const std::string& strSource, const std::string& strTarget)
{
    return ::rename(strSource.c_str(), strTarget.c_str()) == 0 ? 0 : errno;
}

void removeFile(const std::string& strPath)
{
    ::unlink(strPath.c_str());
}

unsigned long processNumber()
{
    return static_cast<unsigned long>(::getpid());
}

char systemPathSeparator()
{
    return '/';
}

bool isPathSeparator(char chr)
{
    return chr == '/';
}

} // namespace kestrix::platform
