// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/run/analysis_parameters.h"

class QCheckBox;
class QComboBox;
class QLineEdit;

namespace kestrix::ui {

// What a run reads of the window: the seven controls' contents at the moment it asks.
class WindowControls final : public engine::AnalysisControls
{
public:
    struct Controls
    {
        const QLineEdit* txtSampFreq;
        const QComboBox* cboNumSamp;
        const QLineEdit* txtMaxVolt;
        const QCheckBox* chkBand;
        const QLineEdit* txtLowFreq;
        const QLineEdit* txtHighFreq;
        const QCheckBox* chkWave;
    };

    explicit WindowControls(const Controls& controls_) : controls(controls_) {}

    std::string sampFreqText() override;
    std::string numSampText() override;
    std::string maxVoltText() override;
    int bandValue() override;
    std::string lowFreqText() override;
    std::string highFreqText() override;
    int waveValue() override;

private:
    Controls controls;
};

} // namespace kestrix::ui
