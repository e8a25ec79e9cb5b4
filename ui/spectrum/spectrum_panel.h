// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/recordings/recording_view.h"
#include "engine/recordings/spectrum_csv.h"
#include "engine/recordings/spectrum_units.h"
#include "engine/run/analysis.h"
#include "engine/run/analysis_parameters.h"
#include "engine/view/peaks.h"
#include "platform/platform_ui.h"
#include "platform/sound_files.h"
#include "platform/text_files.h"
#include "view_analysis.h"

#include <QColor>
#include <QString>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QAction;
class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QGroupBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QSplitter;
class QTableWidget;
class QTabWidget;
class QTimer;
class QVBoxLayout;

namespace kestrix::ui {

class AnalysisJob;
class FlowLayout;
class MeasureTools;
class MetricsPanel;
class SourceChooser;
class SpectrogramPlot;
class SpectrumPlot;

// The spectrum view beside the window's controls: the plot of the last run's spectrum and band
// spectrum, reference spectra read from earlier spectrum files, a line cursor, the table of the peaks
// that stand out with harmonic markers, and saving the plot as a picture. It keeps nothing between
// program starts. Messages and file dialogs go through the PlatformUi; reference files are read
// through TextFiles. Its controls stand in groups that wrap onto further rows when the view narrows.
// Keys anywhere in the window: Ctrl+O opens a reference, Ctrl+S saves the picture, Ctrl+Shift+C copies
// the peak table (Ctrl+C too in the table), Ctrl+0 shows everything, Ctrl+R opens a recording,
// Ctrl+PageDown and Ctrl+PageUp turn the pages (the spectrum, the spectrogram); Ctrl+S and Ctrl+0 act on
// the page shown.
//
// Beside the plot, the analysis group: the view analyses a whole recording (the run's file, or one
// opened with "録音を開く") with its own window, averaging, overlap, detrend and units, reading the
// recording again off the window's thread whenever a setting needs it, with a progress bar and a
// cancel button; "1 ブロック" shows the run's block as its file holds it. A cancelled or failed reading
// leaves the view as it was. The averaged spectrum is saved as the batch's averaged file.
//
// Measurements: the plot's reference cursor and its readout (band RMS in the units shown), the
// frequency axis logarithmic or in orders of a running speed (the harmonic markers then at its orders),
// and "変換器の指標": the converter figures of the spectrum shown beside the plot, its lines shaded, the
// recording then averaged to half the rate as well.
class SpectrumPanel : public QWidget
{
    Q_OBJECT

public:
    // The role of the text a peak cell shows (readable); the cell's own text is what is copied.
    static constexpr int intShownTextRole = Qt::UserRole + 1;

    // Sound files are read through sounds, or through libsndfile when none is given.
    SpectrumPanel(platform::PlatformUi& ui, platform::TextFiles& files, QWidget* parent = nullptr);
    SpectrumPanel(platform::PlatformUi& ui, platform::TextFiles& files, platform::SoundFiles& sounds,
                  QWidget* parent = nullptr);
    ~SpectrumPanel() override;

    // Shows the spectra of a run that went through; the references stay, the view shows everything.
    // A run that names its file becomes the recording the analysis group reads.
    void showRun(const engine::RunSpectra& spectra);

    // Where a recording opened in the view takes the sampling frequency, the point count N and the
    // input range it does not state: the window's fields, as texts (the start-up values without one).
    void setFieldSource(std::function<engine::ControlContents()> fieldSource);
    // Who is asked for the column or channel of a recording (a dialog unless replaced).
    void setSourceChooser(SourceChooser& chooser);

    // Opens a recording as the "録音を開く" command does after its file dialog: the fields' values
    // checked, its column or channel asked for where it has several, then read off the window's thread.
    // A refusal shows its message and changes nothing; the result says whether the reading started.
    bool openRecording(const std::string& strPath);
    // The analysis settings as the group shows them; setting them starts a new reading where needed.
    ViewSettings settings() const;
    void setSettings(const ViewSettings& settings);
    // Whether a reading is running or its result is still being shown, and stopping it (the view stays
    // as it was).
    bool analysing() const;
    void cancelAnalysis();
    // The recording the view analyses, if any.
    const std::optional<ViewRecording>& recording() const
    {
        return viewRecording;
    }
    // Saves the averaged spectrum as shown (its settings and units) as kestrix-batch --average writes
    // it; refused with a message in single-block mode, without an averaged spectrum, or over the
    // recording itself. The result says whether the file was written.
    bool saveAverage(const std::string& strPath);

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
    SpectrogramPlot& spectrogramPlot() const
    {
        return *pltSpectrogram;
    }
    // The pages: the spectrum, and the spectrogram of the recording.
    QTabWidget& pages() const
    {
        return *tabPages;
    }
    // Saves the spectrogram as shown: SVG for a name ending in ".svg", else PNG. A failure is reported by
    // a message; the result says whether the file was written.
    bool saveSpectrogramImage(const QString& strPath);
    // The values of the spectrum shown, as a file in the shown units writes them (one per line from
    // 0 Hz), and the segment shown in place of the average, if one was picked.
    const std::vector<double>& shownValues() const
    {
        return shown.dblValues;
    }
    std::optional<std::int64_t> shownSegment() const;
    // Shows the spectrum of segment lngSegment (from 0) of the recording with the settings shown, read
    // off the window's thread; the averaged spectrum comes back with the next setting.
    void showSegment(std::int64_t lngSegment);
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

signals:
    // A reading has ended: shown, refused or cancelled.
    void analysisFinished();

private:
    struct Reference
    {
        std::string strPath;
        QString strName; // the legend's entry
        QColor color;
        std::vector<double> dblFreq;
        std::vector<double> dblValues; // as the file holds them, in scale
        engine::SpectrumScale scale;
        QString strUnits; // the file's units, to label a carried-over trace
    };

    // The spectrum the view shows, in the units shown.
    struct ShownSpectrum
    {
        QString strName;                   // the legend's entry
        std::vector<double> dblValues;     // as a file in these units writes them
        std::vector<double> dblPlot;       // as drawn: dBV as V rms
        std::vector<double> dblBandValues; // the run's band spectrum (single block only)
        std::vector<double> dblBandPlot;
        double dblDeltaFreq = 1.0;   // Hz between lines
        engine::SpectrumScale scale; // the units, and the bandwidth of a line
        engine::WindowKind window = engine::WindowKind::Rect;
        std::int32_t lngNumSamp = 0;
    };

    // A reading the job is making, and what becomes of the view when it is done.
    struct PendingReading
    {
        ViewRecording recording;
        ViewSettings settings;
        std::optional<std::int64_t> lngSegment; // one segment only
        std::shared_ptr<ViewReading> result;
    };

    // spectrum_panel.cpp: the controls, the traces and the cursor.
    void initialise();
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

    // spectrum_panel_shown.cpp: the spectrum shown in its units, and the references carried into them.
    void refreshShown();
    ShownSpectrum singleBlockSpectrum() const;
    ShownSpectrum averagedSpectrum(const ViewReading& reading, std::optional<std::int64_t> lngSegment) const;
    void fillPlotValues(ShownSpectrum& spectrum) const;
    engine::SpectrumScale targetScale(const Reference& reference) const;
    std::vector<double> referenceValues(const Reference& reference) const;
    std::vector<double> referencePlot(const Reference& reference) const;
    QString referenceLegend(const Reference& reference) const;
    void applyUnitsToPlot();

    // spectrum_panel_analysis.cpp: the analysis group, the readings and the averaged file.
    void createAnalysisControls();
    void arrangeAnalysisGroup();
    void connectAnalysisSignals();
    void startReading(PendingReading reading);
    void readingFinished();
    void acceptReading(const PendingReading& reading);
    void takeWholeReading(const PendingReading& reading);
    void refuseReading(const PendingReading& reading);
    void showControlsOf(const ViewSettings& settings);
    void refreshAnalysisState();
    bool choosePart(const std::string& strPath, ViewRecording& candidate);
    bool chooseColumn(const QString& strName, const engine::RecordingInfo& info, ViewRecording& candidate);
    bool takeFields(ViewRecording& candidate);
    void settingChanged();
    void cmdOpenRecording_Click();
    void cmdCancelAnalysis_Click();
    void cmdSaveAverage_Click();
    void tmrProgress_Timer();
    // spectrum_panel_peaks.cpp: the peak table and the harmonic markers.
    void refreshPeakTable();
    std::vector<engine::SpectrumPeak> shownPeaks() const;
    void fitPeakColumns();
    void refreshHarmonics();
    bool peakTableEvent(QObject* watched, QEvent* event);

    // spectrum_panel_spectrogram.cpp: the spectrogram page.
    void createSpectrogramPage();
    void connectSpectrogramSignals();
    void refreshSpectrogram();
    void showLevelRange();
    void refreshSpectrogramReadout();
    void spnLevelFloor_Changed(double dblFloor);
    void spnLevelTop_Changed(double dblTop);
    void pltSpectrogram_SegmentPicked(std::int64_t lngSegment);
    void cmdSaveSpectrogram_Click();
    bool eventFilter(QObject* watched, QEvent* event) override;

    // spectrum_panel_measure.cpp: the frequency axis's controls, the converter figures and the plot's
    // measurements in the units shown.
    void createMeasureControls();
    void connectMeasureSignals();
    void refreshMeasurements();
    void refreshLineScale();
    void refreshMetrics();
    std::optional<double> orderSpeedHz() const;
    QString orderText(double dblFreq, double dblSpacing) const; // "（2.00 次）" with the axis in orders
    void chkMetrics_Toggled(bool blnChecked);
    void chkSpectrogramLogFrequency_Toggled(bool blnChecked);

    // spectrum_panel_files.cpp: references and pictures.
    std::optional<QString> referenceRefusal(const std::string& strPath, engine::SpectrumReading& result);
    static std::pair<engine::SpectrumScale, QString> referenceScale(const engine::SpectrumReading& reading);
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
    std::unique_ptr<platform::SoundFiles> ownSounds; // without sound files given
    platform::SoundFiles& sounds;
    std::unique_ptr<SourceChooser> ownChooser;
    SourceChooser* chooser = nullptr;
    std::function<engine::ControlContents()> fieldSource;
    std::optional<engine::RunSpectra> run;
    std::optional<ViewRecording> viewRecording;
    std::shared_ptr<const ViewReading> lastReading; // of viewRecording with shownSettings
    std::shared_ptr<const ViewReading> segmentReading;
    std::optional<std::int64_t> lngShownSegment;
    ViewSettings shownSettings;
    ViewSettings lastReadingSettings; // what lastReading was read with
    QString strReadingNote;           // why the run's recording could not be read whole
    std::optional<PendingReading> pending;
    bool blnSpectrogramDue = false; // a reading's spectrogram is yet to be shown (on the next turn)
    ShownSpectrum shown;
    std::optional<bool> blnLogBeforeLevels; // the logarithmic axis before dBV took it over
    std::vector<Reference> references;
    std::vector<engine::SpectrumPeak> spectrumPeaks;
    int lngNextColour = 0;

    QTabWidget* tabPages = nullptr;
    QWidget* pgSpectrum = nullptr;
    QWidget* pgSpectrogram = nullptr;
    SpectrogramPlot* pltSpectrogram = nullptr;
    QDoubleSpinBox* spnLevelFloor = nullptr;
    QDoubleSpinBox* spnLevelTop = nullptr;
    QPushButton* cmdAutoLevels = nullptr;
    QPushButton* cmdSaveSpectrogram = nullptr;
    QLabel* lblSpectrogramCursor = nullptr;
    bool blnSpectrogramClicked = false; // the plot's last mouse release was a left click
    bool blnShowSegmentPage = false;    // the segment being read was picked by a click
    QGroupBox* grpAnalysis = nullptr;
    QComboBox* cboWindow = nullptr;
    QComboBox* cboAveraging = nullptr;
    QComboBox* cboOverlap = nullptr;
    QComboBox* cboDetrend = nullptr;
    QComboBox* cboUnits = nullptr;
    QPushButton* cmdOpenRecording = nullptr;
    QPushButton* cmdSaveAverage = nullptr;
    QProgressBar* prgAnalysis = nullptr;
    QPushButton* cmdCancelAnalysis = nullptr;
    QLabel* lblAnalysis = nullptr;
    QAction* actOpenRecording = nullptr;
    QAction* actNextPage = nullptr;
    QAction* actPreviousPage = nullptr;
    AnalysisJob* job = nullptr;
    QTimer* tmrProgress = nullptr;

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
    MeasureTools* measureTools = nullptr;
    QCheckBox* chkMetrics = nullptr;
    MetricsPanel* pnlMetrics = nullptr;
    QSplitter* splPlot = nullptr;
    QCheckBox* chkSpectrogramLogFrequency = nullptr;
    QAction* actCopyPeaks = nullptr; // Ctrl+C and the context menu of the table
    QAction* actOpenReference = nullptr;
    QAction* actSavePlot = nullptr;
    QAction* actCopyTable = nullptr;
    QAction* actResetZoom = nullptr;
};

} // namespace kestrix::ui
