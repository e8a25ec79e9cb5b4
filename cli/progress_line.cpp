// SPDX-License-Identifier: GPL-3.0-or-later
#include "progress_line.h"

#include <cstdio>
#include <string>

namespace kestrix::cli {

namespace {

constexpr std::chrono::milliseconds lngRedrawEvery{100};

std::string clockText(std::chrono::seconds lngSeconds)
{
    const long long lngTotal = lngSeconds.count();
    char chrText[32];
    if (lngTotal >= 3600) {
        std::snprintf(chrText, sizeof chrText, "%lld:%02lld:%02lld", lngTotal / 3600, lngTotal / 60 % 60,
                      lngTotal % 60);
    } else {
        std::snprintf(chrText, sizeof chrText, "%02lld:%02lld", lngTotal / 60, lngTotal % 60);
    }
    return chrText;
}

} // namespace

ProgressLine::ProgressLine(std::ostream& strErr_, bool blnEnabled_, std::optional<std::size_t> lngTotal_)
    : strErr(strErr_), blnEnabled(blnEnabled_), lngTotal(lngTotal_)
{
}

void ProgressLine::clear()
{
    if (blnShown) {
        strErr << "\r\033[K" << std::flush;
        blnShown = false;
    }
}

void ProgressLine::fileDone(int lngStatus)
{
    if (lngStatus == 0) {
        ++lngAnalysed;
    } else if (lngStatus == 1) {
        ++lngRefused;
    } else {
        ++lngFailed;
    }
    const auto dtNow = std::chrono::steady_clock::now();
    if (blnEnabled && dtNow - dtLastDraw >= lngRedrawEvery) {
        dtLastDraw = dtNow;
        draw();
    }
}

void ProgressLine::draw()
{
    using std::chrono::duration_cast;
    using std::chrono::seconds;
    const std::size_t lngDone = lngAnalysed + lngRefused + lngFailed;
    const auto dtElapsed = std::chrono::steady_clock::now() - dtStart;
    std::string strLine = "\r\033[Kkestrix-batch: " + std::to_string(lngDone);
    if (lngTotal) {
        strLine += " of " + std::to_string(*lngTotal);
    }
    // "1 of 1 file", "1 of 2 files", "1 file" while the total is not known.
    strLine += (lngTotal ? *lngTotal : lngDone) == 1 ? " file, " : " files, ";
    strLine += clockText(duration_cast<seconds>(dtElapsed)) + " elapsed";
    if (lngTotal && lngDone > 0 && lngDone < *lngTotal) {
        const auto dtLeft = dtElapsed * static_cast<long long>(*lngTotal - lngDone) / static_cast<long long>(lngDone);
        strLine += ", about " + clockText(duration_cast<seconds>(dtLeft)) + " left";
    }
    strErr << strLine << std::flush;
    blnShown = true;
}

void ProgressLine::finish()
{
    if (!blnEnabled) {
        return;
    }
    clear();
    strErr << "kestrix-batch: " << lngAnalysed << " analysed, " << lngRefused << " refused, " << lngFailed
           << " failed\n"
           << std::flush;
}

} // namespace kestrix::cli
