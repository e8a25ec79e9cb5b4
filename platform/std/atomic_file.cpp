// SPDX-License-Identifier: GPL-3.0-or-later
#include "atomic_file.h"

#include "errno_failure.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>

namespace kestrix::platform {

namespace {

// Lines are collected up to this many bytes before they reach the file; larger pieces go straight.
constexpr std::size_t lngBufferBytes = 16 * 1024;

} // namespace

std::string temporaryNameBeside(const std::string& strPath, unsigned lngAttempt, std::string_view strSuffix)
{
    static std::atomic<unsigned> lngCounter{0};
    const auto itNameStart = std::find_if(strPath.rbegin(), strPath.rend(), isPathSeparator).base();
    const std::string strFolder(strPath.begin(), itNameStart);
    const std::string strName(itNameStart, strPath.end());
    return strFolder + "." + strName + "." + std::to_string(processNumber()) + "-" +
           std::to_string(lngCounter.fetch_add(1) + lngAttempt) + std::string(strSuffix);
}

namespace {

// The file that writing strRequested replaces: a link's target, keeping the link.
std::string replacedFile(const std::string& strRequested)
{
    std::error_code ec;
    const std::filesystem::path path = pathFromUtf8(strRequested);
    if (std::filesystem::is_symlink(path, ec)) {
        const std::filesystem::path resolved = std::filesystem::canonical(path, ec);
        if (!ec) {
            return utf8FromPath(resolved);
        }
    }
    return strRequested;
}

// Refuses a folder or a read-only file at strTarget, then creates the temporary file beside it (marked
// for removal on a signal before it exists); its descriptor, with its name in strTemporary.
int openTemporaryBeside(const std::string& strTarget, const std::string& strRequested, std::string& strTemporary,
                        std::optional<TemporaryFileMark>& mark)
{
    refuseUnreplaceable(strTarget, strRequested);
    for (unsigned lngAttempt = 0; lngAttempt < 100; ++lngAttempt) {
        strTemporary = temporaryNameBeside(strTarget, lngAttempt, ".tmp");
        mark.emplace(strTemporary);
        int intErrno = 0;
        const int fdNew = mark->createNew(intErrno);
        if (fdNew >= 0) {
            return fdNew;
        }
        if (intErrno != EEXIST) {
            raiseForErrno(intErrno, false, strRequested);
        }
    }
    raiseForErrno(EEXIST, false, strRequested);
}

} // namespace

AtomicFile::AtomicFile(std::string strPath)
    : strRequested(std::move(strPath)), strTarget(replacedFile(strRequested)),
      fd(openTemporaryBeside(strTarget, strRequested, strTemporary, mark))
{
}

AtomicFile::~AtomicFile()
{
    abandon();
}

void AtomicFile::abandon()
{
    if (!blnClosed) {
        fd.closeNow();
        removeFile(strTemporary);
        mark.reset();
        blnClosed = true;
    }
}

void AtomicFile::writeLine(std::string_view strText)
{
    write(strText);
    write("\r\n");
}

void AtomicFile::write(std::string_view strText)
{
    if (lngBuffered + strText.size() > lngBufferBytes) {
        flush();
    }
    if (strText.size() >= lngBufferBytes) {
        if (const int intErrno = writeAll(fd.get(), strText.data(), strText.size()); intErrno != 0) {
            fail(intErrno);
        }
        return;
    }
    if (!chrBuffer) {
        chrBuffer.reset(new char[lngBufferBytes]); // not zero-filled: only written bytes are read
    }
    std::memcpy(chrBuffer.get() + lngBuffered, strText.data(), strText.size());
    lngBuffered += strText.size();
}

void AtomicFile::flush()
{
    if (lngBuffered > 0) {
        const std::size_t lngBytes = lngBuffered;
        lngBuffered = 0;
        if (const int intErrno = writeAll(fd.get(), chrBuffer.get(), lngBytes); intErrno != 0) {
            fail(intErrno);
        }
    }
}

void AtomicFile::close()
{
    if (blnClosed) {
        return;
    }
    finish();
    putInPlace();
}

void AtomicFile::finish()
{
    if (blnClosed) {
        return;
    }
    flush();
    if (const int intErrno = fd.closeNow(); intErrno != 0) {
        fail(intErrno);
    }
}

void AtomicFile::putInPlace()
{
    if (blnClosed) {
        return;
    }
    if (const int intErrno = replaceFile(strTemporary, strTarget); intErrno != 0) {
        fail(intErrno);
    }
    blnClosed = true;
    mark.reset();
}

void AtomicFile::fail(int intErrno)
{
    fd.closeNow();
    removeFile(strTemporary);
    mark.reset();
    blnClosed = true;
    raiseForErrno(intErrno, false, strRequested);
}

} // namespace kestrix::platform
