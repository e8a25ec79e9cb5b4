// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/failure.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace kestrix::testing {

// Runs action and checks that it raises the failure lngNumber.
template <typename Action> void expectFailure(std::int32_t lngNumber, Action&& action)
{
    try {
        action();
        ADD_FAILURE() << "no failure " << lngNumber;
    } catch (const KestrixError& failure) {
        EXPECT_EQ(failure.number(), lngNumber) << failure.description();
    }
}

} // namespace kestrix::testing
