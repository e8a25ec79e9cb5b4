// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/sound_files.h"
#include "platform/text_files.h"

#include <istream>
#include <ostream>
#include <span>
#include <string>

namespace kestrix::cli {

// Exit statuses of kestrix-batch; a batch ends with the highest one met.
enum ExitStatus : int {
    lngExitAnalysed = 0,
    lngExitRefused = 1,
    lngExitUsage = 2,
    lngExitFailed = 3,
};

// The streams of a batch.
struct BatchStreams
{
    std::istream& strIn;  // read for "--files-from -"
    std::ostream& strOut; // the paths written
    std::ostream& strErr; // messages, and the progress line on a terminal
    bool blnErrIsTerminal = false;
};

// The batch front end on its arguments (without the program name): the options parsed, the entries
// checked once, then every FILE analysed (the classic run, or with --average the averaged analysis),
// -j of them at once with the output of one at a time. Returns the highest exit status met.
int runBatchCommand(std::span<const std::string> strArgs, const BatchStreams& streams, platform::TextFiles& files,
                    platform::SoundFiles& sounds);

// The same where no file is a sound file (the classic run reads text only).
int runBatch(std::span<const std::string> strArgs, const BatchStreams& streams, platform::TextFiles& files);

// The same without standard input and terminal.
int runBatch(std::span<const std::string> strArgs, std::ostream& strOut, std::ostream& strErr,
             platform::TextFiles& files);

} // namespace kestrix::cli
