// SPDX-License-Identifier: GPL-3.0-or-later
// Files put in place together, and temporary files removed when a signal ends the process.
#include "platform/std/atomic_file_set.h"
#include "platform/std/std_text_files.h"
#include "platform/std/temporary_files.h"
#include "support/expect_failure.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <map>

#include <sys/wait.h>
#include <unistd.h>

namespace kestrix {
namespace {

using testing::TempDir;

// Every name in the folder with its bytes (a folder's as "<folder>").
std::map<std::string, std::string> contentsOf(const TempDir& dir)
{
    std::map<std::string, std::string> contents;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path)) {
        contents[entry.path().filename().string()] =
            entry.is_directory() ? "<folder>" : testing::readBytes(entry.path().string());
    }
    return contents;
}

TEST(AtomicFileSet, PutsEveryFileInPlaceAtCommitAndNothingBefore)
{
    TempDir dir;
    platform::StdTextFiles files;
    testing::writeBytes(dir.file("a.csv"), "old a\r\n");
    {
        const std::unique_ptr<platform::FileSet> set = files.createFileSet();
        set->add(dir.file("a.csv")).writeLine("new a");
        set->add(dir.file("b.csv")).writeLine("new b");
        EXPECT_EQ(testing::readBytes(dir.file("a.csv")), "old a\r\n");
        EXPECT_FALSE(std::filesystem::exists(dir.file("b.csv")));
        set->commit();
    }
    EXPECT_EQ(contentsOf(dir), (std::map<std::string, std::string>{{"a.csv", "new a\r\n"}, {"b.csv", "new b\r\n"}}));

    // A set abandoned before its commit replaces nothing and leaves no temporary file.
    {
        const std::unique_ptr<platform::FileSet> set = files.createFileSet();
        set->add(dir.file("a.csv")).writeLine("lost");
    }
    EXPECT_EQ(contentsOf(dir), (std::map<std::string, std::string>{{"a.csv", "new a\r\n"}, {"b.csv", "new b\r\n"}}));
}

// The second file cannot take its name (a folder took it after the set began): the first, already in
// place, is undone, so both names hold what they held before and nothing else is left.
TEST(AtomicFileSet, AFileThatCannotBePutInPlaceUndoesTheOthers)
{
    for (const bool blnEarlierFiles : {true, false}) {
        SCOPED_TRACE(blnEarlierFiles ? "with earlier files" : "without earlier files");
        TempDir dir;
        platform::StdTextFiles files;
        if (blnEarlierFiles) {
            testing::writeBytes(dir.file("a.csv"), "old a\r\n");
        }
        std::map<std::string, std::string> expected = contentsOf(dir);
        expected["b.csv"] = "<folder>";
        const std::unique_ptr<platform::FileSet> set = files.createFileSet();
        set->add(dir.file("a.csv")).writeLine("new a");
        set->add(dir.file("b.csv")).writeLine("new b");
        std::filesystem::create_directory(dir.file("b.csv"));
        testing::expectFailure(err::lngPathFileAccess, [&] { set->commit(); });
        EXPECT_EQ(contentsOf(dir), expected);
    }
}

// Runs body in a child process and returns how it ended (waitpid's status).
template <typename Body> int inChild(Body&& body)
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        body();
        ::_exit(0);
    }
    int intStatus = 0;
    ::waitpid(pid, &intStatus, 0);
    return intStatus;
}

TEST(TemporaryFiles, ASignalRemovesTheTemporaryFilesAndStillEndsTheProcess)
{
    for (const int intSignal : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(intSignal);
        TempDir dir;
        testing::writeBytes(dir.file("out.csv"), "earlier\r\n");
        const int intStatus = inChild([&] {
            platform::removeTemporaryFilesOnSignals();
            platform::StdTextFiles files;
            const auto writer = files.createTextFile(dir.file("out.csv"));
            writer->writeLine("half of it");
            const auto other = files.createTextFile(dir.file("other.csv"));
            std::raise(intSignal);
        });
        EXPECT_TRUE(WIFSIGNALED(intStatus));
        EXPECT_EQ(WTERMSIG(intStatus), intSignal);
        EXPECT_EQ(contentsOf(dir), (std::map<std::string, std::string>{{"out.csv", "earlier\r\n"}}));
    }
}

// A signal while files are being put in place waits until they are, then ends the process.
TEST(TemporaryFiles, ASignalWaitsForTheFilesBeingPutInPlace)
{
    TempDir dir;
    const int intStatus = inChild([&] {
        platform::removeTemporaryFilesOnSignals();
        platform::StdTextFiles files;
        const auto pending = files.createTextFile(dir.file("pending.csv"));
        {
            const platform::SignalDeferral deferral;
            std::raise(SIGTERM);
            testing::writeBytes(dir.file("after.csv"), "reached\r\n");
        }
        testing::writeBytes(dir.file("never.csv"), "x");
    });
    EXPECT_TRUE(WIFSIGNALED(intStatus));
    EXPECT_EQ(WTERMSIG(intStatus), SIGTERM);
    EXPECT_EQ(contentsOf(dir), (std::map<std::string, std::string>{{"after.csv", "reached\r\n"}}));
}

} // namespace
} // namespace kestrix
