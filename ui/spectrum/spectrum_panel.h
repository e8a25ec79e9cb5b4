// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/run/analysis.h"
#include "engine/run/analysis_parameters.h"
#include "engine/view/peaks.h"
#include "peak_panel.h"
#include "platform/platform_ui.h"
#include "platform/sound_files.h"
#include "platform/text_files.h"
#include "view_analysis.h"

#include <QString>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QAction;
class QBoxLayout;
class QTableWidget;
class QTabWidget;

namespace kestrix::ui {

class AnalysisPanel;
class SourceChooser;
class SpectrogramPage;
class SpectrogramPlot;
class SpectrumPage;
class SpectrumPlot;
class ViewDocument;
class ViewPage;

// The spectrum view beside the window's controls, and the one place its parts are wired: the document
// (what the view is about), its pages as tabs (the spectrum, the spectrogram; a new page is one widget
// and one line in the constructor) and the analysis settings, beside the pages where the view is wide
// and below them where it is narrow, so no control needs a horizontal scroll bar. It keeps nothing
// between program starts. Messages and file dialogs go through the PlatformUi; files are read through
// TextFiles, sound files through SoundFiles (libsndfile unless given).
// Keys anywhere in the window: Ctrl+O opens a reference, Ctrl+S saves the picture of the page shown,
// Ctrl+Shift+C copies the peak table (Ctrl+C too in the table), Ctrl+0 shows everything of the page
// shown, Ctrl+R opens a recording, Ctrl+PageDown and Ctrl+PageUp turn the pages.
class SpectrumPanel : public QWidget
{
    Q_OBJECT

public:
    // The role of the text a peak cell shows (readable); the cell's own text is what is copied.
    static constexpr int intShownTextRole = PeakPanel::intShownTextRole;

    SpectrumPanel(platform::PlatformUi& ui, platform::TextFiles& files, QWidget* parent = nullptr);
    SpectrumPanel(platform::PlatformUi& ui, platform::TextFiles& files, platform::SoundFiles& sounds,
                  QWidget* parent = nullptr);
    ~SpectrumPanel() override;

    ViewDocument& document() const
    {
        return *viewDocument;
    }
    SpectrumPage& spectrumPage() const
    {
        return *pgSpectrum;
    }
    SpectrogramPage& spectrogramPage() const
    {
        return *pgSpectrogram;
    }

    // The document's commands as the view's user and its tests reach them (see ViewDocument).
    void showRun(const engine::RunSpectra& spectra);
    void setFieldSource(std::function<engine::ControlContents()> fieldSource);
    void setSourceChooser(SourceChooser& chooser);
    bool openRecording(const std::string& strPath);
    ViewSettings settings() const;
    void setSettings(const ViewSettings& settings);
    bool analysing() const;
    void cancelAnalysis();
    const std::optional<ViewRecording>& recording() const;
    bool saveAverage(const std::string& strPath);
    const std::vector<double>& shownValues() const;
    std::optional<std::int64_t> shownSegment() const;
    void showSegment(std::int64_t lngSegment);

    // The pages' commands and parts (see SpectrumPage, PeakPanel, SpectrogramPage).
    bool openReference(const std::string& strPath);
    void removeReference(int lngIndex);
    int referenceCount() const;
    bool savePlotImage(const QString& strPath);
    QString proposedImageName() const;
    QString peakTableText() const;
    QString cursorText() const;
    bool saveSpectrogramImage(const QString& strPath);
    SpectrumPlot& plot() const;
    SpectrogramPlot& spectrogramPlot() const;
    QTableWidget& peakTable() const;
    const std::vector<engine::SpectrumPeak>& peaks() const;
    QTabWidget& pages() const
    {
        return *tabPages;
    }

    // The view's controls in their focus order, to chain them after the window's own.
    std::vector<QWidget*> focusOrder() const;

signals:
    // A reading has ended: shown, refused or cancelled.
    void analysisFinished();

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void initialise(platform::PlatformUi& ui, platform::TextFiles& files);
    void addPage(ViewPage* page, const QString& strTitle);
    void createShortcuts();
    void arrange();
    ViewPage& currentPage() const;

    std::unique_ptr<platform::SoundFiles> ownSounds; // without sound files given
    platform::SoundFiles& sounds;
    std::unique_ptr<SourceChooser> ownChooser;
    ViewDocument* viewDocument = nullptr;
    QTabWidget* tabPages = nullptr;
    SpectrumPage* pgSpectrum = nullptr;
    SpectrogramPage* pgSpectrogram = nullptr;
    AnalysisPanel* pnlAnalysis = nullptr;
    QBoxLayout* layView = nullptr;
    bool blnShowSegmentPage = false; // the segment being read was picked by a click
};

} // namespace kestrix::ui
