// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "batch_options.h"

#include <cstddef>
#include <fstream>
#include <istream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kestrix::cli {

// The FILEs of a batch in their order, taken one at a time: names from the command line, and the lines
// of each --files-from list, read as they are needed, so a list of any length is never held whole.
// Empty lines of a list are passed over; a CR before a line's LF is not part of the name.
class FileSources
{
public:
    // Opens every list at once (standard input for "-"); a list that cannot be opened is reported in
    // strError and makes the sources unusable.
    FileSources(const std::vector<FileSourceArg>& sources, std::istream& strIn, std::string& strError);

    bool usable() const
    {
        return blnUsable;
    }

    // The next FILE, or nothing after the last. A list line longer than any path is reported in
    // strError (and ends the sources).
    std::optional<std::string> next(std::string& strError);

    // How many FILEs there are, where that can be known beforehand (the lists are files that can be read
    // twice), for a progress display; nothing otherwise.
    std::optional<std::size_t> countAhead() const;

private:
    struct Source
    {
        const FileSourceArg* arg = nullptr;
        std::istream* stream = nullptr; // for a list
    };

    std::vector<Source> sources;
    std::vector<std::unique_ptr<std::ifstream>> lists;
    std::size_t lngCurrent = 0;
    bool blnUsable = true;
};

} // namespace kestrix::cli
