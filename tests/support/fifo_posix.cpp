// SPDX-License-Identifier: GPL-3.0-or-later
#include "fifo.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace kestrix::testing {

bool makeFifo(const std::string& strPath)
{
    EXPECT_EQ(::mkfifo(strPath.c_str(), 0600), 0) << strPath;
    return true;
}

} // namespace kestrix::testing
