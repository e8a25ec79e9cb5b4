// SPDX-License-Identifier: GPL-3.0-or-later
// Runs every benchmark in one process, then prints the ratios the targets are stated in, each from
// two benchmarks measured in this same run:
//   the engine's FFT over the plain port (at most 1: bit-identical and no slower);
//   a whole 65536-point run over the floor of its I/O (at most 1.3), band off and every switch on;
//   for information, the spectrum file's text as the engine writes it over the shortest to_chars texts;
//   the averaged analysis of a ten-minute recording over the floor of its reading and transforms (at
//   most 1.3), from a Wave file and from text;
//   the whole averaged job as a fresh kestrix-batch process over scipy's Welch method as a Python
//   script (at most 1/3 from the Wave file, 1/2 from text);
//   two real segments' transforms, the engine's against FFTW's r2c (at most 1), where FFTW is installed;
//   the averaged analysis and the spectrogram of ten minutes (65536 points) and of an hour (4096
//   points) on one thread over FFTW's floor (at most 1), on every core over one thread (at most 0.6 on
//   two cores), and scipy's Welch method over them (at least 20).
// Unless told otherwise the runs are repeated 5 times and interleaved at random, so drifts in a shared
// machine's load hit both sides of a ratio alike; only the aggregates are listed, and each ratio is
// taken of the two medians.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include <unistd.h>

namespace {

// The console report, plus every repetition's real time (seconds per iteration) by benchmark name.
class RatioReporter final : public benchmark::ConsoleReporter
{
public:
    using ConsoleReporter::ConsoleReporter;

    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs) {
            if (run.error_occurred) {
                continue;
            }
            const double dblSeconds = run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
            if (run.run_type == Run::RT_Iteration) {
                dblTimes[run.run_name.str()].push_back(dblSeconds);
            } else if (run.aggregate_name == "median") {
                dblMedians[run.run_name.str()] = dblSeconds;
                lngRepetitions[run.run_name.str()] = static_cast<std::size_t>(run.repetitions);
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }

    // The median real time of a benchmark, or a negative value when it did not run.
    double median(const std::string& strName) const
    {
        if (const auto found = dblTimes.find(strName); found != dblTimes.end()) {
            std::vector<double> dblSorted = found->second;
            std::sort(dblSorted.begin(), dblSorted.end());
            const std::size_t lngMiddle = dblSorted.size() / 2;
            return dblSorted.size() % 2 == 1 ? dblSorted[lngMiddle]
                                             : (dblSorted[lngMiddle - 1] + dblSorted[lngMiddle]) / 2;
        }
        if (const auto found = dblMedians.find(strName); found != dblMedians.end()) {
            return found->second;
        }
        return -1.0;
    }

    std::size_t samples(const std::string& strName) const
    {
        if (const auto found = dblTimes.find(strName); found != dblTimes.end()) {
            return found->second.size();
        }
        const auto found = lngRepetitions.find(strName);
        return found == lngRepetitions.end() ? 0 : found->second;
    }

private:
    std::map<std::string, std::vector<double>> dblTimes;
    std::map<std::string, double> dblMedians;
    std::map<std::string, std::size_t> lngRepetitions;
};

// A ratio of medians: the numerator (divided by dblPerItem, for a time per file) over the sum of one or
// two denominators, against a target that is a most or, with blnAtLeast, a least.
struct Ratio
{
    const char* strLabel;
    const char* strNumerator;
    const char* strDenominator;
    double dblTarget; // 0: reported for information only
    const char* strDenominator2 = nullptr;
    double dblPerItem = 1.0;
    bool blnAtLeast = false;
};

void printRatios(const RatioReporter& reporter)
{
    constexpr Ratio ratios[] = {
        {"FFT 1024 points      engine/plain port", "fft/engine/1024", "fft/plain_port/1024", 1.0},
        {"FFT 65536 points     engine/plain port", "fft/engine/65536", "fft/plain_port/65536", 1.0},
        {"FFT 65536 points     plan/engine", "fft/plan/65536", "fft/engine/65536", 1.0},
        {"spectrum file text   engine/to_chars", "text/spectrum_csv/engine", "text/spectrum_csv/to_chars", 0.0},
        {"run, band+Wave off   run/floor", "run65536/band_off/engine", "run65536/band_off/io_floor", 1.3},
        {"run, every switch on run/floor", "run65536/all_on/engine", "run65536/all_on/io_floor", 1.3},
        {"fresh process, all on   process/(floor + bare start)", "process65536/all_on/fresh",
         "run65536/all_on/io_floor", 1.5, "process/bare_start"},
        {"200 files, -j 1 over -j 2 (throughput gain)", "batch200/band_off/j1/iterations:1",
         "batch200/band_off/j2/iterations:1", 1.7, nullptr, 1.0, true},
        {"200 files, -j 1 per file / in-process run", "batch200/band_off/j1/iterations:1", "run65536/band_off/engine",
         1.2, nullptr, 200.0},
        {"averaged, 16-bit WAV analysis/floor", "average/wav/engine", "average/wav/floor", 1.3},
        {"averaged, text       analysis/floor", "average/text/engine", "average/text/floor", 1.3},
        {"octave 1/3 + A, WAV  analysis/floor", "octave/wav/engine/1/real_time", "octave/wav/floor", 3.0},
        {"octave 1/3 + A, WAV  every core/one thread", "octave/wav/every_core/0/real_time",
         "octave/wav/engine/1/real_time", 0.6},
        {"process, WAV   kestrix-batch/Python", "process/wav/kestrix/iterations:1", "process/wav/python/iterations:1",
         1.0 / 3},
        {"process, text  kestrix-batch/Python", "process/text/kestrix/iterations:1", "process/text/python/iterations:1",
         1.0 / 2},
        {"two segments, 1024 points   engine/FFTW r2c", "fft_pair/engine/1024", "fft_pair/fftw_r2c/1024", 1.0},
        {"two segments, 4096 points   engine/FFTW r2c", "fft_pair/engine/4096", "fft_pair/fftw_r2c/4096", 1.0},
        {"two segments, 65536 points  engine/FFTW r2c", "fft_pair/engine/65536", "fft_pair/fftw_r2c/65536", 1.0},
        {"two segments, 1024 points   own FFT/FFTW r2c", "fft_pair/own_fft/1024", "fft_pair/fftw_r2c/1024", 0.0},
        {"two segments, 4096 points   own FFT/FFTW r2c", "fft_pair/own_fft/4096", "fft_pair/fftw_r2c/4096", 0.0},
        {"two segments, 65536 points  own FFT/FFTW r2c", "fft_pair/own_fft/65536", "fft_pair/fftw_r2c/65536", 0.0},
        {"averaged 10 min, one thread/FFTW floor", "long/average10min/threads1/real_time",
         "long/average10min/fftw_floor/real_time", 1.0},
        {"averaged 10 min, every core/one thread", "long/average10min/every_core/real_time",
         "long/average10min/threads1/real_time", 0.6},
        {"spectrogram 10 min, one thread/FFTW floor", "long/spectrogram10min/threads1/real_time",
         "long/average10min/fftw_floor/real_time", 1.0},
        {"spectrogram 10 min, every core/one thread", "long/spectrogram10min/every_core/real_time",
         "long/spectrogram10min/threads1/real_time", 0.6},
        {"averaged 10 min, two one-thread analyses at once/two in turn (the machine's bound)",
         "long/average10min/two_at_once/real_time", "long/average10min/threads1/real_time", 0.0, nullptr, 2.0},
        {"spectrogram 10 min, two one-thread analyses at once/two in turn (the machine's bound)",
         "long/spectrogram10min/two_at_once/real_time", "long/spectrogram10min/threads1/real_time", 0.0, nullptr, 2.0},
        {"Python/averaged 10 min, one thread (WAV)", "process/wav/python/iterations:1",
         "long/average10min/threads1/real_time", 20.0, nullptr, 1.0, true},
        {"Python/averaged 10 min, every core (WAV)", "process/wav/python/iterations:1",
         "long/average10min/every_core/real_time", 20.0, nullptr, 1.0, true},
        {"averaged 1 h, one thread/FFTW floor", "long/average1h/threads1/iterations:1/real_time",
         "long/average1h/fftw_floor/iterations:1/real_time", 1.0},
        {"averaged 1 h, every core/one thread", "long/average1h/every_core/iterations:1/real_time",
         "long/average1h/threads1/iterations:1/real_time", 0.6},
        {"spectrogram 1 h, one thread/FFTW floor", "long/spectrogram1h/threads1/iterations:1/real_time",
         "long/average1h/fftw_floor/iterations:1/real_time", 1.0},
        {"spectrogram 1 h, every core/one thread", "long/spectrogram1h/every_core/iterations:1/real_time",
         "long/spectrogram1h/threads1/iterations:1/real_time", 0.6},
        {"Python/averaged 1 h, every core (WAV)", "process1h/python/iterations:1",
         "long/average1h/every_core/iterations:1/real_time", 20.0, nullptr, 1.0, true},
        {"process 1 h, Python/kestrix-batch (WAV)", "process1h/python/iterations:1", "process1h/kestrix/iterations:1",
         20.0, nullptr, 1.0, true},
    };
    std::printf("\nRatios of medians, measured side by side in this run:\n");
    for (const Ratio& ratio : ratios) {
        const double dblTop = reporter.median(ratio.strNumerator) / ratio.dblPerItem;
        double dblBottom = reporter.median(ratio.strDenominator);
        if (ratio.strDenominator2 != nullptr) {
            const double dblSecond = reporter.median(ratio.strDenominator2);
            dblBottom = dblSecond <= 0 ? -1.0 : dblBottom + dblSecond;
        }
        if (dblTop <= 0 || dblBottom <= 0) {
            continue;
        }
        const double dblRatio = dblTop / dblBottom;
        std::printf("  %s = %.2f  (%.3f ms / %.3f ms, %zu samples", ratio.strLabel, dblRatio, dblTop * 1e3,
                    dblBottom * 1e3, reporter.samples(ratio.strNumerator));
        if (ratio.dblTarget > 0) {
            const bool blnMet = ratio.blnAtLeast ? dblRatio >= ratio.dblTarget : dblRatio <= ratio.dblTarget;
            std::printf("; target %s %.2f: %s", ratio.blnAtLeast ? ">=" : "<=", ratio.dblTarget,
                        blnMet ? "met" : "MISSED");
        }
        std::printf(")\n");
    }
}

} // namespace

int main(int argc, char** argv)
{
    // Defaults first, so that the same flags given on the command line win.
    std::vector<char*> args{argv[0]};
    std::string strRepetitions = "--benchmark_repetitions=5";
    std::string strInterleave = "--benchmark_enable_random_interleaving=true";
    std::string strAggregates = "--benchmark_report_aggregates_only=true";
    args.push_back(strRepetitions.data());
    args.push_back(strInterleave.data());
    args.push_back(strAggregates.data());
    bool blnTabular = false;
    for (int i = 1; i < argc; ++i) {
        args.push_back(argv[i]);
        blnTabular = blnTabular || std::string_view(argv[i]) == "--benchmark_counters_tabular=true";
    }
    int intCount = static_cast<int>(args.size());
    args.push_back(nullptr);
    benchmark::Initialize(&intCount, args.data());
    if (benchmark::ReportUnrecognizedArguments(intCount, args.data())) {
        return 1;
    }
    auto options = benchmark::ConsoleReporter::OO_None;
    if (::isatty(STDOUT_FILENO) != 0) {
        options = benchmark::ConsoleReporter::OO_Color;
    }
    if (blnTabular) {
        options =
            static_cast<benchmark::ConsoleReporter::OutputOptions>(options | benchmark::ConsoleReporter::OO_Tabular);
    }
    RatioReporter reporter(options);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::fflush(stdout);
    printRatios(reporter);
    benchmark::Shutdown();
    return 0;
}
