#pragma once

#include "platform/text_files.h"

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

// Runs the batch front end on its arguments (without the program name): the window's field checks
// and band checks once, then one run per FILE. Paths written go to strOut, messages to strErr.
int runBatch(std::span<const std::string> strArgs, std::ostream& strOut, std::ostream& strErr,
             platform::TextFiles& files);

} // namespace kestrix::cli
