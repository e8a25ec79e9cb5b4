// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>

namespace kestrix::platform {

// The current date and time to the second.
class Clock
{
public:
    virtual ~Clock() = default;
    virtual std::chrono::sys_seconds now() = 0;
};

class SystemClock final : public Clock
{
public:
    std::chrono::sys_seconds now() override
    {
        return std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now());
    }
};

} // namespace kestrix::platform
