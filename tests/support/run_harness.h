#pragma once

#include "engine/analysis_run.h"
#include "support/fakes.h"

#include <gtest/gtest.h>

namespace kestrix::testing {

// A window's worth of state around one run: the control contents (start-up values), scripted
// services, files in memory and the two program-wide values.
struct RunHarness : ::testing::Test
{
    RunHarness()
    {
        globals.dblPI = engine::computePI();
    }

    engine::ControlContents controls;
    FakePlatformUi ui;
    MemoryTextFiles files;
    ScriptedClock clock;
    engine::GlobalDefine globals;
    engine::AnalysisRun run{controls, ui, files, clock, globals};
};

} // namespace kestrix::testing
