// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/platform_ui.h"

#include <QGroupBox>

#include <vector>

class QAction;
class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;

namespace kestrix::ui {

class QuantityFields;
class ViewDocument;

// The analysis settings of the view: the window, the averaging, the overlap, the detrending, the units
// and what the volts stand for (QuantityFields) the document's recording is analysed with, opening a recording
// (Ctrl+R), saving the averaged spectrum, and the recording shown with its own rate, point count and line spacing, the
// progress of a reading and its cancel button. It shows the document's settings and asks the document to change them.
// In the single block the window list shows "窓なし" greyed (choosing a window asks for the average);
// the single block itself is offered only for the run's own recording.
class AnalysisPanel final : public QGroupBox
{
    Q_OBJECT

public:
    AnalysisPanel(ViewDocument& document, platform::PlatformUi& ui, QWidget* parent = nullptr);

    // The controls in their focus order, and the window-wide shortcut (Ctrl+R) for the view to hold.
    std::vector<QWidget*> focusOrder() const;
    QAction* openRecordingAction() const
    {
        return actOpenRecording;
    }

private:
    void createControls();
    void arrangeControls();
    void connectSignals();
    void showSettings();
    void showState();
    QString recordingText() const;

    void combo_Changed();
    void cboWindow_Changed();
    void cmdOpenRecording_Click();
    void cmdSaveAverage_Click();
    void tmrProgress_Timer();

    ViewDocument& document;
    platform::PlatformUi& ui;
    QComboBox* cboWindow = nullptr;
    QComboBox* cboAveraging = nullptr;
    QComboBox* cboOverlap = nullptr;
    QComboBox* cboDetrend = nullptr;
    QComboBox* cboUnits = nullptr;
    QuantityFields* quantityFields = nullptr;
    QPushButton* cmdOpenRecording = nullptr;
    QPushButton* cmdSaveAverage = nullptr;
    QProgressBar* prgAnalysis = nullptr;
    QPushButton* cmdCancelAnalysis = nullptr;
    QLabel* lblAnalysis = nullptr;
    QAction* actOpenRecording = nullptr;
    QTimer* tmrProgress = nullptr;
};

} // namespace kestrix::ui
