#pragma once

#include "platform/text_files.h"

#include <cstddef>

namespace kestrix::platform {

// Longest line a reader holds; a longer line is reported as too long and skipped, so memory stays
// bounded whatever the file holds.
inline constexpr std::size_t lngMaxLineBytes = 64 * 1024;

// TextFiles on the standard library and POSIX: bytes in, bytes out, CR LF written; output files are
// written to a temporary file in the same folder and renamed over the old one.
class StdTextFiles final : public TextFiles
{
public:
    std::string getParentFolderName(std::string_view strPath) override;
    std::string getBaseName(std::string_view strPath) override;
    char pathSeparator() const override
    {
        return '/';
    }
    bool sameFile(std::string_view strPathA, std::string_view strPathB) override;
    std::unique_ptr<TextReader> openTextFile(std::string_view strPath) override;
    std::unique_ptr<TextWriter> createTextFile(std::string_view strPath) override;
    void writeBinaryFile(std::string_view strPath, std::span<const std::uint8_t> bytData) override;
};

// Replaces strPath with bytData atomically: the old file (or none) stays if anything fails.
void replaceFileAtomically(const std::string& strPath, std::string_view bytData);

// Raises the failure for an errno of opening, reading (blnReading) or writing strPath, as the text
// files do: 53 not found (76 path not found when writing), 70 permission denied, 61 disk full, 75 else.
[[noreturn]] void raiseFileFailure(int intErrno, bool blnReading, const std::string& strPath);

} // namespace kestrix::platform
