// SPDX-License-Identifier: GPL-3.0-or-later
#include "batch.h"
#include "platform/sndfile/sndfile_sound_files.h"
#include "platform/std/std_text_files.h"
#include "platform/std/temporary_files.h"

#include <iostream>
#include <string>
#include <vector>

#include <unistd.h>

int main(int argc, char** argv)
{
    const std::vector<std::string> strArgs(argv + 1, argv + argc);
    kestrix::platform::removeTemporaryFilesOnSignals();
    kestrix::platform::StdTextFiles files;
    kestrix::platform::SndfileSoundFiles sounds;
    const kestrix::cli::BatchStreams streams{std::cin, std::cout, std::cerr, ::isatty(STDERR_FILENO) == 1};
    return kestrix::cli::runBatchCommand(strArgs, streams, files, sounds);
}
