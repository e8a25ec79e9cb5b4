// SPDX-License-Identifier: GPL-3.0-or-later
// The spectrum view on a ten-minute recording at 25 600 Hz (a 16-bit Wave file of a motor running up
// from 5 to 50 Hz with five harmonics over noise; 65536 points, Hann, 50 %: 467 segments x 25601 lines),
// through the view as a user meets it, offscreen:
//   opened: read, averaged and its spectrogram computed off the window's thread, and shown;
//   the spectrogram's first drawing, a redraw at full view after a new level range, one zoomed;
//   the spectrum's redraw beside them;
//   the window's thread meanwhile: a timer asks to tick every 16 ms, and the largest gap between two
//   ticks is the longest the window could not redraw (no gap may exceed 100 ms); the same while a
//   setting (the window function) makes the view read the recording again.
// Each figure is the median of the repetitions; times are wall times.
//
//   kestrix_view_bench [--repetitions N] [--png FOLDER]   (FOLDER: the pages as drawn)

#include "engine/run/wave.h"
#include "platform/sndfile/sndfile_sound_files.h"
#include "platform/std/std_text_files.h"
#include "ui/spectrum/spectrogram_plot.h"
#include "ui/spectrum/spectrum_panel.h"
#include "ui/spectrum/spectrum_plot.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QTabWidget>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <numbers>
#include <random>
#include <string>
#include <vector>

namespace {

using namespace kestrix;

constexpr int lngSampFreq = 25600;
constexpr std::int64_t lngSamples = 600 * 25600;
constexpr int intTickPeriod = 16; // ms: a frame at 60 Hz

// Messages go to standard error: nothing here should ask the user anything.
class PrintingUi final : public platform::PlatformUi
{
public:
    void showMessage(std::string_view strText, platform::MessageStyle, std::optional<std::string_view>) override
    {
        std::fprintf(stderr, "message: %.*s\n", static_cast<int>(strText.size()), strText.data());
    }
    std::optional<std::string> chooseOpenFile(const platform::OpenFileRequest&) override
    {
        return std::nullopt;
    }
    std::optional<std::string> chooseSaveFile(const platform::SaveFileRequest&) override
    {
        return std::nullopt;
    }
    void setBusyPointer(bool) override {}
};

std::string writeRunUp(const std::filesystem::path& folder)
{
    std::vector<std::int16_t> intCounts(static_cast<std::size_t>(lngSamples));
    std::mt19937 random(1);
    std::normal_distribution<double> noise(0.0, 20.0);
    double dblPhase = 0.0;
    for (std::size_t n = 0; n < intCounts.size(); ++n) {
        const double dblTime = static_cast<double>(n) / lngSampFreq;
        dblPhase += 2.0 * std::numbers::pi * (5.0 + 45.0 * dblTime / 600.0) / lngSampFreq;
        double dblValue = noise(random);
        for (int k = 1; k <= 5; ++k) {
            dblValue += 8000.0 / k * std::sin(k * dblPhase);
        }
        intCounts[n] = engine::waveCount(dblValue);
    }
    const std::string strPath = (folder / "runup_10min.wav").string();
    platform::StdTextFiles files;
    engine::OutWaveFile(intCounts, (folder / "runup_10min").string(), static_cast<std::int32_t>(lngSamples),
                        lngSampFreq, files);
    return strPath;
}

// Counts the paintings of a widget.
class PaintCounter final : public QObject
{
public:
    int intPaints = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) {
            ++intPaints;
        }
        return QObject::eventFilter(watched, event);
    }
};

// Runs the event loop until the view's reading ends and its result is drawn, a timer ticking every
// 16 ms meanwhile; the largest gap between two ticks (or from the start to the first, or from the last
// to the end), ms.
double largestGapWhileReading(ui::SpectrumPanel& panel, const std::function<void()>& start)
{
    QElapsedTimer clock;
    double dblLast = 0.0;
    double dblLargest = 0.0;
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    timer.setInterval(intTickPeriod);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        const double dblNow = static_cast<double>(clock.nsecsElapsed()) / 1e6;
        dblLargest = std::max(dblLargest, dblNow - dblLast);
        dblLast = dblNow;
    });
    QEventLoop loop;
    QObject::connect(&panel, &ui::SpectrumPanel::analysisFinished, &loop, &QEventLoop::quit);
    clock.start();
    timer.start();
    start();
    if (panel.analysing()) {
        loop.exec();
    }
    // The handler that ended the loop asked for the result to be drawn: the drawing is done when the
    // events posted meanwhile are (the caller checks that a drawing came).
    QCoreApplication::sendPostedEvents();
    QApplication::processEvents();
    return std::max(dblLargest, static_cast<double>(clock.nsecsElapsed()) / 1e6 - dblLast);
}

double millisecondsOf(const std::function<void()>& work)
{
    QElapsedTimer clock;
    clock.start();
    work();
    return static_cast<double>(clock.nsecsElapsed()) / 1e6;
}

double median(std::vector<double> dblValues)
{
    std::sort(dblValues.begin(), dblValues.end());
    return dblValues[dblValues.size() / 2];
}

struct Figures
{
    std::vector<double> dblOpen, dblOpenGap, dblFirstDraw, dblFullRedraw, dblZoomRedraw, dblSpectrumRedraw;
    std::vector<double> dblSettingGap, dblSetting;
};

void measureOnce(ui::SpectrumPanel& panel, const std::string& strRecording, Figures& figures, int intRun)
{
    // Opened with the spectrum page in front; the spectrogram's first drawing comes when its page does.
    panel.pages().setCurrentIndex(0);
    QApplication::processEvents();
    QElapsedTimer opened;
    opened.start();
    figures.dblOpenGap.push_back(largestGapWhileReading(panel, [&] { panel.openRecording(strRecording); }));
    figures.dblOpen.push_back(static_cast<double>(opened.nsecsElapsed()) / 1e6);
    QApplication::processEvents();
    panel.plot().resetView();
    figures.dblSpectrumRedraw.push_back(millisecondsOf([&] { panel.plot().repaint(); }));
    ui::SpectrogramPlot& spectrogram = panel.spectrogramPlot();
    panel.pages().setCurrentIndex(1); // shown, not yet painted
    figures.dblFirstDraw.push_back(millisecondsOf([&] { spectrogram.repaint(); }));
    QApplication::processEvents();
    spectrogram.setLevelFloor(spectrogram.levelRange().dblFloor - 5.0 - intRun);
    figures.dblFullRedraw.push_back(millisecondsOf([&] { spectrogram.repaint(); }));
    const double dblStart = spectrogram.view().dblLowTime + 120.0;
    spectrogram.setView({dblStart, dblStart + 60.0, 0.0, 1000.0});
    figures.dblZoomRedraw.push_back(millisecondsOf([&] { spectrogram.repaint(); }));

    // A setting read again with the spectrogram in front: its new picture is drawn on the window's
    // thread within the time measured.
    auto* cboWindow = panel.findChild<QComboBox*>(QStringLiteral("cboWindow"));
    const int intTarget =
        cboWindow->findData(static_cast<int>(intRun % 2 == 0 ? engine::WindowKind::FlatTop : engine::WindowKind::Hann));
    PaintCounter paints;
    spectrogram.installEventFilter(&paints);
    QElapsedTimer changed;
    changed.start();
    figures.dblSettingGap.push_back(largestGapWhileReading(panel, [&] { cboWindow->setCurrentIndex(intTarget); }));
    figures.dblSetting.push_back(static_cast<double>(changed.nsecsElapsed()) / 1e6);
    spectrogram.removeEventFilter(&paints);
    if (paints.intPaints == 0) {
        std::fprintf(stderr, "the spectrogram was not drawn within the time measured\n");
        std::exit(1);
    }
}

void report(const Figures& figures)
{
    const auto line = [](const char* strWhat, const std::vector<double>& dblValues) {
        std::printf("%-62s %9.1f ms   (%zu runs, max %.1f)\n", strWhat, median(dblValues), dblValues.size(),
                    *std::max_element(dblValues.begin(), dblValues.end()));
    };
    line("opened: read, averaged, spectrogram computed, shown", figures.dblOpen);
    line("  largest gap between 16 ms ticks of the window meanwhile", figures.dblOpenGap);
    line("spectrogram page, first drawing (picture rendered)", figures.dblFirstDraw);
    line("spectrogram redraw at full view after a new level range", figures.dblFullRedraw);
    line("spectrogram redraw zoomed (60 s x 1000 Hz)", figures.dblZoomRedraw);
    line("spectrum page redraw (25601 lines)", figures.dblSpectrumRedraw);
    line("window function changed (spectrogram in front): read, computed, shown", figures.dblSetting);
    line("  largest gap between 16 ms ticks of the window meanwhile", figures.dblSettingGap);
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    int intRepetitions = 3;
    const char* strPngFolder = nullptr;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--repetitions") == 0) {
            intRepetitions = std::max(1, std::atoi(argv[i + 1]));
        } else if (std::strcmp(argv[i], "--png") == 0) {
            strPngFolder = argv[i + 1];
        }
    }
    const std::filesystem::path folder = std::filesystem::temp_directory_path() / "kestrix_view_bench";
    std::filesystem::create_directories(folder);
    const std::string strRecording = writeRunUp(folder);

    PrintingUi ui;
    platform::StdTextFiles files;
    platform::SndfileSoundFiles sounds;
    ui::SpectrumPanel panel(ui, files, sounds);
    engine::ControlContents fields;
    fields.strNumSamp = "65536";
    panel.setFieldSource([&] { return fields; });
    panel.resize(1400, 860);
    panel.show();
    QApplication::processEvents();

    Figures figures;
    for (int intRun = 0; intRun < intRepetitions; ++intRun) {
        measureOnce(panel, strRecording, figures, intRun);
    }
    report(figures);
    if (strPngFolder != nullptr) {
        panel.grab().save(QString::fromLocal8Bit(strPngFolder) + QStringLiteral("/view_spectrum.png"));
        panel.pages().setCurrentIndex(1);
        QApplication::processEvents();
        panel.grab().save(QString::fromLocal8Bit(strPngFolder) + QStringLiteral("/view_spectrogram.png"));
    }
    std::filesystem::remove_all(folder);
    return 0;
}
