// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <string>
#include <string_view>

namespace kestrix::ui {

// The engine's texts are UTF-8; the controls hold QStrings.
inline QString toQString(std::string_view strText)
{
    return QString::fromUtf8(strText.data(), static_cast<qsizetype>(strText.size()));
}

inline std::string toStdString(const QString& strText)
{
    return strText.toStdString();
}

} // namespace kestrix::ui
