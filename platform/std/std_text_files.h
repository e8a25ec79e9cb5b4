// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/text_files.h"

namespace kestrix::platform {

// TextFiles on the standard library and the system's file primitives (posix_file.h): bytes in, bytes
// out, CR LF written; output files are written to a temporary file in the same folder and renamed over
// the old one (AtomicFile). Paths are UTF-8 on every system.
class StdTextFiles final : public TextFiles
{
public:
    std::string getParentFolderName(std::string_view strPath) override;
    std::string getBaseName(std::string_view strPath) override;
    char pathSeparator() const override;
    bool sameFile(std::string_view strPathA, std::string_view strPathB) override;
    std::unique_ptr<TextReader> openTextFile(std::string_view strPath) override;
    std::unique_ptr<TextWriter> createTextFile(std::string_view strPath) override;
    std::unique_ptr<TextWriter> createBinaryFile(std::string_view strPath) override;
    std::unique_ptr<FileSet> createFileSet() override;
};

} // namespace kestrix::platform
