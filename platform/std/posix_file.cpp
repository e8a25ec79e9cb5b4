// SPDX-License-Identifier: GPL-3.0-or-later
#include "posix_file.h"

#include "platform/failure.h"

#include <cerrno>
#include <cstring>

#include <unistd.h>

namespace kestrix::platform {

std::int32_t failureForErrno(int intErrno, bool blnReading)
{
    switch (intErrno) {
    case ENOENT:
        return blnReading ? err::lngFileNotFound : err::lngPathNotFound;
    case ENOTDIR:
        return err::lngPathNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
    case ETXTBSY:
        return err::lngPermissionDenied;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return err::lngDiskFull;
    default:
        return err::lngPathFileAccess;
    }
}

void raiseForErrno(int intErrno, bool blnReading, const std::string& strPath)
{
    raiseFailure(failureForErrno(intErrno, blnReading), strPath + " (" + std::strerror(intErrno) + ")");
}

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

} // namespace kestrix::platform
