// SPDX-License-Identifier: GPL-3.0-or-later
#include "fifo.h"

namespace kestrix::testing {

bool makeFifo(const std::string& /*strPath*/)
{
    return false;
}

} // namespace kestrix::testing
