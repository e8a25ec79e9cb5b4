// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/run/analysis.h"
#include "engine/run/analysis_parameters.h"
#include "engine/run/global_define.h"
#include "support/fakes.h"

#include <gtest/gtest.h>

#include <string>

namespace kestrix::testing {

// The control contents of one analysis (the window's start-up values) and files in memory.
struct AnalysisHarness : ::testing::Test
{
    // Analyses strFile with the parameters the contents give; they must pass their checks.
    engine::AnalysisResult analyse(const std::string& strFile)
    {
        const engine::ParameterReading reading = engine::readAnalysisParameters(controls);
        EXPECT_EQ(reading.strRefusal, "");
        return engine::analyseFile(reading.params, strFile, files, engine::computePI());
    }

    engine::ControlContents controls;
    MemoryTextFiles files;
};

} // namespace kestrix::testing
