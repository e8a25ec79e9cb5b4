// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/text_files.h"
#include "posix_file.h"

#include <memory>
#include <string>
#include <string_view>

namespace kestrix::platform {

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

private:
    void flush();
    [[noreturn]] void fail(int intErrno);

    std::string strRequested; // the name as asked for, for messages
    std::string strTarget;    // the file replaced: a link's target
    std::string strTemporary;
    FileDescriptor fd{-1};
    std::unique_ptr<char[]> chrBuffer;
    std::size_t lngBuffered = 0;
    bool blnClosed = false;
};

} // namespace kestrix::platform
