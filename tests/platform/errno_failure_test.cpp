// SPDX-License-Identifier: GPL-3.0-or-later
// The failures of the file services on a POSIX system for each errno its file primitives report (the
// Windows build maps its own system errors through the same table: tests/windows).
#include "platform/failure.h"
#include "platform/std/errno_failure.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace kestrix {
namespace {

TEST(ErrnoFailures, EachCauseFailsWithItsNumberReadingAndWriting)
{
    struct Case
    {
        int intErrno;
        std::int32_t lngReading;
        std::int32_t lngWriting;
    };
    const Case cases[] = {
        {ENOENT, err::lngFileNotFound, err::lngPathNotFound},
        {ENOTDIR, err::lngPathNotFound, err::lngPathNotFound},
        {EACCES, err::lngPermissionDenied, err::lngPermissionDenied},
        {EPERM, err::lngPermissionDenied, err::lngPermissionDenied},
        {EROFS, err::lngPermissionDenied, err::lngPermissionDenied},
        {ETXTBSY, err::lngPermissionDenied, err::lngPermissionDenied},
        {ENOSPC, err::lngDiskFull, err::lngDiskFull},
        {EDQUOT, err::lngDiskFull, err::lngDiskFull},
        {EFBIG, err::lngDiskFull, err::lngDiskFull},
        {EISDIR, err::lngPathFileAccess, err::lngPathFileAccess},
        {EEXIST, err::lngPathFileAccess, err::lngPathFileAccess},
        {EIO, err::lngPathFileAccess, err::lngPathFileAccess},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::strerror(c.intErrno));
        EXPECT_EQ(platform::failureForErrno(c.intErrno, true), c.lngReading);
        EXPECT_EQ(platform::failureForErrno(c.intErrno, false), c.lngWriting);
    }
    // The failure raised names the path and the system's reason after the number's description.
    try {
        platform::raiseForErrno(EDQUOT, false, "/meas/out.csv");
    } catch (const KestrixError& failure) {
        EXPECT_EQ(failure.number(), err::lngDiskFull);
        EXPECT_EQ(failure.description(), std::string(standardDescription(err::lngDiskFull)) + ": /meas/out.csv (" +
                                             std::strerror(EDQUOT) + ")");
    }
}

} // namespace
} // namespace kestrix
