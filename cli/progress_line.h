// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <ostream>

namespace kestrix::cli {

// The progress of a batch on a terminal: one line, redrawn in place (files done of all, elapsed time,
// estimated time left), cleared before anything else is printed and gone at the end, where a last line
// sums up. Switched off it prints nothing at all, so files and pipes get only the batch's own output.
class ProgressLine
{
public:
    ProgressLine(std::ostream& strErr, bool blnEnabled, std::optional<std::size_t> lngTotal);

    // Erases the line, if shown, so that other output starts at the line's beginning.
    void clear();
    // Counts one FILE as done with its exit status (0 analysed, 1 refused, 3 failed) and redraws the line,
    // at most a few times a second.
    void fileDone(int lngStatus);
    // Erases the line and prints the sum: analysed, refused, failed.
    void finish();

private:
    void draw();

    std::ostream& strErr;
    bool blnEnabled;
    std::optional<std::size_t> lngTotal;
    std::chrono::steady_clock::time_point dtStart = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point dtLastDraw{};
    bool blnShown = false;
    std::size_t lngAnalysed = 0;
    std::size_t lngRefused = 0;
    std::size_t lngFailed = 0;
};

} // namespace kestrix::cli
