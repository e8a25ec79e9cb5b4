// SPDX-License-Identifier: GPL-3.0-or-later
// The window's handlers: the fields' checks as they are left, the derived values, and the two buttons.
#include "engine/run/field_checks.h"
#include "engine/run/number_text.h"
#include "error_report.h"
#include "main_window.h"
#include "platform/failure.h"
#include "run_dialogue.h"
#include "text_conversion.h"
#include "window_controls.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

#include <new>

namespace kestrix::ui {

using platform::MessageStyle;

void FrmMain::txtSampFreq_Validate(bool& blnCancel)
{
    const engine::FieldCheck check = engine::checkSampFreq(toStdString(txtSampFreq->text()));
    if (!check.accepted()) {
        ui.showMessage(check.strMessage, MessageStyle::Exclamation);
        blnCancel = true;
        return;
    }
    txtSampFreq->setText(toQString(check.strNormalized));
    // After an entry the resolution is worked from the maximum analysis frequency as shown (two decimals).
    const double dblMaxAnaFreq = engine::maxAnaFreqRounded(engine::wholeNumberOfText(check.strNormalized));
    txtMaxAnaFreq->setText(toQString(engine::maxAnaFreqText(dblMaxAnaFreq)));
    const std::int32_t lngNumSamp = engine::wholeNumberOfText(toStdString(cboNumSamp->currentText()));
    txtDeltaFreq->setText(toQString(engine::deltaFreqText(dblMaxAnaFreq, lngNumSamp)));
}

void FrmMain::txtMaxVolt_Validate(bool& blnCancel)
{
    const engine::FieldCheck check = engine::checkMaxVolt(toStdString(txtMaxVolt->text()));
    if (!check.accepted()) {
        ui.showMessage(check.strMessage, MessageStyle::Exclamation);
        blnCancel = true;
        return;
    }
    txtMaxVolt->setText(toQString(check.strNormalized));
}

void FrmMain::cboNumSamp_Validate(bool& /*blnCancel: the list never refuses*/)
{
    const auto strDeltaFreq =
        engine::deltaFreqTextAfterListChange(toStdString(txtSampFreq->text()), toStdString(cboNumSamp->currentText()));
    if (strDeltaFreq) {
        txtDeltaFreq->setText(toQString(*strDeltaFreq));
    }
}

void FrmMain::cboNumSamp_Click()
{
    bool blnCancel = false;
    cboNumSamp_Validate(blnCancel);
}

void FrmMain::chkBand_Click()
{
    switch (chkBand->checkState()) {
    case Qt::Checked:
        setBandFieldsEnabled(true);
        break;
    case Qt::Unchecked:
        setBandFieldsEnabled(false);
        break;
    case Qt::PartiallyChecked:
        break;
    }
}

void FrmMain::setBandFieldsEnabled(bool blnEnabled)
{
    // The texts stay: switching the band back on shows the limits as they were.
    lblLowFreq->setEnabled(blnEnabled);
    txtLowFreq->setEnabled(blnEnabled);
    setFieldBackground(txtLowFreq, blnEnabled);
    lblHighFreq->setEnabled(blnEnabled);
    txtHighFreq->setEnabled(blnEnabled);
    setFieldBackground(txtHighFreq, blnEnabled);
}

namespace {

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
