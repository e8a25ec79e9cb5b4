// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/run/analysis_parameters.h"

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kestrix::cli {

// Where FILEs come from, in the order given: a FILE named on the command line, or a list of FILEs
// (one path a line) named by --files-from ("-" for standard input).
struct FileSourceArg
{
    bool blnList = false;
    std::string strText;
};

// What the command line asks for.
struct BatchOptions
{
    engine::ControlContents controls;
    std::vector<FileSourceArg> sources;
    int lngJobs = 1; // files analysed at once; 0 for every core
    bool blnHelp = false;
    bool blnVersion = false;
};

// The usage text printed by --help.
extern const std::string_view strUsage;

// Parses the arguments (without the program name); nothing, with the usage error's text in strError,
// when they are not understood.
std::optional<BatchOptions> parseOptions(std::span<const std::string> strArgs, std::string& strError);

} // namespace kestrix::cli
