// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cmath>
#include <string>

namespace kestrix::engine {

// The two program-wide values, owned by the window (or the batch front end) for its lifetime.
struct GlobalDefine
{
    double dblPI = 0.0;          // arctangent(1) * 4, set at start-up
    std::string strLastFileName; // the last chosen input file; empty at start-up
};

inline double computePI()
{
    return std::atan(1.0) * 4;
}

} // namespace kestrix::engine
