// SPDX-License-Identifier: GPL-3.0-or-later
// Temporary files on Windows: there are no SIGINT and SIGTERM handlers to remove them from, so a mark
// only creates the file and a deferral holds nothing back.
#include "platform/std/posix_file.h"
#include "platform/std/temporary_files.h"

namespace kestrix::platform {

void removeTemporaryFilesOnSignals() {}

TemporaryFileMark::TemporaryFileMark(const std::string& strPath) : strPath(strPath) {}

TemporaryFileMark::~TemporaryFileMark() = default;

int TemporaryFileMark::createNew(int& intErrno) const
{
    return createNewFile(strPath, intErrno);
}

void TemporaryFileMark::release() {}

SignalDeferral::SignalDeferral() = default;

SignalDeferral::~SignalDeferral() = default;

} // namespace kestrix::platform
