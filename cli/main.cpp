// SPDX-License-Identifier: GPL-3.0-or-later
#include "batch.h"
#include "platform/std/program_start.h"
#include "platform/std/std_text_files.h"
#include "platform/std/temporary_files.h"
#include "platform/system_sound_files.h"

#include <iostream>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    const std::vector<std::string> strArgs = kestrix::platform::startProgram(argc, argv);
    kestrix::platform::removeTemporaryFilesOnSignals();
    kestrix::platform::StdTextFiles files;
    const auto sounds = kestrix::platform::makeSystemSoundFiles();
    const kestrix::cli::BatchStreams streams{std::cin, std::cout, std::cerr,
                                             kestrix::platform::standardErrorIsTerminal()};
    return kestrix::cli::runBatchCommand(strArgs, streams, files, *sounds);
}
