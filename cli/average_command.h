// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "batch.h"
#include "platform/sound_files.h"
#include "platform/text_files.h"

#include <ostream>
#include <span>
#include <string>

namespace kestrix::cli {

// Whether the arguments ask for the averaged analysis: --average before any "--".
bool asksForAverage(std::span<const std::string> strArgs);

// The averaged analysis of whole recordings: the entries checked once, then each FILE read whole
// (text or sound) and its BASE_AVG_SPC.csv written beside it, its path printed on strOut; refusals and
// failures on strErr, each naming its file. Returns the highest exit status met (batch.h).
int runAverageBatch(std::span<const std::string> strArgs, std::ostream& strOut, std::ostream& strErr,
                    platform::TextFiles& files, platform::SoundFiles& sounds);

// The batch front end: the averaged analysis with --average, the classic run otherwise.
int runBatchCommand(std::span<const std::string> strArgs, const BatchStreams& streams, platform::TextFiles& files,
                    platform::SoundFiles& sounds);

} // namespace kestrix::cli
