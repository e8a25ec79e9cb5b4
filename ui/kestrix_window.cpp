// SPDX-License-Identifier: GPL-3.0-or-later
#include "kestrix_window.h"

#include "main_window.h"
#include "ui/spectrum/spectrum_panel.h"

#include <QHBoxLayout>
#include <QScreen>
#include <QScrollArea>

#include <algorithm>

namespace kestrix::ui {

namespace {

constexpr int lngPanelStartWidth = 1000; // px: the plot, and the analysis group beside it
constexpr int lngStartMinHeight = 760;   // px: the plot above the peak table
constexpr int lngPanelMargin = 6;        // px around the view
constexpr int lngViewMinWidth = 260;     // px: the smallest window still shows a usable piece of the view
// Room for the window frame, which is not known before the window is shown: a title bar and borders.
constexpr QSize sizFrameAllowance(16, 48);

} // namespace

KestrixWindow::KestrixWindow(platform::PlatformUi& ui, platform::TextFiles& files, platform::Clock& clock,
                             QWidget* parent)
    : QWidget(parent)
{
    frmMain = new FrmMain(ui, files, clock, this);
    pnlSpectrum = new SpectrumPanel(ui, files, this);
    arrange();
}

KestrixWindow::KestrixWindow(platform::PlatformUi& ui, platform::TextFiles& files, platform::Clock& clock,
                             platform::SoundFiles& sounds, QWidget* parent)
    : QWidget(parent)
{
    frmMain = new FrmMain(ui, files, clock, this);
    pnlSpectrum = new SpectrumPanel(ui, files, sounds, this);
    arrange();
}

void KestrixWindow::arrange()
{
    setObjectName(QStringLiteral("wndKestrix"));
    setWindowTitle(QStringLiteral("Kestrix"));

    // The view scrolls when the window is smaller than it needs (a small screen, a large scale), so the
    // window can always be made to fit and nothing of the view is cut off.
    scrSpectrum = new QScrollArea(this);
    scrSpectrum->setObjectName(QStringLiteral("scrSpectrum"));
    scrSpectrum->setFrameShape(QFrame::NoFrame);
    scrSpectrum->setFocusPolicy(Qt::NoFocus);
    scrSpectrum->setWidgetResizable(true);
    scrSpectrum->setWidget(pnlSpectrum);
    scrSpectrum->setMinimumWidth(lngViewMinWidth);
    pnlSpectrum->setContentsMargins(lngPanelMargin, lngPanelMargin, lngPanelMargin, lngPanelMargin);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(frmMain, 0, Qt::AlignLeft | Qt::AlignTop);
    layout->addWidget(scrSpectrum, 1);
    resize(startSize());

    // The view's controls follow the window's own in the focus order; Tab from the last of them
    // comes back to cmdFFT.
    std::vector<QWidget*> controls = frmMain->focusOrder();
    const std::vector<QWidget*> viewControls = pnlSpectrum->focusOrder();
    controls.insert(controls.end(), viewControls.begin(), viewControls.end());
    for (std::size_t i = 1; i < controls.size(); ++i) {
        setTabOrder(controls[i - 1], controls[i]);
    }
    connect(frmMain, &FrmMain::runCompleted, pnlSpectrum, &SpectrumPanel::showRun);
    pnlSpectrum->setFieldSource([this] { return frmMain->controlContents(); });
}

QSize KestrixWindow::startSize() const
{
    const QSize sizWanted(frmMain->width() + lngPanelStartWidth, std::max(frmMain->height(), lngStartMinHeight));
    const QScreen* display = screen();
    if (display == nullptr) {
        return sizWanted;
    }
    // Within the screen's free area, but never below what the controls of frmMain need.
    const QSize sizRoom = display->availableGeometry().size() - sizFrameAllowance;
    return sizWanted.boundedTo(sizRoom).expandedTo(minimumSizeHint());
}

} // namespace kestrix::ui
