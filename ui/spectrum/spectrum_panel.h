#pragma once

#include "engine/analysis.h"
#include "engine/peaks.h"
#include "engine/spectrum_csv.h"
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
class QSpinBox;
class QTableWidget;
class QVBoxLayout;

namespace kestrix::ui {

class FlowLayout;
class SpectrumPlot;

// The spectrum view beside the window's controls: the plot of the last run's spectrum and band
// spectrum, reference spectra read from earlier spectrum files, a line cursor, the table of the peaks
// that stand out with harmonic markers, and saving the plot as a picture. It keeps nothing between
// program starts. Messages and file dialogs go through the PlatformUi; reference files are read
// through TextFiles. Its controls stand in groups that wrap onto further rows when the view narrows.
// Keys anywhere in the window: Ctrl+O opens a reference, Ctrl+S saves the picture, Ctrl+Shift+C copies
// the peak table (Ctrl+C too in the table), Ctrl+0 shows everything.
class SpectrumPanel : public QWidget
{
    Q_OBJECT

public:
    // The role of the text a peak cell shows (readable); the cell's own text is what is copied.
    static constexpr int intShownTextRole = Qt::UserRole + 1;

    SpectrumPanel(platform::PlatformUi& ui, platform::TextFiles& files, QWidget* parent = nullptr);

    // Shows the spectra of a run that went through; the references stay, the view shows everything.
    void showRun(const engine::RunSpectra& spectra);

    // Reads a spectrum file as a reference trace. A file that cannot be read, is no spectrum, holds
    // values the plot cannot show, or is already open as a reference is refused with a message and
    // changes nothing; another file of the same name is named apart. The result says whether it was added.
    bool openReference(const std::string& strPath);
    // Removes reference lngIndex (0 = the first opened); nothing for an index out of range.
    void removeReference(int lngIndex);

    // Saves the plot as it is shown in the format its name asks for: PNG (.png), JPEG (.jpg, .jpeg) or
    // SVG (.svg). Another name, or a failure, is reported by a message; the result says whether the
    // file was written.
    bool savePlotImage(const QString& strPath);
    // The name the save dialog proposes: beside the analysed file (or the first reference) as PNG.
    QString proposedImageName() const;

    // The peak table as text: a heading line and one line per peak, fields separated by tabs, the
    // values as the spectrum file writes them.
    QString peakTableText() const;
    // The cursor readout as shown: readable values, the references' values at the cursor, and the
    // line as the spectrum file writes it.
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
        std::string strPath;
        QString strName; // the legend's entry
        QColor color;
        std::vector<double> dblFreq;
        std::vector<double> dblVolts;
    };

    // spectrum_panel.cpp: the controls, the traces and the cursor.
    void createControls();
    void createPeakControls();
    void createPeakTable();
    void createShortcuts();
    void arrangeControls(); // layouts and the focus order
    QWidget* addToolGroup(FlowLayout& layout, const char* strName, const std::vector<QWidget*>& controls);
    void connectSignals();
    void refreshTraces();
    void refreshCursorText();
    QString referenceReadout(double dblFreq) const;

    // spectrum_panel_peaks.cpp: the peak table and the harmonic markers.
    void refreshPeakTable();
    void fitPeakColumns();
    void refreshHarmonics();
    bool eventFilter(QObject* watched, QEvent* event) override;

    // spectrum_panel_files.cpp: references and pictures.
    std::optional<QString> referenceRefusal(const std::string& strPath, engine::SpectrumTrace& trace);
    QString referenceName(const QString& strFileName) const;

    void chkLogScale_Toggled(bool blnChecked);
    void cmdResetZoom_Click();
    void cmdOpenReference_Click();
    void cmdRemoveReference_Click();
    void cmdSavePlot_Click();
    void cmdCopyPeaks_Click();
    void chkHarmonics_Toggled(bool blnChecked);
    void spnPeakThreshold_Changed(int intValue);
    void tblPeaks_SelectionChanged();

    platform::PlatformUi& ui;
    platform::TextFiles& files;
    std::optional<engine::RunSpectra> run;
    std::vector<Reference> references;
    std::vector<engine::SpectrumPeak> spectrumPeaks;
    int lngNextColour = 0;

    QVBoxLayout* layPanel = nullptr;
    FlowLayout* layTools = nullptr;
    QCheckBox* chkLogScale = nullptr;
    QPushButton* cmdResetZoom = nullptr;
    QPushButton* cmdOpenReference = nullptr;
    QComboBox* cboReferences = nullptr;
    QPushButton* cmdRemoveReference = nullptr;
    QPushButton* cmdSavePlot = nullptr;
    SpectrumPlot* pltSpectrum = nullptr;
    QLabel* lblCursor = nullptr;
    FlowLayout* layPeakTools = nullptr;
    QLabel* lblPeakThreshold = nullptr;
    QSpinBox* spnPeakThreshold = nullptr;
    QPushButton* cmdCopyPeaks = nullptr;
    QCheckBox* chkHarmonics = nullptr;
    QTableWidget* tblPeaks = nullptr;
    QAction* actCopyPeaks = nullptr; // Ctrl+C and the context menu of the table
    QAction* actOpenReference = nullptr;
    QAction* actSavePlot = nullptr;
    QAction* actCopyTable = nullptr;
    QAction* actResetZoom = nullptr;
};

} // namespace kestrix::ui
