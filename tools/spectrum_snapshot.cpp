// SPDX-License-Identifier: GPL-3.0-or-later
// Pictures of the spectrum view for the documentation: analyses a recording as the window does
// (1024 Hz, 65536 points, 5 V, band 200 to 800 Hz), adds the spectrum of a shorter run of the same
// recording as a reference, and saves the panel twice: everything in view, and zoomed on the
// running speed's harmonics with their markers and the cursor on the 3rd one.
//
//   kestrix_spectrum_snapshot examples/motor.csv docs

#include "engine/run/analysis.h"
#include "engine/run/global_define.h"
#include "platform/qt/qt_platform_ui.h"
#include "platform/std/std_text_files.h"
#include "ui/spectrum/spectrum_panel.h"
#include "ui/spectrum/spectrum_plot.h"

#include <QApplication>
#include <QCheckBox>
#include <QPixmap>
#include <QTableWidget>

#include <cstdio>
#include <filesystem>
#include <iostream>

namespace {

// The spectra of a run with the window's start-up values, the given point count and no Wave files.
std::optional<kestrix::engine::RunSpectra> analyse(const std::string& strPath, const char* strNumSamp,
                                                   kestrix::platform::TextFiles& files)
{
    kestrix::engine::ControlContents controls;
    controls.strNumSamp = strNumSamp;
    controls.intWave = 0;
    const kestrix::engine::ParameterReading reading = kestrix::engine::readAnalysisParameters(controls);
    kestrix::engine::AnalysisResult result =
        kestrix::engine::analyseFile(reading.params, strPath, files, kestrix::engine::computePI());
    if (!result.analysed()) {
        std::cerr << result.strRefusal << '\n';
        return std::nullopt;
    }
    return std::move(result.spectra);
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc != 3) {
        std::cerr << "usage: kestrix_spectrum_snapshot <recording> <output folder>\n";
        return 2;
    }
    namespace fs = std::filesystem;
    const fs::path work = fs::temp_directory_path() / "kestrix_spectrum_snapshot";
    fs::create_directories(work);
    fs::copy_file(argv[1], work / "motor.csv", fs::copy_options::overwrite_existing);
    fs::copy_file(argv[1], work / "motor_4096.csv", fs::copy_options::overwrite_existing);

    kestrix::platform::QtPlatformUi ui;
    kestrix::platform::StdTextFiles files;
    const auto reference = analyse((work / "motor_4096.csv").string(), "4096", files);
    const auto spectra = analyse((work / "motor.csv").string(), "65536", files);
    if (!reference || !spectra) {
        return 1;
    }

    kestrix::ui::SpectrumPanel panel(ui, files);
    panel.resize(1100, 820);
    panel.show();
    panel.showRun(*spectra);
    panel.openReference((work / "motor_4096_SPC.csv").string());
    QApplication::processEvents();
    const fs::path output(argv[2]);
    bool blnSaved = panel.grab().save(QString::fromStdString((output / "spectrum.png").string()));

    // The running speed (25 Hz) is the highest peak: mark its harmonics and look at the first five.
    panel.peakTable().selectRow(0);
    for (const char* strName : {"chkHarmonics", "chkLogScale"}) {
        panel.findChild<QCheckBox*>(QLatin1String(strName))->setChecked(true);
    }
    panel.plot().setView({0.0, 135.0, -90.0, 16.0}); // dBV
    panel.plot().setCursorLine(static_cast<std::size_t>(75.0 / spectra->dblDeltaFreq));
    QApplication::processEvents();
    blnSaved = panel.grab().save(QString::fromStdString((output / "spectrum-zoom.png").string())) && blnSaved;
    fs::remove_all(work);
    return blnSaved ? 0 : 1;
}
