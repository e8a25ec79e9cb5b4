// SPDX-License-Identifier: GPL-3.0-or-later
#include "csv_line.h"

namespace kestrix::engine {

std::string csvField(std::string_view strText)
{
    if (strText.find_first_of(",\"\r\n") == std::string_view::npos) {
        return std::string(strText);
    }
    std::string strField(1, '"');
    for (const char chr : strText) {
        strField += chr;
        if (chr == '"') {
            strField += '"';
        }
    }
    strField += '"';
    return strField;
}

std::string csvLine(std::span<const std::string> strFields)
{
    std::string strLine;
    for (const std::string& strField : strFields) {
        if (&strField != strFields.data()) {
            strLine += ',';
        }
        strLine += csvField(strField);
    }
    return strLine;
}

} // namespace kestrix::engine
