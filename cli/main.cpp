#include "average_command.h"
#include "platform/sndfile/sndfile_sound_files.h"
#include "platform/std/std_text_files.h"

#include <iostream>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    const std::vector<std::string> strArgs(argv + 1, argv + argc);
    kestrix::platform::StdTextFiles files;
    kestrix::platform::SndfileSoundFiles sounds;
    return kestrix::cli::runBatchCommand(strArgs, std::cout, std::cerr, files, sounds);
}
