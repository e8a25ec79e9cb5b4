// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/std/program_start.h"
#include "platform/win/win_system.h"

// shellapi.h needs the types windows.h declares first.
// clang-format off
#include <windows.h>
#include <shellapi.h>
// clang-format on

namespace kestrix::platform {

std::vector<std::string> startProgram(int argc, char** argv)
{
    ::SetConsoleOutputCP(CP_UTF8);
    // The progress line is redrawn with the terminal's escape sequences, which a console obeys once asked.
    const HANDLE hError = ::GetStdHandle(STD_ERROR_HANDLE);
    DWORD lngMode = 0;
    if (::GetConsoleMode(hError, &lngMode) != 0) {
        ::SetConsoleMode(hError, lngMode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
    }
    int intCount = 0;
    LPWSTR* strWideArgs = ::CommandLineToArgvW(::GetCommandLineW(), &intCount);
    if (strWideArgs == nullptr) {
        return std::vector<std::string>(argv + 1, argv + argc);
    }
    std::vector<std::string> strArgs;
    for (int i = 1; i < intCount; ++i) {
        strArgs.push_back(utf8FromWide(strWideArgs[i]));
    }
    ::LocalFree(strWideArgs);
    return strArgs;
}

bool standardErrorIsTerminal()
{
    // A console too old for escape sequences gets no progress line rather than a garbled one.
    DWORD lngMode = 0;
    return ::GetConsoleMode(::GetStdHandle(STD_ERROR_HANDLE), &lngMode) != 0 &&
           (lngMode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

} // namespace kestrix::platform
