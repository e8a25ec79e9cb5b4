#pragma once

#include "engine/analysis.h"
#include "engine/peaks.h"
#include "platform/platform_ui.h"
#include "platform/text_files.h"

#include <QColor>
#include <QString>
#include <QWidget>

#include <optional>
#include <vector>

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QTableWidget;

namespace kestrix::ui {

class SpectrumPlot;

// The spectrum view beside the window's controls: the plot of the last run's spectrum and band
// spectrum, reference spectra read from earlier spectrum files, a line cursor, the table of the
// highest peaks with harmonic markers, and saving the plot as a picture. It keeps nothing between
// program starts. Messages go through the PlatformUi; reference files are read through TextFiles.
class SpectrumPanel : public QWidget
{
    Q_OBJECT

public:
    SpectrumPanel(platform::PlatformUi& ui, platform::TextFiles& files, QWidget* parent = nullptr);

    // Shows the spectra of a run that went through; the references stay, the view shows everything.
    void showRun(const engine::RunSpectra& spectra);

    // Reads a spectrum file as a reference trace. A file that cannot be read, or is no spectrum,
    // is refused with a message and changes nothing; the result says whether it was added.
    bool openReference(const std::string& strPath);
    // Removes reference lngIndex (0 = the first opened); nothing for an index out of range.
    void removeReference(int lngIndex);

    // Saves the plot as it is shown: SVG for a name ending in ".svg", else PNG. A failure is
    // reported by a message; the result says whether the file was written.
    bool savePlotImage(const QString& strPath);

    // The peak table as text: a heading line and one line per peak, fields separated by tabs.
    QString peakTableText() const;
    // The cursor readout as shown (frequency and amplitude as the spectrum file writes them).
    QString cursorText() const;

    // The panel's controls in their focus order, to chain them after the window's own.
    std::vector<QWidget*> focusOrder() const;

    SpectrumPlot& plot() const
    {
        return *pltSpectrum;
    }
    QTableWidget& peakTable() const
    {
        return *tblPeaks;
    }
    const std::vector<engine::SpectrumPeak>& peaks() const
    {
        return spectrumPeaks;
    }
    int referenceCount() const
    {
        return static_cast<int>(references.size());
    }

private:
    struct Reference
    {
        QString strName;
        QColor color;
        std::vector<double> dblFreq;
        std::vector<double> dblVolts;
    };

    void createControls();
    void arrangeControls(); // layouts and the focus order
    void connectSignals();
    void refreshTraces();
    void refreshPeakTable();
    void refreshHarmonics();
    void refreshCursorText();

    void chkLogScale_Toggled(bool blnChecked);
    void cmdResetZoom_Click();
    void cmdOpenReference_Click();
    void cmdRemoveReference_Click();
    void cmdSavePlot_Click();
    void cmdCopyPeaks_Click();
    void chkHarmonics_Toggled(bool blnChecked);
    void tblPeaks_SelectionChanged();

    platform::PlatformUi& ui;
    platform::TextFiles& files;
    std::optional<engine::RunSpectra> run;
    std::vector<Reference> references;
    std::vector<engine::SpectrumPeak> spectrumPeaks;
    int lngNextColour = 0;

    QCheckBox* chkLogScale = nullptr;
    QPushButton* cmdResetZoom = nullptr;
    QPushButton* cmdOpenReference = nullptr;
    QComboBox* cboReferences = nullptr;
    QPushButton* cmdRemoveReference = nullptr;
    QPushButton* cmdSavePlot = nullptr;
    SpectrumPlot* pltSpectrum = nullptr;
    QLabel* lblCursor = nullptr;
    QTableWidget* tblPeaks = nullptr;
    QPushButton* cmdCopyPeaks = nullptr;
    QAction* actCopyPeaks = nullptr; // Ctrl+C and the context menu of the table
    QCheckBox* chkHarmonics = nullptr;
};

} // namespace kestrix::ui
