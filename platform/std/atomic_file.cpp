// SPDX-License-Identifier: GPL-3.0-or-later
#include "atomic_file.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrix::platform {

namespace {

// Lines are collected up to this many bytes before they reach the file; larger pieces go straight.
constexpr std::size_t lngBufferBytes = 16 * 1024;

} // namespace

std::string temporaryNameBeside(const std::string& strPath, unsigned lngAttempt, std::string_view strSuffix)
{
    static std::atomic<unsigned> lngCounter{0};
    const auto lngSlash = strPath.rfind('/');
    const std::string strFolder = lngSlash == std::string::npos ? std::string() : strPath.substr(0, lngSlash + 1);
    const std::string strName = lngSlash == std::string::npos ? strPath : strPath.substr(lngSlash + 1);
    return strFolder + "." + strName + "." + std::to_string(::getpid()) + "-" +
           std::to_string(lngCounter.fetch_add(1) + lngAttempt) + std::string(strSuffix);
}

namespace {

// The file that writing strRequested replaces: a link's target, keeping the link.
std::string replacedFile(const std::string& strRequested)
{
    std::error_code ec;
    if (std::filesystem::is_symlink(strRequested, ec)) {
        const std::filesystem::path resolved = std::filesystem::canonical(strRequested, ec);
        if (!ec) {
            return resolved.string();
        }
    }
    return strRequested;
}

// Refuses a folder or a read-only file at strTarget, then creates the temporary file beside it (marked
// for removal on a signal before it exists); its descriptor, with its name in strTemporary.
int openTemporaryBeside(const std::string& strTarget, const std::string& strRequested, std::string& strTemporary,
                        std::optional<TemporaryFileMark>& mark)
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
    for (unsigned lngAttempt = 0; lngAttempt < 100; ++lngAttempt) {
        strTemporary = temporaryNameBeside(strTarget, lngAttempt, ".tmp");
        mark.emplace(strTemporary);
        const int fdNew = mark->create(O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fdNew >= 0) {
            return fdNew;
        }
        if (errno != EEXIST) {
            raiseForErrno(errno, false, strRequested);
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
        ::unlink(strTemporary.c_str());
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
    if (::rename(strTemporary.c_str(), strTarget.c_str()) != 0) {
        fail(errno);
    }
    blnClosed = true;
    mark.reset();
}

void AtomicFile::fail(int intErrno)
{
    fd.closeNow();
    ::unlink(strTemporary.c_str());
    mark.reset();
    blnClosed = true;
    raiseForErrno(intErrno, false, strRequested);
}

} // namespace kestrix::platform
