// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

namespace kestrix::platform {

// What a command-line program takes from its system as it starts: implemented for POSIX systems in
// posix_program_start.cpp and for Windows in platform/win/win_program_start.cpp.

// The program's arguments after its name, as UTF-8 texts (Windows hands a narrow argv over in the
// system's code page, so there they are read from the wide command line). On Windows the console is set
// to show the UTF-8 the program prints.
std::vector<std::string> startProgram(int argc, char** argv);

// Whether standard error goes to a terminal (a console), where a progress line may be redrawn.
bool standardErrorIsTerminal();

} // namespace kestrix::platform
