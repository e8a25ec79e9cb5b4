// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace kestrix::testing {

// Makes a FIFO (a named pipe in the file system) at strPath; false where the system has none (Windows'
// named pipes live outside the file system), so a test of what reading one does is skipped there.
bool makeFifo(const std::string& strPath);

} // namespace kestrix::testing
