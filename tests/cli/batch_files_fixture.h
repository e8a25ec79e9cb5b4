// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The batch front end run on real files (text and sound files) in a temporary folder, its standard
// output and error kept.
#include "cli/batch.h"
#include "platform/sndfile/sndfile_sound_files.h"
#include "platform/std/std_text_files.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace kestrix::testing {

struct BatchFilesFixture : ::testing::Test
{
    // Runs the batch on the arguments, without standard input or a terminal.
    int batch(std::vector<std::string> strArgs)
    {
        strOut.str("");
        strErr.str("");
        std::istringstream strNoInput;
        return cli::runBatchCommand(strArgs, cli::BatchStreams{strNoInput, strOut, strErr, false}, files, sounds);
    }

    TempDir dir;
    platform::StdTextFiles files;
    platform::SndfileSoundFiles sounds;
    std::ostringstream strOut;
    std::ostringstream strErr;
};

} // namespace kestrix::testing
