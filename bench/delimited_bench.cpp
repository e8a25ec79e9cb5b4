// SPDX-License-Identifier: GPL-3.0-or-later
// The delimited-text reader on 8 MB of three kinds of lines, in bytes a second: a logger's ordinary lines
// (time, value, temperature), lines of 32 767 empty fields whose chosen column lies beyond them, and
// quoted headings of 32 000 doubled quotes. Every kind is read in one pass: the last two once took
// 62 ms a line and 7 s for 12.8 MB, where the first reads at the reader's ordinary speed.
#include "bench/bench_setup.h"
#include "engine/recordings/text_samples.h"
#include "platform/std/std_text_files.h"

#include <benchmark/benchmark.h>

#include <fstream>

namespace kestrix::bench {

namespace {

constexpr std::size_t lngTextBytes = 8 * 1024 * 1024;

enum class LineKind {
    Plain,
    EmptyFields,
    DoubledQuotes,
};

const std::string& delimitedFile(LineKind kind)
{
    static std::string strPaths[3];
    std::string& strPath = strPaths[static_cast<int>(kind)];
    if (strPath.empty()) {
        std::string strLine;
        if (kind == LineKind::Plain) {
            strLine = "0.0125,-1234.5,21.5";
        } else if (kind == LineKind::EmptyFields) {
            strLine = std::string(32767, ',');
        } else {
            strLine = "\"" + std::string(64000, '"') + "\"";
        }
        std::string strText;
        while (strText.size() < lngTextBytes) {
            strText += strLine + "\r\n";
        }
        strPath = benchFiles().strFolder + "/delimited" + std::to_string(static_cast<int>(kind)) + ".csv";
        std::ofstream(strPath, std::ios::binary) << strText;
    }
    return strPath;
}

void readDelimited(benchmark::State& state, LineKind kind)
{
    const std::string& strPath = delimitedFile(kind);
    // A column the lines have (the second), one beyond them, a name none of them holds.
    const engine::ColumnChoice column = kind == LineKind::Plain         ? engine::ColumnChoice{2, {}}
                                        : kind == LineKind::EmptyFields ? engine::ColumnChoice{40000, {}}
                                                                        : engine::ColumnChoice{0, "accel"};
    platform::StdTextFiles files;
    std::vector<double> dblBlock(64 * 1024);
    std::size_t lngBytes = 0;
    for (auto _ : state) {
        const auto stream = engine::columnTextStream(files.openTextFile(strPath), engine::Delimiter::Comma, column);
        while (stream->readCounts(dblBlock) == dblBlock.size()) {
        }
        benchmark::DoNotOptimize(stream->refusal());
        lngBytes += static_cast<std::size_t>(std::ifstream(strPath, std::ios::binary | std::ios::ate).tellg());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(lngBytes));
}

BENCHMARK_CAPTURE(readDelimited, plain, LineKind::Plain)->Name("delimited/plain_lines")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(readDelimited, empty_fields, LineKind::EmptyFields)
    ->Name("delimited/empty_fields_column_absent")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(readDelimited, doubled_quotes, LineKind::DoubledQuotes)
    ->Name("delimited/doubled_quotes_in_headings")
    ->Unit(benchmark::kMillisecond);

} // namespace

} // namespace kestrix::bench
