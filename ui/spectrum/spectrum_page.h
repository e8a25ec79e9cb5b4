// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/platform_ui.h"
#include "platform/text_files.h"
#include "reference_list.h"
#include "view_page.h"

#include <QString>

#include <optional>
#include <vector>

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QSplitter;

namespace kestrix::ui {

class EnvelopeTools;
class FlowLayout;
class LevelsPanel;
class MeasureTools;
class MetricsPanel;
class PeakPanel;
class SpectrumPlot;
class ViewDocument;

// The spectrum page: the document's spectrum in the units shown on the plot, the reference spectra read
// from earlier spectrum files laid beside it, the cursor and its readout (band RMS and the sum of two
// tones between two cursors), the frequency axis logarithmic or in orders of a running speed, the
// converter figures beside the plot with the lines they counted shaded, the table of the peaks that
// stand out with harmonic markers, the condition measures beside the plot, the envelope's spectrum in
// place of the spectrum (EnvelopeTools), and the plot saved as a picture. The cursors' places and the running
// speed are the document's (in Hz); the references are the page's own.
class SpectrumPage final : public ViewPage
{
    Q_OBJECT

public:
    SpectrumPage(ViewDocument& document, platform::PlatformUi& ui, platform::TextFiles& files,
                 QWidget* parent = nullptr);

    SpectrumPlot& plot() const
    {
        return *pltSpectrum;
    }
    PeakPanel& peaks() const
    {
        return *pnlPeaks;
    }
    MetricsPanel& metrics() const
    {
        return *pnlMetrics;
    }
    LevelsPanel& levels() const
    {
        return *pnlLevels;
    }
    const ReferenceList& references() const
    {
        return referenceList;
    }
    std::vector<QWidget*> focusOrder() const override;
    void savePicture() override;
    void showEverything() override;

    // Reads a spectrum file as a reference trace (see ReferenceList::open); a refusal is shown as a
    // message. The result says whether it was added.
    bool openReference(const std::string& strPath);
    void openReferenceDialog();
    // Removes reference lngIndex (0 = the first opened); nothing for an index out of range.
    void removeReference(int lngIndex);
    // Saves the plot as shown in the format its name asks for: PNG (.png), JPEG (.jpg, .jpeg) or SVG
    // (.svg). Another name, or a failure, is reported by a message; the result says whether the file
    // was written.
    bool savePlotImage(const QString& strPath);
    // The name the save dialog proposes: beside the recording shown, naming its segment (see
    // ViewDocument::proposedPictureName).
    QString proposedImageName() const;
    // The cursor readout as shown: readable values, the references' values at the cursor, and the line
    // as the spectrum file writes it.
    QString cursorText() const;

private:
    // spectrum_page.cpp: the controls, their places, and what the document tells.
    void createControls();
    void arrangeControls();
    void connectSignals();
    void showSpectrum(bool blnNewView);
    void applyUnits();
    void refreshTraces();
    void applyCursors();
    std::optional<std::size_t> lineOf(const std::optional<double>& dblHz) const;
    void plot_CursorChanged();
    void refreshMetrics();
    void chkMetrics_Toggled(bool blnChecked);
    void chkLevels_Toggled(bool blnChecked);
    void showBesidePlot(QWidget& panel, bool blnShown);
    void resizeEvent(QResizeEvent* event) override;

    // spectrum_page_readout.cpp: the readouts, the markers and the references.
    void refreshLineScale();
    void refreshCursorText();
    QString referenceReadout(double dblFreq) const;
    QString orderText(double dblFreq, double dblSpacing) const;
    void refreshHarmonics();
    engine::SpectrumScale referenceTarget(const Reference& reference) const;
    bool comparable(const Reference& reference) const;

    ViewDocument& document;
    platform::PlatformUi& ui;
    ReferenceList referenceList;
    std::optional<bool> blnLogBeforeLevels; // the logarithmic axis before dBV took it over
    bool blnApplyingCursors = false;        // the plot follows the document: not told back

    QCheckBox* chkLogScale = nullptr;
    QPushButton* cmdResetZoom = nullptr;
    QPushButton* cmdOpenReference = nullptr;
    QComboBox* cboReferences = nullptr;
    QPushButton* cmdRemoveReference = nullptr;
    QPushButton* cmdSavePlot = nullptr;
    QCheckBox* chkMetrics = nullptr;
    QCheckBox* chkLevels = nullptr;
    MeasureTools* measureTools = nullptr;
    EnvelopeTools* envelopeTools = nullptr;
    FlowLayout* layTools = nullptr;
    SpectrumPlot* pltSpectrum = nullptr;
    MetricsPanel* pnlMetrics = nullptr;
    LevelsPanel* pnlLevels = nullptr;
    QSplitter* splPlot = nullptr;
    QLabel* lblCursor = nullptr;
    PeakPanel* pnlPeaks = nullptr;
};

} // namespace kestrix::ui
