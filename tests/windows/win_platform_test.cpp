// SPDX-License-Identifier: GPL-3.0-or-later
// The file services on Windows' own terms: UTF-8 names through the wide-character API, backslashes and
// drive letters, replacement in place, and the system's errors mapped to the failures POSIX systems
// report for the same cause.
#include "platform/failure.h"
#include "platform/std/errno_failure.h"
#include "platform/std/posix_file.h"
#include "platform/std/std_text_files.h"
#include "platform/win/win_system.h"
#include "support/expect_failure.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <windows.h>

namespace kestrix {
namespace {

using testing::expectFailure;
using testing::TempDir;

std::string readAll(platform::StdTextFiles& files, const std::string& strPath)
{
    const auto reader = files.openTextFile(strPath);
    std::string strText;
    while (!reader->atEndOfStream()) {
        strText += reader->readLine().strText;
        strText += '|';
    }
    return strText;
}

// What remains in the folder besides the named files: temporary files left behind would show here.
std::size_t entriesIn(const std::filesystem::path& folder)
{
    return static_cast<std::size_t>(
        std::distance(std::filesystem::directory_iterator(folder), std::filesystem::directory_iterator()));
}

TEST(WindowsFiles, SystemErrorsMapToTheFailuresOfTheSameCause)
{
    struct Case
    {
        unsigned long lngError;
        std::int32_t lngReading;
        std::int32_t lngWriting;
    };
    const Case cases[] = {
        {ERROR_FILE_NOT_FOUND, err::lngFileNotFound, err::lngPathNotFound},
        {ERROR_PATH_NOT_FOUND, err::lngFileNotFound, err::lngPathNotFound},
        {ERROR_ACCESS_DENIED, err::lngPermissionDenied, err::lngPermissionDenied},
        {ERROR_SHARING_VIOLATION, err::lngPermissionDenied, err::lngPermissionDenied},
        {ERROR_WRITE_PROTECT, err::lngPermissionDenied, err::lngPermissionDenied},
        {ERROR_DISK_FULL, err::lngDiskFull, err::lngDiskFull},
        {ERROR_HANDLE_DISK_FULL, err::lngDiskFull, err::lngDiskFull},
        {ERROR_FILE_TOO_LARGE, err::lngDiskFull, err::lngDiskFull},
        {ERROR_DIRECTORY, err::lngPathNotFound, err::lngPathNotFound},
        {ERROR_INVALID_NAME, err::lngPathFileAccess, err::lngPathFileAccess},
        {ERROR_GEN_FAILURE, err::lngPathFileAccess, err::lngPathFileAccess},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lngError);
        const int intErrno = platform::errnoForSystemError(c.lngError);
        EXPECT_EQ(platform::failureForErrno(intErrno, true), c.lngReading);
        EXPECT_EQ(platform::failureForErrno(intErrno, false), c.lngWriting);
    }
}

TEST(WindowsFiles, PathPartsTakeBothSeparatorsAndKeepADrivesRoot)
{
    platform::StdTextFiles files;
    EXPECT_EQ(files.pathSeparator(), '\\');
    EXPECT_EQ(files.getParentFolderName("C:\\meas\\motor.test.csv"), "C:\\meas");
    EXPECT_EQ(files.getParentFolderName("C:/meas/motor.csv"), "C:/meas");
    EXPECT_EQ(files.getParentFolderName("C:\\meas\\\\motor.csv"), "C:\\meas");
    EXPECT_EQ(files.getParentFolderName("C:\\motor.csv"), "C:\\");
    EXPECT_EQ(files.getParentFolderName("\\\\server\\share\\motor.csv"), "\\\\server\\share");
    EXPECT_EQ(files.getParentFolderName("motor.csv"), "");
    EXPECT_EQ(files.getBaseName("C:\\meas.d\\motor.test.csv"), "motor.test");
    EXPECT_EQ(files.getBaseName("C:/meas.d/motor"), "motor");
    EXPECT_EQ(files.getBaseName("D:\\x.y\\z"), "z");
}

TEST(WindowsFiles, Utf8NamesAreWrittenReadAndReplacedUnderTheirOwnName)
{
    TempDir dir;
    platform::StdTextFiles files;
    const std::string strName = "計測 ä Ω.csv";
    const std::string strPath = platform::utf8FromPath(dir.path / platform::pathFromUtf8(strName));
    for (const char* strLine : {"first", "second"}) {
        auto writer = files.createTextFile(strPath);
        writer->writeLine(strLine);
        writer->close();
    }
    // The file carries the name in Windows' own (UTF-16) terms, not the UTF-8 bytes read as a code page.
    EXPECT_TRUE(std::filesystem::exists(dir.path / platform::wideFromUtf8(strName)));
    EXPECT_EQ(entriesIn(dir.path), 1u);
    EXPECT_EQ(readAll(files, strPath), "second|");
    const std::string strOtherSpelling = platform::utf8FromPath(dir.path) + "/./" + strName;
    EXPECT_TRUE(files.sameFile(strPath, strOtherSpelling));
    EXPECT_EQ(files.getBaseName(strPath), "計測 ä Ω");
}

TEST(WindowsFiles, AnUnclosedWriterLeavesTheEarlierFileAndNoTemporaryFile)
{
    TempDir dir;
    platform::StdTextFiles files;
    const std::string strPath = dir.file("kept_SPC.csv");
    testing::writeBytes(strPath, "old\r\n");
    {
        auto writer = files.createTextFile(strPath);
        writer->writeLine("new");
        EXPECT_EQ(entriesIn(dir.path), 2u); // the temporary file beside the old one
    }
    EXPECT_EQ(testing::readBytes(strPath), "old\r\n");
    EXPECT_EQ(entriesIn(dir.path), 1u);
}

TEST(WindowsFiles, RefusalsReadTheSameAsOnPosixSystems)
{
    TempDir dir;
    platform::StdTextFiles files;
    const std::string strLocked = dir.file("locked_SPC.csv");
    testing::writeBytes(strLocked, "old\r\n");
    ASSERT_TRUE(::SetFileAttributesW(platform::wideFromUtf8(strLocked).c_str(), FILE_ATTRIBUTE_READONLY));
    expectFailure(err::lngPermissionDenied, [&] { files.createTextFile(strLocked); });
    EXPECT_EQ(testing::readBytes(strLocked), "old\r\n");
    ::SetFileAttributesW(platform::wideFromUtf8(strLocked).c_str(), FILE_ATTRIBUTE_NORMAL);

    std::filesystem::create_directory(dir.path / "taken_SPC.csv");
    expectFailure(err::lngPathFileAccess, [&] { files.createTextFile(dir.file("taken_SPC.csv")); });
    expectFailure(err::lngPathFileAccess, [&] { files.openTextFile(dir.file("taken_SPC.csv")); });
    expectFailure(err::lngPathNotFound, [&] { files.createTextFile(dir.file("no\\such\\x.csv")); });
    expectFailure(err::lngFileNotFound, [&] { files.openTextFile(dir.file("missing.csv")); });
    // A device has no end that comes: refused like a FIFO on POSIX systems.
    expectFailure(err::lngPathFileAccess, [&] { files.openTextFile("NUL"); });
}

TEST(WindowsFiles, AFileHeldOpenByAnotherProgramIsStillReadable)
{
    TempDir dir;
    platform::StdTextFiles files;
    const std::string strPath = dir.file("logging.csv");
    testing::writeBytes(strPath, "1\r\n2\r\n");
    // A logger that keeps its file open for writing while it records.
    const HANDLE hLogger =
        ::CreateFileW(platform::wideFromUtf8(strPath).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(hLogger, INVALID_HANDLE_VALUE);
    EXPECT_EQ(readAll(files, strPath), "1|2|");
    ::CloseHandle(hLogger);
}

} // namespace
} // namespace kestrix
