// SPDX-License-Identifier: GPL-3.0-or-later
#include "errno_failure.h"

#include "platform/failure.h"

#include <cerrno>
#include <cstring>

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
    case EFBIG:
        return err::lngDiskFull;
#ifdef EDQUOT
    // A user's quota on a POSIX system; Windows has no such errno (its file primitives never report one).
    case EDQUOT:
        return err::lngDiskFull;
#endif
    default:
        return err::lngPathFileAccess;
    }
}

void raiseForErrno(int intErrno, bool blnReading, const std::string& strPath)
{
    raiseFailure(failureForErrno(intErrno, blnReading), strPath + " (" + std::strerror(intErrno) + ")");
}

} // namespace kestrix::platform
