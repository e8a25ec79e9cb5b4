// SPDX-License-Identifier: GPL-3.0-or-later
#include "program_start.h"

#include <unistd.h>

namespace kestrix::platform {

std::vector<std::string> startProgram(int argc, char** argv)
{
    return std::vector<std::string>(argv + 1, argv + argc);
}

bool standardErrorIsTerminal()
{
    return ::isatty(STDERR_FILENO) == 1;
}

} // namespace kestrix::platform
