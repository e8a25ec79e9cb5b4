// SPDX-License-Identifier: GPL-3.0-or-later
#include "window_controls.h"

#include "text_conversion.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>

namespace kestrix::ui {

namespace {

// The check box values of the classic controls: 0 clear, 1 checked, 2 grey.
int checkValue(const QCheckBox& checkBox)
{
    switch (checkBox.checkState()) {
    case Qt::Checked:
        return 1;
    case Qt::PartiallyChecked:
        return 2;
    case Qt::Unchecked:
        break;
    }
    return 0;
}

} // namespace

std::string WindowControls::sampFreqText()
{
    return toStdString(controls.txtSampFreq->text());
}

std::string WindowControls::numSampText()
{
    return toStdString(controls.cboNumSamp->currentText());
}

std::string WindowControls::maxVoltText()
{
    return toStdString(controls.txtMaxVolt->text());
}

int WindowControls::bandValue()
{
    return checkValue(*controls.chkBand);
}

std::string WindowControls::lowFreqText()
{
    return toStdString(controls.txtLowFreq->text());
}

std::string WindowControls::highFreqText()
{
    return toStdString(controls.txtHighFreq->text());
}

int WindowControls::waveValue()
{
    return checkValue(*controls.chkWave);
}

} // namespace kestrix::ui
