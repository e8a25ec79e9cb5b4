// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/text_files.h"
#include "posix_file.h"
#include "temporary_files.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace kestrix::platform {

// A name for a new file beside strPath, not yet taken by this process: ".NAME.PID-COUNT" + strSuffix in
// its folder (lngAttempt moves the count on after a name found taken).
std::string temporaryNameBeside(const std::string& strPath, unsigned lngAttempt, std::string_view strSuffix);

// A file written beside its final name and put in its place at close(): the bytes go to a new temporary
// file in the same folder as they come (through a small buffer; large pieces straight through), and
// close() renames it over the old file at once. Until then the old file (or none) stays as it was, and a
// writer destroyed without close() removes its temporary file: a failed save never leaves half a file.
// Writing through a link replaces the file it points to and keeps the link; a folder or a file its owner
// made read-only is refused at creation. Every failure is raised as a KestrixError naming the path.
class AtomicFile final : public TextWriter
{
public:
    explicit AtomicFile(std::string strPath);
    ~AtomicFile() override;
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    void writeLine(std::string_view strText) override;
    void write(std::string_view strText) override;
    void close() override;

    // close() in two steps, for files put in place together (AtomicFileSet): every byte written and
    // the temporary file closed, then the rename.
    void finish();
    void putInPlace();
    // Removes the temporary file of a file not put in place; the earlier file stays.
    void abandon();

    const std::string& requestedPath() const
    {
        return strRequested;
    }
    const std::string& targetPath() const
    {
        return strTarget;
    }

private:
    void flush();
    [[noreturn]] void fail(int intErrno);

    std::string strRequested; // the name as asked for, for messages
    std::string strTarget;    // the file replaced: a link's target
    std::string strTemporary;
    std::optional<TemporaryFileMark> mark; // removed should a signal end the process before the rename
    FileDescriptor fd{-1};
    std::unique_ptr<char[]> chrBuffer;
    std::size_t lngBuffered = 0;
    bool blnClosed = false;
};

} // namespace kestrix::platform
