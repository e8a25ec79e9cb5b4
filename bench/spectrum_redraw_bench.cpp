// SPDX-License-Identifier: GPL-3.0-or-later
// Redraw time of the spectrum plot: a 25601-line spectrum with three reference spectra of the same
// length, drawn into a 1000 x 600 image offscreen, as every step of a zoom or pan redraws it.
// Two ways to draw it are measured side by side: the panel's own QPainter plot, which reduces every
// curve to its extremes per pixel column, and Qt Charts with four QLineSeries of all points.
// Views: everything (0 to 6400 Hz), a tenth of it, and a deep zoom of 2.5 Hz (10 lines).
//
//   kestrix_plot_bench [--benchmark_repetitions=5]

#include "ui/spectrum/spectrum_plot.h"

#include <QApplication>
#include <QChart>
#include <QChartView>
#include <QImage>
#include <QLineSeries>
#include <QPainter>
#include <QValueAxis>
#include <benchmark/benchmark.h>

#include <cmath>
#include <numbers>
#include <random>

namespace {

constexpr int lngLines = 25601;       // 65536 points
constexpr double dblDeltaFreq = 0.25; // Hz: 16384 Hz sampled
constexpr int lngReferences = 3;
const QSize sizImage(1000, 600);

struct ViewCase
{
    double dblLow;
    double dblHigh;
};
constexpr ViewCase views[] = {{0.0, 6400.0}, {1000.0, 1640.0}, {1000.0, 1002.5}};

// A spectrum like a machine's: a few tones over a noise floor that differs from trace to trace.
std::vector<double> noisySpectrum(unsigned lngSeed)
{
    std::mt19937 random(lngSeed);
    std::exponential_distribution<double> noise(1e4);
    std::vector<double> dblVolts(lngLines);
    for (int i = 0; i < lngLines; ++i) {
        dblVolts[static_cast<std::size_t>(i)] = noise(random);
    }
    for (const int lngTone : {100, 200, 300, 4000, 4100, 12000}) {
        dblVolts[static_cast<std::size_t>(lngTone)] = 1.0 + lngSeed * 0.01;
    }
    return dblVolts;
}

std::vector<kestrix::ui::PlotTrace> benchTraces()
{
    std::vector<double> dblFreq(lngLines);
    for (int i = 0; i < lngLines; ++i) {
        dblFreq[static_cast<std::size_t>(i)] = i * dblDeltaFreq;
    }
    std::vector<kestrix::ui::PlotTrace> traces;
    const QColor colours[] = {Qt::blue, Qt::darkGreen, Qt::magenta, Qt::darkYellow};
    for (int t = 0; t <= lngReferences; ++t) {
        traces.push_back({QStringLiteral("trace %1").arg(t), colours[t], dblFreq,
                          noisySpectrum(static_cast<unsigned>(t + 1)), t > 0});
    }
    return traces;
}

void painterRedraw(benchmark::State& state)
{
    kestrix::ui::SpectrumPlot plot;
    plot.resize(sizImage);
    plot.setTraces(benchTraces());
    plot.resetView();
    const ViewCase& view = views[state.range(0)];
    plot.setView({view.dblLow, view.dblHigh, 0.0, 1.1});
    QImage image(sizImage, QImage::Format_RGB32);
    for (auto _ : state) {
        plot.render(&image);
        benchmark::DoNotOptimize(image.constBits());
    }
}

// The same traces as a Qt Charts chart with a legend, one line series each.
struct ChartSetup
{
    QChart* chart;
    QValueAxis* axisX;
    QValueAxis* axisY;
};

ChartSetup makeChart()
{
    auto* chart = new QChart;
    chart->legend()->setVisible(true);
    auto* axisX = new QValueAxis;
    auto* axisY = new QValueAxis;
    chart->addAxis(axisX, Qt::AlignBottom);
    chart->addAxis(axisY, Qt::AlignLeft);
    for (const kestrix::ui::PlotTrace& trace : benchTraces()) {
        QList<QPointF> points;
        points.reserve(lngLines);
        for (std::size_t i = 0; i < trace.dblFreq.size(); ++i) {
            points.append(QPointF(trace.dblFreq[i], trace.dblVolts[i]));
        }
        auto* series = new QLineSeries;
        series->replace(points);
        series->setColor(trace.color);
        chart->addSeries(series);
        series->attachAxis(axisX);
        series->attachAxis(axisY);
    }
    return {chart, axisX, axisY};
}

void chartsRedraw(benchmark::State& state)
{
    const auto [chart, axisX, axisY] = makeChart();
    QChartView chartView(chart);
    chartView.resize(sizImage);
    const ViewCase& view = views[state.range(0)];
    axisX->setRange(view.dblLow, view.dblHigh);
    axisY->setRange(0.0, 1.1);
    QImage image(sizImage, QImage::Format_RGB32);
    for (auto _ : state) {
        QPainter painter(&image);
        chartView.render(&painter);
        painter.end();
        benchmark::DoNotOptimize(image.constBits());
    }
}

// A pan step: the view moves, then the plot is drawn again (Qt Charts recomputes its geometry here).
void painterPan(benchmark::State& state)
{
    kestrix::ui::SpectrumPlot plot;
    plot.resize(sizImage);
    plot.setTraces(benchTraces());
    QImage image(sizImage, QImage::Format_RGB32);
    double dblShift = 0.0;
    for (auto _ : state) {
        dblShift = dblShift > 100.0 ? 0.0 : dblShift + 1.0;
        plot.setView({1000.0 + dblShift, 1640.0 + dblShift, 0.0, 1.1});
        plot.render(&image);
        benchmark::DoNotOptimize(image.constBits());
    }
}

void chartsPan(benchmark::State& state)
{
    const auto [chart, axisX, axisY] = makeChart();
    QChartView chartView(chart);
    chartView.resize(sizImage);
    axisY->setRange(0.0, 1.1);
    QImage image(sizImage, QImage::Format_RGB32);
    double dblShift = 0.0;
    for (auto _ : state) {
        dblShift = dblShift > 100.0 ? 0.0 : dblShift + 1.0;
        axisX->setRange(1000.0 + dblShift, 1640.0 + dblShift);
        QPainter painter(&image);
        chartView.render(&painter);
        painter.end();
        benchmark::DoNotOptimize(image.constBits());
    }
}

void viewNames(benchmark::internal::Benchmark* bench)
{
    bench->ArgName("view")->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();
}

BENCHMARK(painterRedraw)->Apply(viewNames);
BENCHMARK(chartsRedraw)->Apply(viewNames);
BENCHMARK(painterPan)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(chartsPan)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    std::printf("views: 0 = 0 to 6400 Hz (all), 1 = 1000 to 1640 Hz, 2 = 1000 to 1002.5 Hz; "
                "%d lines x %d traces into %d x %d px\n",
                lngLines, lngReferences + 1, sizImage.width(), sizImage.height());
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
