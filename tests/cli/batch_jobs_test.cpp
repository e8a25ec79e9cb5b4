// SPDX-License-Identifier: GPL-3.0-or-later
// The batch at scale: -j, --files-from and the progress line.
#include "cli/batch.h"
#include "cli/ordered_jobs.h"
#include "cli/progress_line.h"
#include "platform/std/std_text_files.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <map>
#include <sstream>
#include <thread>

#include <fcntl.h>
#include <pty.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kestrix {
namespace {

using testing::TempDir;

constexpr std::string_view strBatchProgram = KESTRIX_BATCH_PROGRAM;

struct Outcome
{
    int lngStatus = 0;
    std::string strOut;
    std::string strErr;
};

Outcome runBatch(const std::vector<std::string>& strArgs, platform::TextFiles& files, const std::string& strInput = {})
{
    std::istringstream strIn(strInput);
    std::ostringstream strOut;
    std::ostringstream strErr;
    Outcome outcome;
    outcome.lngStatus = cli::runBatch(strArgs, cli::BatchStreams{strIn, strOut, strErr, false}, files);
    outcome.strOut = strOut.str();
    outcome.strErr = strErr.str();
    return outcome;
}

std::string samples(int lngLines, int lngSeed)
{
    std::string strContent;
    for (int i = 0; i < lngLines; ++i) {
        strContent += std::to_string((i * (37 + lngSeed)) % 2001 - 1000) + "\r\n";
    }
    return strContent;
}

// The text with every mention of one folder made another's.
std::string inFolder(std::string strText, const TempDir& from, const TempDir& to)
{
    for (std::size_t lngAt; (lngAt = strText.find(from.path.string())) != std::string::npos;) {
        strText.replace(lngAt, from.path.string().size(), to.path.string());
    }
    return strText;
}

// Every regular file of a folder with its bytes.
std::map<std::string, std::string> folderContents(const std::filesystem::path& path)
{
    std::map<std::string, std::string> contents;
    for (const auto& entry : std::filesystem::directory_iterator(path)) {
        if (!entry.is_regular_file()) {
            continue;
        }
        contents[entry.path().filename().string()] = testing::readBytes(entry.path().string());
    }
    return contents;
}

// A batch of good files of several lengths, a short one (refused), a missing one (failure), a FIFO
// (refused), two whose outputs collide (the later refused) and a file named like its own output
// (failure), written into dir; the FILE arguments in their order.
std::vector<std::string> mixedBatch(const TempDir& dir)
{
    std::vector<std::string> strFiles;
    for (int i = 0; i < 9; ++i) {
        std::string strName = std::to_string(i);
        strName.insert(0, "good").append(".csv");
        testing::writeBytes(dir.file(strName), samples(i % 3 == 0 ? 65536 : 1024, i));
        strFiles.push_back(dir.file(strName));
        if (i == 2) {
            testing::writeBytes(dir.file("short.csv"), samples(100, 0));
            strFiles.push_back(dir.file("short.csv"));
            strFiles.push_back(dir.file("missing.csv"));
        }
        if (i == 5) {
            testing::writeBytes(dir.file("good5.txt"), samples(1024, 5));
            strFiles.push_back(dir.file("good5.txt"));
            const std::string strFifo = dir.file("pipe.csv");
            EXPECT_EQ(::mkfifo(strFifo.c_str(), 0600), 0);
            strFiles.push_back(strFifo);
            testing::writeBytes(dir.file("rec.wav"), samples(1024, 9));
            strFiles.push_back(dir.file("rec.wav"));
        }
    }
    return strFiles;
}

TEST(BatchJobs, ManyAtOncePrintExactlyWhatOneAtATimePrintsAndWriteTheSameFiles)
{
    platform::StdTextFiles files;
    TempDir dirOne;
    std::vector<std::string> strArgs = mixedBatch(dirOne);
    Outcome one = runBatch(strArgs, files);
    ASSERT_EQ(one.lngStatus, 3);
    ASSERT_NE(one.strErr.find("short.csv: ファイルのデータ数が不足しています！"), std::string::npos) << one.strErr;
    const std::map<std::string, std::string> filesOne = folderContents(dirOne.path);

    for (const char* strJobs : {"2", "4", "0"}) {
        SCOPED_TRACE(std::string("-j ") + strJobs);
        TempDir dirMany;
        std::vector<std::string> strManyArgs = mixedBatch(dirMany);
        strManyArgs.insert(strManyArgs.begin(), {"-j", strJobs});
        Outcome many = runBatch(strManyArgs, files);
        // The same text, with this folder's name in place of the other's.
        EXPECT_EQ(many.lngStatus, one.lngStatus);
        EXPECT_EQ(inFolder(many.strOut, dirMany, dirOne), one.strOut);
        EXPECT_EQ(inFolder(many.strErr, dirMany, dirOne), one.strErr);
        EXPECT_EQ(folderContents(dirMany.path), filesOne);
    }
}

// The averaged analysis goes through the same batch: -j, lists, and every FILE refused or failed as
// one at a time would.
TEST(BatchJobs, TheAveragedAnalysisTakesJobsAndListsWithTheSameOutput)
{
    platform::StdTextFiles files;
    const auto averageBatch = [&](const TempDir& dir, std::vector<std::string> strOptions) {
        std::vector<std::string> strFiles = mixedBatch(dir);
        const std::string strList = dir.file("list.txt");
        std::string strListText;
        for (std::size_t i = strFiles.size() / 2; i < strFiles.size(); ++i) {
            strListText += strFiles[i] + "\n";
        }
        testing::writeBytes(strList, strListText);
        strOptions.insert(strOptions.begin(), "--average");
        strOptions.insert(strOptions.end(), strFiles.begin(), strFiles.begin() + std::ssize(strFiles) / 2);
        strOptions.insert(strOptions.end(), {"--files-from", strList});
        return runBatch(strOptions, files);
    };
    TempDir dirOne;
    const Outcome one = averageBatch(dirOne, {});
    EXPECT_EQ(one.lngStatus, 3);
    EXPECT_NE(one.strErr.find("pipe.csv: refused: a FIFO, not a regular file\n"), std::string::npos) << one.strErr;
    EXPECT_NE(one.strErr.find("short.csv: refused: too few samples for one segment"), std::string::npos) << one.strErr;
    EXPECT_NE(one.strErr.find("good5.txt: refused: its output file " + dirOne.file("good5_AVG_SPC.csv")),
              std::string::npos)
        << one.strErr;
    EXPECT_NE(one.strOut.find(dirOne.file("good8_AVG_SPC.csv") + "\n"), std::string::npos) << one.strOut;
    for (const char* strJobs : {"2", "0"}) {
        SCOPED_TRACE(std::string("-j ") + strJobs);
        TempDir dirMany;
        const Outcome many = averageBatch(dirMany, {"-j", strJobs});
        EXPECT_EQ(many.lngStatus, one.lngStatus);
        EXPECT_EQ(inFolder(many.strOut, dirMany, dirOne), one.strOut);
        EXPECT_EQ(inFolder(many.strErr, dirMany, dirOne), one.strErr);
    }
}

TEST(BatchJobs, FilesComeFromAListOrStandardInputInOrder)
{
    platform::StdTextFiles files;
    TempDir dir;
    for (const char* strName : {"a.csv", "b.csv", "c.csv"}) {
        testing::writeBytes(dir.file(strName), samples(1024, 1));
    }
    const std::string strList = dir.file("b.csv") + "\r\n\r\n" + dir.file("c.csv") + "\n";
    testing::writeBytes(dir.file("list.txt"), strList);
    const std::vector<std::string> strOptions{"--no-band", "--no-wave"};

    std::vector<std::string> strArgs = strOptions;
    strArgs.insert(strArgs.end(), {dir.file("a.csv"), "--files-from", dir.file("list.txt")});
    const Outcome fromFile = runBatch(strArgs, files);
    EXPECT_EQ(fromFile.lngStatus, 0) << fromFile.strErr;
    EXPECT_EQ(fromFile.strOut,
              dir.file("a") + "_SPC.csv\n" + dir.file("b") + "_SPC.csv\n" + dir.file("c") + "_SPC.csv\n");

    strArgs = strOptions;
    strArgs.insert(strArgs.end(), {"-j2", "--files-from=-"});
    const Outcome fromInput = runBatch(strArgs, files, strList);
    EXPECT_EQ(fromInput.lngStatus, 0) << fromInput.strErr;
    EXPECT_EQ(fromInput.strOut, dir.file("b") + "_SPC.csv\n" + dir.file("c") + "_SPC.csv\n");

    // A list that cannot be read is a usage error before any file is analysed.
    strArgs = strOptions;
    strArgs.insert(strArgs.end(), {dir.file("a.csv"), "--files-from", dir.file("nolist.txt")});
    const Outcome noList = runBatch(strArgs, files);
    EXPECT_EQ(noList.lngStatus, 2);
    EXPECT_EQ(noList.strOut, "");
    EXPECT_NE(noList.strErr.find("cannot read the list"), std::string::npos) << noList.strErr;

    for (const char* strBad : {"-1", "x", "2000", ""}) {
        EXPECT_EQ(runBatch({"-j", strBad, dir.file("a.csv")}, files).lngStatus, 2) << strBad;
    }
}

TEST(OrderedJobs, ReportsComeOutInSubmissionOrderWithinTheWindow)
{
    std::vector<int> lngEmitted;
    std::atomic<int> lngPending{0};
    int lngMostPending = 0;
    {
        cli::OrderedJobs jobs(3, 5, [&](cli::FileReport& report) {
            lngEmitted.push_back(report.lngStatus);
            --lngPending;
        });
        for (int i = 0; i < 40; ++i) {
            lngMostPending = std::max(lngMostPending, ++lngPending);
            jobs.submit([i] {
                // Earlier jobs take longer, so they finish after later ones.
                std::this_thread::sleep_for(std::chrono::microseconds(200 * (i % 4 == 0 ? 10 : 1)));
                return cli::FileReport{{}, {}, i};
            });
        }
    }
    std::vector<int> lngExpected(40);
    for (int i = 0; i < 40; ++i) {
        lngExpected[static_cast<std::size_t>(i)] = i;
    }
    EXPECT_EQ(lngEmitted, lngExpected);
    EXPECT_LE(lngMostPending, 5);
}

// The line counts its files in words that agree with the number ("1 file", not "1 files").
TEST(ProgressLine, CountsFilesInTheirNumber)
{
    for (const auto& [lngTotal, strExpected] :
         {std::pair{std::optional<std::size_t>{}, "kestrix-batch: 1 file, 00:00 elapsed"},
          std::pair{std::optional<std::size_t>{1}, "kestrix-batch: 1 of 1 file, 00:00 elapsed"},
          std::pair{std::optional<std::size_t>{3}, "kestrix-batch: 1 of 3 files, 00:00 elapsed"}}) {
        std::ostringstream strErr;
        cli::ProgressLine progress(strErr, true, lngTotal);
        progress.fileDone(0);
        EXPECT_EQ(strErr.str().substr(0, 4), "\r\033[K");
        EXPECT_EQ(strErr.str().substr(4, std::string_view(strExpected).size()), strExpected);
    }
}

// Starts the real program on strArgs with the stream fdStream (standard output or error) going to
// fdTarget and the other one to /dev/null; its process id.
pid_t startProgram(const std::vector<std::string>& strArgs, int fdStream, int fdTarget)
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(fdTarget, fdStream);
        const int fdNull = ::open("/dev/null", O_WRONLY);
        ::dup2(fdNull, fdStream == STDOUT_FILENO ? STDERR_FILENO : STDOUT_FILENO);
        std::vector<char*> argv{const_cast<char*>(strBatchProgram.data())};
        for (const std::string& strArg : strArgs) {
            argv.push_back(const_cast<char*>(strArg.c_str()));
        }
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    return pid;
}

// Runs the real program with standard error on a pseudo-terminal (blnTerminal) or a pipe; what it
// wrote there.
std::string stderrOfProgram(const std::vector<std::string>& strArgs, bool blnTerminal)
{
    int fdRead = -1;
    int fdWrite = -1;
    if (blnTerminal) {
        EXPECT_EQ(::openpty(&fdRead, &fdWrite, nullptr, nullptr, nullptr), 0);
    } else {
        int fdPipe[2];
        EXPECT_EQ(::pipe(fdPipe), 0);
        fdRead = fdPipe[0];
        fdWrite = fdPipe[1];
    }
    const pid_t pid = startProgram(strArgs, STDERR_FILENO, fdWrite);
    ::close(fdWrite);
    std::string strText;
    std::array<char, 4096> chrBuffer{};
    for (;;) {
        const ssize_t lngRead = ::read(fdRead, chrBuffer.data(), chrBuffer.size());
        if (lngRead <= 0) {
            break; // a pseudo-terminal reports EIO once the program has ended
        }
        strText.append(chrBuffer.data(), static_cast<std::size_t>(lngRead));
    }
    ::close(fdRead);
    int intWait = 0;
    ::waitpid(pid, &intWait, 0);
    EXPECT_TRUE(WIFEXITED(intWait));
    return strText;
}

// Runs the real program on strArgs, waits for its first line on standard output, sends it intSignal
// and waits for its end; how it ended.
int interruptedProgram(const std::vector<std::string>& strArgs, int intSignal)
{
    int fdPipe[2];
    EXPECT_EQ(::pipe(fdPipe), 0);
    const pid_t pid = startProgram(strArgs, STDOUT_FILENO, fdPipe[1]);
    ::close(fdPipe[1]);
    char chr = 0;
    while (::read(fdPipe[0], &chr, 1) == 1 && chr != '\n') {
    }
    ::kill(pid, intSignal);
    ::close(fdPipe[0]);
    int intStatus = 0;
    ::waitpid(pid, &intStatus, 0);
    return intStatus;
}

// A batch ended by SIGINT or SIGTERM in the middle of writing leaves no temporary file behind (before,
// most such runs did), and still ends by the signal.
TEST(BatchJobs, ASignalLeavesNoTemporaryFile)
{
    TempDir dir;
    std::vector<std::string> strArgs{"-j", "2", "--points", "65536"};
    for (int i = 0; i < 12; ++i) {
        const std::string strPath = dir.file(std::string("f").append(std::to_string(i)).append(".csv"));
        testing::writeBytes(strPath, samples(65536, i));
        strArgs.push_back(strPath);
    }
    for (const int intSignal : {SIGINT, SIGTERM, SIGINT, SIGTERM, SIGINT, SIGTERM}) {
        SCOPED_TRACE(intSignal);
        const int intStatus = interruptedProgram(strArgs, intSignal);
        EXPECT_TRUE(WIFSIGNALED(intStatus) && WTERMSIG(intStatus) == intSignal) << intStatus;
        for (const auto& entry : std::filesystem::directory_iterator(dir.path)) {
            EXPECT_FALSE(entry.path().filename().string().ends_with(".tmp")) << entry.path();
        }
    }
}

TEST(BatchJobs, ProgressLineOnlyOnATerminalAndGoneAtTheEndWithASum)
{
    TempDir dir;
    std::vector<std::string> strArgs{"--no-band", "--no-wave"};
    int i = 0;
    for (const char* strName : {"f0.csv", "f1.csv", "f2.csv", "f3.csv"}) {
        testing::writeBytes(dir.file(strName), samples(i == 3 ? 10 : 65536, i));
        strArgs.push_back(dir.file(strName));
        ++i;
    }
    const std::string strTerminal = stderrOfProgram(strArgs, true);
    EXPECT_NE(strTerminal.find("kestrix-batch: 3 analysed, 1 refused, 0 failed"), std::string::npos) << strTerminal;
    // The line was erased before the refusal and the sum were printed.
    EXPECT_NE(strTerminal.find("\r\033[K"), std::string::npos) << strTerminal;

    const std::string strPipe = stderrOfProgram(strArgs, false);
    EXPECT_EQ(strPipe.find("analysed,"), std::string::npos) << strPipe;
    EXPECT_EQ(strPipe.find('\r'), std::string::npos) << strPipe;
    EXPECT_EQ(strPipe.rfind("kestrix-batch: " + dir.file("f3.csv") + ": ", 0), 0u) << strPipe;

    // The averaged analysis shows the same line and sum.
    std::vector<std::string> strAverage = strArgs;
    strAverage.erase(strAverage.begin(), strAverage.begin() + 2);
    strAverage.insert(strAverage.begin(), "--average");
    const std::string strAveraged = stderrOfProgram(strAverage, true);
    EXPECT_NE(strAveraged.find("kestrix-batch: 3 analysed, 1 refused, 0 failed"), std::string::npos) << strAveraged;

    // One FILE: no progress and no sum, even on a terminal.
    const std::string strOne = stderrOfProgram({"--no-band", "--no-wave", dir.file("f0.csv")}, true);
    EXPECT_EQ(strOne, "");
}

} // namespace
} // namespace kestrix
