// SPDX-License-Identifier: GPL-3.0-or-later
#include "error_report.h"

namespace kestrix::ui {

std::string errorReportHeading(std::string_view strOperation)
{
    std::string strText = "Error In ";
    strText += strOperation;
    strText += "()";
    return strText;
}

std::string errorReportDetail(const KestrixError& failure)
{
    // The number as the display conversion writes it: a blank in the sign place unless negative.
    std::string strText = failure.number() >= 0 ? "Error Code :  " : "Error Code : ";
    strText += std::to_string(failure.number());
    strText += failure.source();
    strText += "\r\n";
    strText += failure.description();
    return strText;
}

} // namespace kestrix::ui
