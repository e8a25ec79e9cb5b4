// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/failure.h"

#include <string>
#include <string_view>

// The error report of an operation with an error trap, as the window shows it: two message boxes.
namespace kestrix::ui {

// First box: "Error In <operation>()", title "ABNORMAL", style 48.
std::string errorReportHeading(std::string_view strOperation);
inline constexpr std::string_view strErrorReportTitle = "ABNORMAL";

// Second box: "Error Code : " + blank-or-minus + digits + source + CR LF + description, style 0.
std::string errorReportDetail(const KestrixError& failure);

} // namespace kestrix::ui
