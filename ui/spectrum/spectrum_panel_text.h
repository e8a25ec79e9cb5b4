// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Number texts of the spectrum view, shared by its source files (not part of its interface).

#include "engine/run/number_text.h"
#include "engine/view/readable_number.h"

#include <QString>

#include <string>

namespace kestrix::ui {

inline QString fromUtf8(const std::string& strText)
{
    return QString::fromUtf8(strText.data(), static_cast<qsizetype>(strText.size()));
}

// As the spectrum file writes the value (15 significant digits).
inline QString generalText(double dblValue)
{
    return fromUtf8(engine::generalNumberText(dblValue));
}

// To be read at a glance: four significant digits with an SI prefix ("88.82 µV").
inline QString voltsText(double dblVolts)
{
    constexpr int intReadableDigits = 4;
    return fromUtf8(engine::siText(dblVolts, intReadableDigits, "V"));
}

} // namespace kestrix::ui
