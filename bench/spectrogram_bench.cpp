// SPDX-License-Identifier: GPL-3.0-or-later
// The spectrogram of a ten-minute recording at 25 600 Hz (a motor running up from 5 to 50 Hz with
// five harmonics over noise), in 65536-point Hann segments with 50 % overlap: 467 segments x 25601 lines.
// Measured side by side in one run, each repeated and given as the median:
//   computing it: the averager feeding the spectrogram model, over the averager alone (its floor);
//   the first drawing of the plot (1000 x 600 px: the level range suggested, the picture rendered,
//   axes and colour bar), over one redraw of the averaged spectrum's plot (25601 lines, same size);
//   a redraw after the level range changed (whole view rendered again) and after a zoom (a minute and
//   a tenth of the frequencies), and a repaint that only moves the cursor (picture kept).
//
//   kestrix_spectrogram_bench [--repetitions N] [--png PATH]   (PATH: the full view as drawn)

#include "engine/recordings/averaged_spectrum.h"
#include "engine/recordings/spectrogram.h"
#include "engine/run/global_define.h"
#include "engine/view/spectrogram_image.h"
#include "ui/spectrum/spectrogram_plot.h"
#include "ui/spectrum/spectrum_plot.h"

#include <QApplication>
#include <QImage>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <numbers>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace {

using namespace kestrix;

constexpr double dblSampFreq = 25600.0;
constexpr std::int64_t lngSamples = 600 * 25600;
constexpr double dblVoltsPerCount = 5.0 / 32767;
const engine::AverageSettings settings{65536, engine::WindowKind::Hann, 50.0};
const QSize sizPlot(1000, 600);

// The recording as 16-bit counts, as a converter gives them.
std::vector<std::int16_t> runUpRecording()
{
    std::vector<std::int16_t> intCounts(static_cast<std::size_t>(lngSamples));
    std::mt19937 random(1);
    std::normal_distribution<double> noise(0.0, 20.0);
    double dblPhase = 0.0; // of the fundamental, radians
    for (std::size_t n = 0; n < intCounts.size(); ++n) {
        const double dblTime = static_cast<double>(n) / dblSampFreq;
        dblPhase += 2.0 * std::numbers::pi * (5.0 + 45.0 * dblTime / 600.0) / dblSampFreq;
        double dblValue = noise(random);
        for (int k = 1; k <= 6; ++k) {
            dblValue += 8000.0 / k * std::sin(k * dblPhase);
        }
        intCounts[n] = static_cast<std::int16_t>(std::lround(std::clamp(dblValue, -32768.0, 32767.0)));
    }
    return intCounts;
}

// Feeds the recording in 64 Ki-sample chunks, as a reader would.
void feed(engine::SpectrumAverager& averager, const std::vector<std::int16_t>& intCounts)
{
    std::vector<double> dblChunk(65536);
    for (std::size_t lngAt = 0; lngAt < intCounts.size(); lngAt += dblChunk.size()) {
        const std::size_t lngCount = std::min(dblChunk.size(), intCounts.size() - lngAt);
        std::copy_n(intCounts.begin() + static_cast<std::ptrdiff_t>(lngAt), lngCount, dblChunk.begin());
        averager.addSamples(std::span<const double>(dblChunk).first(lngCount));
    }
    averager.finish();
}

double seconds(const std::function<void()>& work)
{
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double median(std::vector<double> dblValues)
{
    std::sort(dblValues.begin(), dblValues.end());
    return dblValues[dblValues.size() / 2];
}

std::shared_ptr<engine::Spectrogram> computeSpectrogram(const std::vector<std::int16_t>& intCounts)
{
    auto spectrogram = std::make_shared<engine::Spectrogram>(
        engine::spectrogramLayout(settings, dblSampFreq, dblVoltsPerCount, lngSamples));
    engine::SpectrumAverager averager(settings, engine::computePI(), spectrogram->segmentHandler());
    feed(averager, intCounts);
    return spectrogram;
}

// One redraw of the averaged spectrum's plot at the same size: the yardstick of a redraw.
double spectrumRedraw()
{
    ui::PlotTrace trace{QStringLiteral("average"), Qt::blue, {}, {}, false};
    std::mt19937 random(2);
    std::exponential_distribution<double> level(1e4);
    for (int k = 0; k < 25601; ++k) {
        trace.dblFreq.push_back(k * dblSampFreq / 65536);
        trace.dblVolts.push_back(level(random));
    }
    ui::SpectrumPlot plot;
    plot.resize(sizPlot);
    plot.setTraces({trace});
    plot.resetView();
    QImage image(sizPlot, QImage::Format_RGB32);
    std::vector<double> dblTimes;
    for (int i = 0; i < 21; ++i) {
        dblTimes.push_back(seconds([&] { plot.render(&image); }));
    }
    return median(dblTimes);
}

struct DrawTimes
{
    double dblFirst;
    double dblFullRedraw;
    double dblZoomedRedraw;
    double dblCursorRepaint;
};

DrawTimes drawTimes(const std::shared_ptr<engine::Spectrogram>& spectrogram)
{
    DrawTimes times{};
    QImage image(sizPlot, QImage::Format_RGB32);
    ui::SpectrogramPlot plot;
    plot.resize(sizPlot);
    times.dblFirst = seconds([&] {
        plot.setSpectrogram(spectrogram);
        plot.render(&image);
    });
    const engine::LevelRange range = plot.levelRange();
    std::vector<double> dblFull, dblZoomed, dblCursor;
    for (int i = 0; i < 11; ++i) {
        dblFull.push_back(seconds([&] {
            plot.setLevelRange({range.dblFloor - (i % 2 + 1), range.dblTop});
            plot.render(&image);
        }));
    }
    for (int i = 0; i < 11; ++i) {
        dblZoomed.push_back(seconds([&] {
            plot.setView({300.0 + i, 360.0 + i, 1000.0, 2000.0});
            plot.render(&image);
        }));
    }
    for (int i = 0; i < 11; ++i) {
        dblCursor.push_back(seconds([&] {
            plot.setCursorCell(ui::SpectrogramCell{100 + i, 2000});
            plot.render(&image);
        }));
    }
    times.dblFullRedraw = median(dblFull);
    times.dblZoomedRedraw = median(dblZoomed);
    times.dblCursorRepaint = median(dblCursor);
    return times;
}

struct Options
{
    int intRepetitions = 3;
    QString strPng;
};

Options parseOptions(int argc, char** argv)
{
    Options options;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--repetitions") == 0) {
            options.intRepetitions = std::max(1, std::atoi(argv[i + 1]));
        } else if (std::strcmp(argv[i], "--png") == 0) {
            options.strPng = QString::fromLocal8Bit(argv[i + 1]);
        }
    }
    return options;
}

// Every repetition's times, seconds.
struct Timings
{
    std::vector<double> dblFloor, dblModel, dblFirst, dblFull, dblZoomed, dblCursor;
};

void printTimings(const Timings& timings, const engine::Spectrogram& spectrogram, double dblSpectrum)
{
    std::printf("%lld segments x %zu lines -> %zu columns x %zu rows, %.1f MB held (cap %.1f MB)\n",
                static_cast<long long>(spectrogram.segmentCount()), spectrogram.lineCount(), spectrogram.columnCount(),
                spectrogram.rowCount(), spectrogram.bytesHeld() / 1e6, engine::lngSpectrogramMaxBytes / 1e6);
    std::printf("median of %zu                                  ms   ratio\n", timings.dblFloor.size());
    const double dblFloor = median(timings.dblFloor);
    std::printf("averager alone (floor)                  %9.1f\n", dblFloor * 1e3);
    std::printf("averager + spectrogram model            %9.1f   %.3f x floor\n", median(timings.dblModel) * 1e3,
                median(timings.dblModel) / dblFloor);
    const std::pair<const char*, const std::vector<double>*> draws[] = {
        {"first draw, 1000 x 600 px             ", &timings.dblFirst},
        {"redraw, full view (new level range)    ", &timings.dblFull},
        {"redraw, zoomed (60 s x 1000 Hz)        ", &timings.dblZoomed},
        {"repaint, cursor moved (picture kept)   ", &timings.dblCursor}};
    for (const auto& [strName, dblTimes] : draws) {
        std::printf("%s %9.1f   %.1f x spectrum redraw\n", strName, median(*dblTimes) * 1e3,
                    median(*dblTimes) / dblSpectrum);
    }
    std::printf("spectrum plot redraw, 25601 lines       %9.1f\n", dblSpectrum * 1e3);
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    const Options options = parseOptions(argc, argv);
    const std::vector<std::int16_t> intCounts = runUpRecording();
    Timings timings;
    std::shared_ptr<engine::Spectrogram> spectrogram;
    for (int r = 0; r < options.intRepetitions; ++r) {
        timings.dblFloor.push_back(seconds([&] {
            engine::SpectrumAverager averager(settings, engine::computePI());
            feed(averager, intCounts);
        }));
        timings.dblModel.push_back(seconds([&] { spectrogram = computeSpectrogram(intCounts); }));
        const DrawTimes times = drawTimes(spectrogram);
        timings.dblFirst.push_back(times.dblFirst);
        timings.dblFull.push_back(times.dblFullRedraw);
        timings.dblZoomed.push_back(times.dblZoomedRedraw);
        timings.dblCursor.push_back(times.dblCursorRepaint);
    }
    printTimings(timings, *spectrogram, spectrumRedraw());
    if (!options.strPng.isEmpty()) {
        ui::SpectrogramPlot plot;
        plot.resize(sizPlot);
        plot.setSpectrogram(spectrogram);
        QString strError;
        if (!plot.saveImage(options.strPng, strError)) {
            std::fprintf(stderr, "%s\n", qPrintable(strError));
            return 1;
        }
    }
    return 0;
}
