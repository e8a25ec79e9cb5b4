// SPDX-License-Identifier: GPL-3.0-or-later
#include "spectrum_panel.h"

#include "analysis_panel.h"
#include "octave_page.h"
#include "platform/sndfile/sndfile_sound_files.h"
#include "source_chooser.h"
#include "spectrogram_page.h"
#include "spectrogram_plot.h"
#include "spectrum_page.h"
#include "spectrum_plot.h"
#include "transfer_page.h"
#include "view_document.h"

#include <QAction>
#include <QBoxLayout>
#include <QKeyEvent>
#include <QPushButton>
#include <QResizeEvent>
#include <QTabBar>
#include <QTabWidget>

#include <tuple>

namespace kestrix::ui {
namespace {

constexpr int intGroupBeside = 900; // px: narrower, the analysis settings go below the pages

// A command's tooltip with its shortcut, as menus show it.
QString withShortcut(const QString& strText, const QKeySequence& keys)
{
    return QStringLiteral("%1 (%2)").arg(strText, keys.toString(QKeySequence::NativeText));
}

} // namespace

SpectrumPanel::SpectrumPanel(platform::PlatformUi& ui, platform::TextFiles& files, QWidget* parent)
    : QWidget(parent), ownSounds(std::make_unique<platform::SndfileSoundFiles>()), sounds(*ownSounds)
{
    initialise(ui, files);
}

SpectrumPanel::SpectrumPanel(platform::PlatformUi& ui, platform::TextFiles& files, platform::SoundFiles& sounds,
                             QWidget* parent)
    : QWidget(parent), sounds(sounds)
{
    initialise(ui, files);
}

SpectrumPanel::~SpectrumPanel()
{
    // Nothing may reach the document or a page while they go (a field that loses the focus as it goes
    // finishes its editing); the pages go before the document they show, and the document's reading
    // stops before the files it reads.
    for (QObject* child : findChildren<QObject*>()) {
        child->blockSignals(true);
    }
    delete tabPages;
    delete pnlAnalysis;
    delete viewDocument;
}

void SpectrumPanel::initialise(platform::PlatformUi& ui, platform::TextFiles& files)
{
    setObjectName(QStringLiteral("pnlSpectrum"));
    ownChooser = std::make_unique<DialogSourceChooser>(this);
    viewDocument = new ViewDocument(ui, files, sounds, this);
    viewDocument->setSourceChooser(*ownChooser);
    tabPages = new QTabWidget(this);
    tabPages->setObjectName(QStringLiteral("tabPages"));
    tabPages->setAccessibleName(tr("表示"));
    tabPages->tabBar()->setObjectName(QStringLiteral("tabPagesBar"));
    tabPages->tabBar()->setAccessibleName(tr("表示するページ"));
    tabPages->setDocumentMode(true);
    // The pages, each a widget of its own over the one document.
    pgSpectrum = new SpectrumPage(*viewDocument, ui, files, tabPages);
    addPage(pgSpectrum, tr("スペクトル"));
    pgSpectrogram = new SpectrogramPage(*viewDocument, ui, tabPages);
    addPage(pgSpectrogram, tr("スペクトログラム"));
    addPage(new OctavePage(*viewDocument, ui, tabPages), tr("オクターブ"));
    addPage(new TransferPage(*viewDocument, ui, tabPages), tr("2 チャンネル"));
    pnlAnalysis = new AnalysisPanel(*viewDocument, ui, this);
    createShortcuts();
    arrange();
    connect(viewDocument, &ViewDocument::analysisFinished, this, [this] {
        blnShowSegmentPage = false;
        emit analysisFinished();
    });
    connect(viewDocument, &ViewDocument::spectrumChanged, this, [this] {
        if (blnShowSegmentPage && viewDocument->shownSegment()) {
            tabPages->setCurrentWidget(pgSpectrum);
        }
    });
    connect(pgSpectrogram, &SpectrogramPage::segmentPicked, this, [this](std::int64_t lngSegment, bool blnClicked) {
        // A click shows the segment's spectrum on its page; keys leave the spectrogram in front, to step on.
        blnShowSegmentPage = blnClicked;
        viewDocument->showSegment(lngSegment);
    });
}

void SpectrumPanel::addPage(ViewPage* page, const QString& strTitle)
{
    tabPages->addTab(page, strTitle);
}

ViewPage& SpectrumPanel::currentPage() const
{
    return *static_cast<ViewPage*>(tabPages->currentWidget());
}

void SpectrumPanel::createShortcuts()
{
    const auto shortcut = [this](const QKeySequence& keys, const char* strButton, auto handler) {
        auto* action = new QAction(this);
        action->setShortcut(keys);
        action->setShortcutContext(Qt::WindowShortcut);
        addAction(action);
        connect(action, &QAction::triggered, this, handler);
        if (auto* cmd = findChild<QPushButton*>(QLatin1String(strButton))) {
            cmd->setToolTip(withShortcut(cmd->accessibleName(), keys));
        }
        return action;
    };
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_O), "cmdOpenReference", [this] { pgSpectrum->openReferenceDialog(); });
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_S), "cmdSavePlot", [this] { currentPage().savePicture(); });
    shortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C), "cmdCopyPeaks",
             [this] { pgSpectrum->peaks().copyTable(); });
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_0), "cmdResetZoom", [this] { currentPage().showEverything(); });
    if (auto* cmd = findChild<QPushButton*>(QStringLiteral("cmdCopyPeaks"))) {
        cmd->setToolTip(cmd->toolTip() + tr("　表の中では Ctrl+C でも"));
    }
    if (auto* cmd = findChild<QPushButton*>(QStringLiteral("cmdSaveSpectrogram"))) {
        cmd->setToolTip(withShortcut(cmd->accessibleName(), QKeySequence(Qt::CTRL | Qt::Key_S)));
    }
    addAction(pnlAnalysis->openRecordingAction());
    // The pages from anywhere in the window. Ctrl+Tab keeps its old meaning (none) so that it never
    // moves the view away under the keyboard.
    for (const auto& [keys, intStep] : {std::tuple{Qt::Key_PageDown, 1}, std::tuple{Qt::Key_PageUp, -1}}) {
        shortcut(QKeySequence(Qt::CTRL | keys), "", [this, intStep = intStep] {
            tabPages->setCurrentIndex((tabPages->currentIndex() + intStep + tabPages->count()) % tabPages->count());
        });
    }
    tabPages->installEventFilter(this);
    tabPages->setToolTip(tr("ページの切り替え：Ctrl+PageDown / Ctrl+PageUp"));
}

void SpectrumPanel::arrange()
{
    layView = new QBoxLayout(QBoxLayout::LeftToRight, this);
    layView->setContentsMargins(0, 0, 0, 0);
    layView->addWidget(tabPages, 1);
    layView->addWidget(pnlAnalysis, 0);
    const std::vector<QWidget*> controls = focusOrder();
    for (std::size_t i = 1; i < controls.size(); ++i) {
        QWidget::setTabOrder(controls[i - 1], controls[i]);
    }
}

void SpectrumPanel::resizeEvent(QResizeEvent* event)
{
    // The settings beside the pages where both have room, else below them: the view then needs no more
    // width than a page.
    const int intBeside = std::max(intGroupBeside, tabPages->minimumSizeHint().width() +
                                                       pnlAnalysis->minimumSizeHint().width() + layView->spacing());
    const auto direction = event->size().width() >= intBeside ? QBoxLayout::LeftToRight : QBoxLayout::TopToBottom;
    if (layView->direction() != direction) {
        layView->setDirection(direction);
    }
    QWidget::resizeEvent(event);
}

std::vector<QWidget*> SpectrumPanel::focusOrder() const
{
    // The spectrum page's controls, the analysis settings', then the page tabs and the other pages'.
    std::vector<QWidget*> controls = pgSpectrum->focusOrder();
    const auto append = [&controls](const std::vector<QWidget*>& more) {
        controls.insert(controls.end(), more.begin(), more.end());
    };
    append(pnlAnalysis->focusOrder());
    append({tabPages->tabBar()});
    for (int intPage = 1; intPage < tabPages->count(); ++intPage) {
        append(static_cast<const ViewPage*>(tabPages->widget(intPage))->focusOrder());
    }
    return controls;
}

bool SpectrumPanel::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == tabPages && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if ((key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) && key->modifiers() & Qt::ControlModifier) {
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void SpectrumPanel::showRun(const engine::RunSpectra& spectra)
{
    viewDocument->showRun(spectra);
}

void SpectrumPanel::setFieldSource(std::function<engine::ControlContents()> fieldSource)
{
    viewDocument->setFieldSource(std::move(fieldSource));
}

void SpectrumPanel::setSourceChooser(SourceChooser& chooser)
{
    viewDocument->setSourceChooser(chooser);
}

bool SpectrumPanel::openRecording(const std::string& strPath)
{
    return viewDocument->openRecording(strPath);
}

ViewSettings SpectrumPanel::settings() const
{
    return viewDocument->settings();
}

void SpectrumPanel::setSettings(const ViewSettings& settings)
{
    viewDocument->setSettings(settings);
}

bool SpectrumPanel::analysing() const
{
    return viewDocument->analysing();
}

void SpectrumPanel::cancelAnalysis()
{
    viewDocument->cancelAnalysis();
}

const std::optional<ViewRecording>& SpectrumPanel::recording() const
{
    return viewDocument->recording();
}

bool SpectrumPanel::saveAverage(const std::string& strPath)
{
    return viewDocument->saveAverage(strPath);
}

const std::vector<double>& SpectrumPanel::shownValues() const
{
    return viewDocument->shown().dblValues;
}

std::optional<std::int64_t> SpectrumPanel::shownSegment() const
{
    return viewDocument->shownSegment();
}

void SpectrumPanel::showSegment(std::int64_t lngSegment)
{
    viewDocument->showSegment(lngSegment);
}

bool SpectrumPanel::openReference(const std::string& strPath)
{
    return pgSpectrum->openReference(strPath);
}

void SpectrumPanel::removeReference(int lngIndex)
{
    pgSpectrum->removeReference(lngIndex);
}

int SpectrumPanel::referenceCount() const
{
    return static_cast<int>(pgSpectrum->references().references().size());
}

bool SpectrumPanel::savePlotImage(const QString& strPath)
{
    return pgSpectrum->savePlotImage(strPath);
}

QString SpectrumPanel::proposedImageName() const
{
    return pgSpectrum->proposedImageName();
}

QString SpectrumPanel::peakTableText() const
{
    return pgSpectrum->peaks().tableText();
}

QString SpectrumPanel::cursorText() const
{
    return pgSpectrum->cursorText();
}

bool SpectrumPanel::saveSpectrogramImage(const QString& strPath)
{
    return pgSpectrogram->saveImage(strPath);
}

SpectrumPlot& SpectrumPanel::plot() const
{
    return pgSpectrum->plot();
}

SpectrogramPlot& SpectrumPanel::spectrogramPlot() const
{
    return pgSpectrogram->plot();
}

QTableWidget& SpectrumPanel::peakTable() const
{
    return pgSpectrum->peaks().table();
}

const std::vector<engine::SpectrumPeak>& SpectrumPanel::peaks() const
{
    return pgSpectrum->peaks().peaks();
}

} // namespace kestrix::ui
