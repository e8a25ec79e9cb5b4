#include "engine/analysis_run.h"
#include "engine/failure.h"
#include "main_window.h"
#include "window_controls.h"

#include <new>

namespace kestrix::ui {

namespace {

using platform::MessageStyle;

constexpr std::string_view strMsgFinished = "FFT 終了！";
// The classic runtime's number for a failure it has no better number for.
constexpr std::int32_t lngInternalError = 51;

} // namespace

void FrmMain::cmdFFT_Click()
{
    WindowControls controls({txtSampFreq, cboNumSamp, txtMaxVolt, chkBand, txtLowFreq, txtHighFreq, chkWave});
    engine::AnalysisRun run(controls, ui, files, clock, globals);
    // Every failure ends here, whatever the run was doing: none may cross the event loop. The busy
    // pointer goes off with the scope, before the report.
    try {
        platform::BusyScope busy(ui);
        const bool blnFinished = run.FFT_Main();
        busy.release();
        if (blnFinished) {
            if (run.lastSpectra()) {
                emit runCompleted(*run.lastSpectra());
            }
            ui.showMessage(strMsgFinished, MessageStyle::OkOnly);
        }
    } catch (const engine::KestrixError& failure) {
        showErrorReport(failure);
    } catch (const std::bad_alloc&) {
        showErrorReport(engine::KestrixError(engine::err::lngOutOfMemory,
                                             std::string(engine::standardDescription(engine::err::lngOutOfMemory))));
    } catch (const std::exception& failure) {
        showErrorReport(engine::KestrixError(lngInternalError, failure.what()));
    }
}

void FrmMain::cmdEnd_Click()
{
    // The window the fields stand in, whether they stand alone or beside the spectrum view.
    window()->close();
}

void FrmMain::showErrorReport(const engine::KestrixError& failure)
{
    ui.showMessage(engine::errorReportHeading("cmdFFT_Click"), MessageStyle::Exclamation, engine::strErrorReportTitle);
    ui.showMessage(engine::errorReportDetail(failure), MessageStyle::OkOnly);
}

} // namespace kestrix::ui
