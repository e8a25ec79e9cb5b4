// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/run/analysis.h"
#include "engine/run/analysis_parameters.h"
#include "engine/run/global_define.h"
#include "platform/clock.h"
#include "platform/failure.h"
#include "platform/platform_ui.h"
#include "platform/text_files.h"

#include <QWidget>

#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace kestrix::ui {

class LeaveValidation;

// frmMain, the program's one window: the analysis parameters as control contents, the two derived
// read-only values, and the two commands. Every control carries its name as its object name.
// Messages, the file dialog, the busy pointer, the files and the clock are the injected services.
class FrmMain final : public QWidget
{
    Q_OBJECT

public:
    FrmMain(platform::PlatformUi& ui, platform::TextFiles& files, platform::Clock& clock, QWidget* parent = nullptr);

    // dblPI and strLastFileName, owned by the window for its lifetime.
    const engine::GlobalDefine& globalDefine() const
    {
        return globals;
    }

    // The controls that take the focus, in their focus order, to chain further controls after them.
    std::vector<QWidget*> focusOrder() const;

    // The contents of the seven controls a run reads, as they stand (nothing checked or changed).
    engine::ControlContents controlContents() const;

signals:
    // A run went through to its end; its spectra as written to the files. Emitted before the
    // completion message.
    void runCompleted(const engine::RunSpectra& spectra);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // main_window.cpp: the controls and the start-up state.
    void createControls();
    void placeControls();
    void setFocusOrder();
    void connectSignals();
    void Form_Load();
    void setFieldBackground(QLineEdit* field, bool blnEditable);

    // main_window_events.cpp: the checks on leaving and the derived values,
    void txtSampFreq_Validate(bool& blnCancel);
    void txtMaxVolt_Validate(bool& blnCancel);
    void cboNumSamp_Validate(bool& blnCancel);
    void cboNumSamp_Click();
    void chkBand_Click();
    void setBandFieldsEnabled(bool blnEnabled);

    // and the two buttons.
    void cmdFFT_Click();
    void cmdEnd_Click();
    void showErrorReport(const KestrixError& failure);

    platform::PlatformUi& ui;
    platform::TextFiles& files;
    platform::Clock& clock;
    engine::GlobalDefine globals;

    QLabel* Label1 = nullptr;
    QLineEdit* txtSampFreq = nullptr;
    QLabel* Label4 = nullptr;
    QLineEdit* txtMaxAnaFreq = nullptr;
    QLabel* Label2 = nullptr;
    QComboBox* cboNumSamp = nullptr;
    QLabel* Label5 = nullptr;
    QLineEdit* txtDeltaFreq = nullptr;
    QLabel* Label3 = nullptr;
    QLineEdit* txtMaxVolt = nullptr;
    QCheckBox* chkBand = nullptr;
    QLabel* lblLowFreq = nullptr;
    QLineEdit* txtLowFreq = nullptr;
    QLabel* lblHighFreq = nullptr;
    QLineEdit* txtHighFreq = nullptr;
    QCheckBox* chkWave = nullptr;
    QPushButton* cmdFFT = nullptr;
    QPushButton* cmdEnd = nullptr;
    LeaveValidation* leaveValidation = nullptr;
};

} // namespace kestrix::ui
