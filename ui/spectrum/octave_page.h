// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/platform_ui.h"
#include "view_page.h"

#include <QString>

#include <vector>

class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QSplitter;
class QTableWidget;
class QTimer;

namespace kestrix::ui {

class LevelTracePlot;
class OctaveDocument;
class OctavePlot;
class ViewDocument;

// The octave page: the document's recording in fractional-octave bands (1/1 to 1/24 octave, IEC 61260-1
// base ten) with a frequency weighting (A, C or Z, IEC 61672-1) as bars, the overall levels beside them
// (Leq, LE, Lpeak and with the time weighting F or S Lmax and Lmin, named by the standard's letters), the
// band cursor's readout, and below them the time-weighted level over the recording. The analysis runs
// in the document's octave job while the page is shown, with its progress and a cancel button here;
// the pictures and the band table (BASE_OCT.csv as kestrix-batch writes it) are saved from here.
class OctavePage final : public ViewPage
{
    Q_OBJECT

public:
    OctavePage(ViewDocument& document, platform::PlatformUi& ui, QWidget* parent = nullptr);

    OctavePlot& plot() const
    {
        return *pltOctave;
    }
    LevelTracePlot& tracePlot() const
    {
        return *pltLevelTrace;
    }
    QTableWidget& levelTable() const
    {
        return *tblOverallLevels;
    }
    std::vector<QWidget*> focusOrder() const override;
    void savePicture() override;
    void showEverything() override;
    // The band table through the save dialog.
    void saveTable();
    // What the line under the bars says: the cursor's band, or what the page is doing.
    QString statusText() const;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void createControls();
    void arrangeControls();
    void connectSignals();
    void showSettings();
    void showReading();
    void showLevels();
    QSize levelTableSize() const;
    void arrangeLevels(int intPageWidth);
    void showBand();
    void showState();
    void combo_Changed();
    void plot_CursorChanged();
    void tmrOctaveProgress_Timer();

    ViewDocument& document;
    OctaveDocument& octave;
    platform::PlatformUi& ui;
    QLabel* lblBandwidth = nullptr;
    QComboBox* cboBandwidth = nullptr;
    QLabel* lblWeighting = nullptr;
    QComboBox* cboWeighting = nullptr;
    QLabel* lblTimeWeighting = nullptr;
    QComboBox* cboTimeWeighting = nullptr;
    QPushButton* cmdSaveOctavePlot = nullptr;
    QPushButton* cmdSaveOctaveTable = nullptr;
    QPushButton* cmdSaveLevelTrace = nullptr;
    QProgressBar* prgOctave = nullptr;
    QPushButton* cmdCancelOctave = nullptr;
    OctavePlot* pltOctave = nullptr;
    QTableWidget* tblOverallLevels = nullptr;
    QSplitter* splOctave = nullptr;
    QLabel* lblOctaveCursor = nullptr;
    LevelTracePlot* pltLevelTrace = nullptr;
    QTimer* tmrOctaveProgress = nullptr;
};

} // namespace kestrix::ui
