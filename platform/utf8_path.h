// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace kestrix::platform {

// A UTF-8 path for std::filesystem and back: a plain std::string would be taken in the system's
// narrow code page on Windows. On POSIX systems the bytes pass unchanged.
inline std::filesystem::path pathFromUtf8(std::string_view strPath)
{
    return std::filesystem::path(std::u8string(strPath.begin(), strPath.end()));
}

inline std::string utf8FromPath(const std::filesystem::path& path)
{
    const std::u8string strText = path.u8string();
    return std::string(strText.begin(), strText.end());
}

} // namespace kestrix::platform
