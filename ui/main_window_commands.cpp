// SPDX-License-Identifier: GPL-3.0-or-later
#include "error_report.h"
#include "main_window.h"
#include "platform/failure.h"
#include "run_dialogue.h"
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
    AnalysisRun run(controls, ui, files, clock, globals);
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
    } catch (const KestrixError& failure) {
        showErrorReport(failure);
    } catch (const std::bad_alloc&) {
        showErrorReport(KestrixError(err::lngOutOfMemory, std::string(standardDescription(err::lngOutOfMemory))));
    } catch (const std::exception& failure) {
        showErrorReport(KestrixError(lngInternalError, failure.what()));
    }
}

engine::ControlContents FrmMain::controlContents() const
{
    WindowControls controls({txtSampFreq, cboNumSamp, txtMaxVolt, chkBand, txtLowFreq, txtHighFreq, chkWave});
    engine::ControlContents contents;
    contents.strSampFreq = controls.sampFreqText();
    contents.strNumSamp = controls.numSampText();
    contents.strMaxVolt = controls.maxVoltText();
    contents.intBand = controls.bandValue();
    contents.strLowFreq = controls.lowFreqText();
    contents.strHighFreq = controls.highFreqText();
    contents.intWave = controls.waveValue();
    return contents;
}

void FrmMain::cmdEnd_Click()
{
    // The window the fields stand in, whether they stand alone or beside the spectrum view.
    window()->close();
}

void FrmMain::showErrorReport(const KestrixError& failure)
{
    ui.showMessage(errorReportHeading("cmdFFT_Click"), MessageStyle::Exclamation, strErrorReportTitle);
    ui.showMessage(errorReportDetail(failure), MessageStyle::OkOnly);
}

} // namespace kestrix::ui
