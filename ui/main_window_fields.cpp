// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/run/field_checks.h"
#include "engine/run/number_text.h"
#include "main_window.h"
#include "text_conversion.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

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

} // namespace kestrix::ui
