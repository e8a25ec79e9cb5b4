// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/recordings/engineering_unit.h"
#include "platform/platform_ui.h"
#include "view_page.h"

#include <QString>
#include <QStringList>

#include <cstddef>
#include <optional>
#include <vector>

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace kestrix::ui {

class TransferDocument;
class TransferPlot;
struct TransferShown;
class ViewDocument;

// The two-channel page: the frequency response between two signals of the document's recording, the
// input and the output chosen from its columns or channels. Three plots over one frequency axis: the
// magnitude of H1 (in dB or linear, with H2 if asked for), its phase (wrapped or unwrapped) and the
// coherence with its threshold; the lines whose coherence is under the threshold are drawn faded in all
// three. A cursor on a line reads all three, the delay between the channels stands above the plots, and
// the picture of the plots and the frequency response file are saved beside the recording. Each
// signal may carry its sensitivity, so H reads in output EU per input EU. With one segment the coherence
// is refused and the page says so instead of showing 1.
class TransferPage final : public ViewPage
{
    Q_OBJECT

public:
    TransferPage(ViewDocument& document, platform::PlatformUi& ui, QWidget* parent = nullptr);

    TransferPlot& magnitudePlot() const
    {
        return *pltMagnitude;
    }
    TransferPlot& phasePlot() const
    {
        return *pltPhase;
    }
    TransferPlot& coherencePlot() const
    {
        return *pltCoherence;
    }
    std::vector<QWidget*> focusOrder() const override;
    void savePicture() override;
    void showEverything() override;
    // Saves the three plots as shown, one above the other, in the format the name asks for; a failure is
    // reported by a message. The result says whether the file was written.
    bool saveImage(const QString& strPath);
    // Asks for a name (BASE_FRF.csv beside the recording proposed) and saves the frequency response file.
    void saveFileDialog();
    // The cursor's readout as shown beneath the plots: the values to be read at a glance, then the line
    // as the file writes it.
    QString cursorText() const;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    // transfer_page.cpp: the controls, their places and what they ask of the document.
    void createControls();
    void createPlots();
    void arrangeControls();
    void connectSignals();
    void showSignals();
    void cboSignal_Changed();
    void txtSensitivity_EditingFinished();
    void syncFrequencyView(const TransferPlot& from);
    void moveCursor(std::optional<std::size_t> lngLine);

    // transfer_page_readout.cpp: the curves, the readout and the texts above and below the plots.
    void showTransfer();
    void showCurves(const TransferShown* shown);
    void showCursor();
    QStringList readoutLines(bool blnExact) const;
    QString summaryText() const;
    QString noteText() const;
    QString unitText() const;

    ViewDocument& document;
    TransferDocument& transfer;
    platform::PlatformUi& ui;
    std::optional<double> dblCursorHz; // where the cursor stands, kept across readings
    bool blnSyncing = false;           // the plots' frequency views being made one
    QString strSensitivityNote;        // why a sensitivity typed was not taken

    QLabel* lblInput = nullptr;
    QComboBox* cboInput = nullptr;
    QLabel* lblOutput = nullptr;
    QComboBox* cboOutput = nullptr;
    QLabel* lblInputSensitivity = nullptr;
    QLineEdit* txtInputSensitivity = nullptr;
    QLabel* lblOutputSensitivity = nullptr;
    QLineEdit* txtOutputSensitivity = nullptr;
    QLabel* lblThreshold = nullptr;
    QDoubleSpinBox* spnCoherenceThreshold = nullptr;
    QCheckBox* chkTransferDb = nullptr;
    QCheckBox* chkH2 = nullptr;
    QCheckBox* chkUnwrapped = nullptr;
    QCheckBox* chkTransferLogFrequency = nullptr;
    QPushButton* cmdTransferResetZoom = nullptr;
    QPushButton* cmdSaveTransferPlot = nullptr;
    QPushButton* cmdSaveTransferFile = nullptr;
    QLabel* lblTransferSummary = nullptr;
    QLabel* lblTransferNote = nullptr;
    TransferPlot* pltMagnitude = nullptr;
    TransferPlot* pltPhase = nullptr;
    TransferPlot* pltCoherence = nullptr;
    QLabel* lblTransferCursor = nullptr;
};

} // namespace kestrix::ui
