// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

namespace kestrix::testing {

// A fresh folder removed again with everything in it.
class TempDir
{
public:
    TempDir()
    {
        std::random_device random;
        path = std::filesystem::temp_directory_path() / ("kestrix-test-" + std::to_string(random()));
        std::filesystem::create_directories(path);
    }
    ~TempDir()
    {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    std::string file(const std::string& strName) const
    {
        return (path / strName).string();
    }
    std::filesystem::path path;
};

inline void writeBytes(const std::string& strPath, const std::string& strContent)
{
    std::ofstream stream(strPath, std::ios::binary | std::ios::trunc);
    stream << strContent;
}

inline std::string readBytes(const std::string& strPath)
{
    std::ifstream stream(strPath, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>());
}

} // namespace kestrix::testing
