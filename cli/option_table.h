// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "batch_options.h"
#include "option_checks.h"

#include <span>
#include <string>
#include <string_view>

// Every option of kestrix-batch, declared once: its names, its value, the analyses it applies to, the
// option it needs, its help line, how its value is taken and how its entry is checked. The parser, the
// checks and the help texts all read this one table.
namespace kestrix::cli {

struct OptionDef
{
    std::string_view strName;  // the long name, "--fs"
    std::string_view strAlias; // a short name ("-j"), or empty
    std::string_view strValue; // the value's name in the help ("TEXT", "N"); empty for a switch
    Modes modes;               // the analyses it applies to
    std::string_view strNeeds; // an option it is meaningless without, or empty
    std::string_view strHelp;  // one line of help (wrapped where it is printed)
    // Takes the value (the empty text for a switch) into the options; the usage error's reason, else empty.
    std::string (*take)(BatchOptions& options, const std::string& strValue);
    // Checks the entry (typed or default) once before any FILE; nullptr where there is nothing to check.
    EntryCheck (*check)(BatchOptions& options) = nullptr;
    // How many values follow the option (1 or 2 where strValue names any); two come to take joined by
    // chrValueSeparator and cannot be given with "=".
    int intValues = 1;
};

// The options in the order they are checked and listed.
std::span<const OptionDef> optionTable();

// The option of a name or alias as typed (without "=VALUE"), or nullptr.
const OptionDef* findOption(std::string_view strName);

} // namespace kestrix::cli
