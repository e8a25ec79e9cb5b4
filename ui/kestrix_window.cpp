#include "kestrix_window.h"

#include "main_window.h"
#include "ui/spectrum/spectrum_panel.h"

#include <QHBoxLayout>

namespace kestrix::ui {

namespace {

constexpr int lngPanelMinWidth = 520;   // px: axes, legend and the peak table's columns
constexpr int lngPanelStartWidth = 760; // px
constexpr int lngStartMinHeight = 640;  // px: the plot above the peak table
constexpr int lngPanelMargin = 6;       // px around the view

} // namespace

KestrixWindow::KestrixWindow(platform::PlatformUi& ui, platform::TextFiles& files, platform::Clock& clock,
                             QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("wndKestrix"));
    setWindowTitle(QStringLiteral("Kestrix"));
    frmMain = new FrmMain(ui, files, clock, this);
    pnlSpectrum = new SpectrumPanel(ui, files, this);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(frmMain, 0, Qt::AlignLeft | Qt::AlignTop);
    layout->addWidget(pnlSpectrum, 1);
    pnlSpectrum->setMinimumWidth(lngPanelMinWidth);
    pnlSpectrum->setContentsMargins(lngPanelMargin, lngPanelMargin, lngPanelMargin, lngPanelMargin);
    resize(frmMain->width() + lngPanelStartWidth, std::max(frmMain->height(), lngStartMinHeight));

    // The view's controls follow the window's own in the focus order; Tab from the last of them
    // comes back to cmdFFT.
    std::vector<QWidget*> controls = frmMain->focusOrder();
    const std::vector<QWidget*> viewControls = pnlSpectrum->focusOrder();
    controls.insert(controls.end(), viewControls.begin(), viewControls.end());
    for (std::size_t i = 1; i < controls.size(); ++i) {
        setTabOrder(controls[i - 1], controls[i]);
    }
    connect(frmMain, &FrmMain::runCompleted, pnlSpectrum, &SpectrumPanel::showRun);
}

} // namespace kestrix::ui
