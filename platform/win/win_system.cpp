// SPDX-License-Identifier: GPL-3.0-or-later
#include "win_system.h"

#include <windows.h>

namespace kestrix::platform {

std::wstring wideFromUtf8(std::string_view strText)
{
    if (strText.empty()) {
        return {};
    }
    const int lngBytes = static_cast<int>(strText.size());
    const int lngChars = ::MultiByteToWideChar(CP_UTF8, 0, strText.data(), lngBytes, nullptr, 0);
    std::wstring strWide(static_cast<std::size_t>(lngChars), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, strText.data(), lngBytes, strWide.data(), lngChars);
    return strWide;
}

std::string utf8FromWide(std::wstring_view strText)
{
    if (strText.empty()) {
        return {};
    }
    const int lngChars = static_cast<int>(strText.size());
    const int lngBytes = ::WideCharToMultiByte(CP_UTF8, 0, strText.data(), lngChars, nullptr, 0, nullptr, nullptr);
    std::string strUtf8(static_cast<std::size_t>(lngBytes), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, strText.data(), lngChars, strUtf8.data(), lngBytes, nullptr, nullptr);
    return strUtf8;
}

} // namespace kestrix::platform
