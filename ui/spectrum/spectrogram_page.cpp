// SPDX-License-Identifier: GPL-3.0-or-later
#include "spectrogram_page.h"

#include "flow_layout.h"
#include "spectrogram_plot.h"
#include "spectrum_panel_text.h"
#include "view_document.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QVBoxLayout>

namespace kestrix::ui {
namespace {

constexpr double dblLevelLimit = 400.0; // dB: the levels a spin box offers, either way of 0 dBV
constexpr double dblLevelStep = 5.0;    // dB per arrow key

template <typename Control> Control* named(Control* control, const char* strName, const QString& strAccessible)
{
    control->setObjectName(QLatin1String(strName));
    control->setAccessibleName(strAccessible);
    return control;
}

QDoubleSpinBox* levelBox(QWidget* parent, const char* strName, const QString& strAccessible)
{
    auto* spin = named(new QDoubleSpinBox(parent), strName, strAccessible);
    spin->setRange(-dblLevelLimit, dblLevelLimit);
    spin->setDecimals(1);
    spin->setSingleStep(dblLevelStep);
    spin->setSuffix(QStringLiteral(" dBV"));
    spin->setKeyboardTracking(false); // a typed level counts once it is complete
    return spin;
}

} // namespace

SpectrogramPage::SpectrogramPage(ViewDocument& document, platform::PlatformUi& ui, QWidget* parent)
    : ViewPage(parent), document(document), ui(ui)
{
    setObjectName(QStringLiteral("pgSpectrogram"));
    createControls();
    arrangeControls();
    connectSignals();
    showSpectrogram();
}

void SpectrogramPage::createControls()
{
    pltSpectrogram = named(new SpectrogramPlot(this), "pltSpectrogram", tr("スペクトログラム"));
    const QString strHelp = tr("クリック・←→：その区間のスペクトルを表示　↑↓：周波数を 1 本ずつ\n"
                               "ドラッグ：拡大　右ドラッグ：移動　ホイール：時間の拡大縮小（Ctrl：周波数）\n"
                               "ダブルクリック・Home：全体表示");
    pltSpectrogram->setToolTip(strHelp);
    pltSpectrogram->setAccessibleDescription(strHelp);
    pltSpectrogram->installEventFilter(this);
    lblFloor = new QLabel(tr("色の範囲：下限(&F)"), this);
    lblFloor->setObjectName(QStringLiteral("lblLevelFloor"));
    spnLevelFloor = levelBox(this, "spnLevelFloor", tr("色の範囲の下限"));
    lblFloor->setBuddy(spnLevelFloor);
    lblTop = new QLabel(tr("上限(&T)"), this);
    lblTop->setObjectName(QStringLiteral("lblLevelTop"));
    spnLevelTop = levelBox(this, "spnLevelTop", tr("色の範囲の上限"));
    lblTop->setBuddy(spnLevelTop);
    cmdAutoLevels = named(new QPushButton(tr("自動"), this), "cmdAutoLevels", tr("色の範囲を自動で決める"));
    cmdAutoLevels->setToolTip(tr("最も高いレベルから、ノイズの床の少し下までを色の範囲にします"));
    chkSpectrogramLogFrequency = named(new QCheckBox(tr("対数周波数軸(&L)"), this), "chkSpectrogramLogFrequency",
                                       tr("スペクトログラムの周波数軸を対数目盛に"));
    chkSpectrogramLogFrequency->setToolTip(
        tr("周波数軸を対数目盛（1・2・5 の目盛）で表示します。0 Hz の線は表示されません"));
    cmdSaveSpectrogram =
        named(new QPushButton(tr("画像を保存..."), this), "cmdSaveSpectrogram", tr("スペクトログラムの画像を保存"));
    // A changing text: screen readers read the text itself, so no fixed name is set.
    lblSpectrogramCursor = new QLabel(this);
    lblSpectrogramCursor->setObjectName(QStringLiteral("lblSpectrogramCursor"));
    lblSpectrogramCursor->setAccessibleDescription(tr("スペクトログラムの値"));
    lblSpectrogramCursor->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lblSpectrogramCursor->setWordWrap(true);
}

void SpectrogramPage::arrangeControls()
{
    // The tools wrap onto further rows in a narrow view rather than be cut.
    auto* layTools = new FlowLayout;
    layTools->addGroup(*this, "grpLevelFloor", {lblFloor, spnLevelFloor});
    layTools->addGroup(*this, "grpLevelTop", {lblTop, spnLevelTop, cmdAutoLevels});
    layTools->addGroup(*this, "grpSpectrogramAxis", {chkSpectrogramLogFrequency, cmdSaveSpectrogram});
    auto* layPage = new QVBoxLayout(this);
    layPage->setContentsMargins(0, 0, 0, 0);
    layPage->addLayout(layTools);
    layPage->addWidget(pltSpectrogram, 1);
    layPage->addWidget(lblSpectrogramCursor);
}

void SpectrogramPage::connectSignals()
{
    connect(spnLevelFloor, &QDoubleSpinBox::valueChanged, this, &SpectrogramPage::spnLevelFloor_Changed);
    connect(spnLevelTop, &QDoubleSpinBox::valueChanged, this, &SpectrogramPage::spnLevelTop_Changed);
    connect(cmdAutoLevels, &QPushButton::clicked, pltSpectrogram, &SpectrogramPlot::resetLevelRange);
    connect(cmdSaveSpectrogram, &QPushButton::clicked, this, &SpectrogramPage::savePicture);
    connect(chkSpectrogramLogFrequency, &QCheckBox::toggled, pltSpectrogram, &SpectrogramPlot::setLogFrequency);
    connect(pltSpectrogram, &SpectrogramPlot::levelRangeChanged, this, [this] {
        strLevelNote.clear();
        showLevelRange();
        showReadout();
    });
    connect(pltSpectrogram, &SpectrogramPlot::readoutChanged, this, &SpectrogramPage::showReadout);
    connect(pltSpectrogram, &SpectrogramPlot::segmentPicked, this, [this](std::int64_t lngSegment) {
        // A click shows the segment's spectrum on its page; keys leave the spectrogram in front, to step on.
        const bool blnClicked = blnSpectrogramClicked;
        blnSpectrogramClicked = false;
        emit segmentPicked(lngSegment, blnClicked);
    });
    connect(&document, &ViewDocument::spectrogramChanged, this, &SpectrogramPage::showSpectrogram);
}

std::vector<QWidget*> SpectrogramPage::focusOrder() const
{
    return {spnLevelFloor, spnLevelTop, cmdAutoLevels, chkSpectrogramLogFrequency, cmdSaveSpectrogram, pltSpectrogram};
}

void SpectrogramPage::showSpectrogram()
{
    const std::shared_ptr<const engine::Spectrogram> spectrogram =
        document.reading() ? document.reading()->spectrogram : nullptr;
    if (pltSpectrogram->spectrogram() != spectrogram.get()) {
        if (spectrogram) {
            pltSpectrogram->setSpectrogram(spectrogram, document.reading()->levels);
        } else {
            pltSpectrogram->setSpectrogram(nullptr);
        }
    }
    for (QWidget* control :
         std::initializer_list<QWidget*>{spnLevelFloor, spnLevelTop, cmdAutoLevels, cmdSaveSpectrogram}) {
        control->setEnabled(spectrogram != nullptr);
    }
    showReadout();
    showLevelRange();
}

void SpectrogramPage::showReadout()
{
    QString strText = pltSpectrogram->readoutText();
    if (strText.isEmpty() && pltSpectrogram->spectrogram() == nullptr) {
        strText = tr("FFT を実行するか録音を開くと、録音全体の時間変化をここに表示します");
    } else if (strText.isEmpty()) {
        strText = tr("クリックした時刻の区間のスペクトルを「スペクトル」ページに表示します（←→ キーで 1 区間ずつ）");
    }
    if (!strLevelNote.isEmpty()) {
        strText += QLatin1Char('\n') + strLevelNote;
    }
    lblSpectrogramCursor->setText(strText);
}

void SpectrogramPage::showLevelRange()
{
    const engine::LevelRange& range = pltSpectrogram->levelRange();
    const QSignalBlocker blockFloor(spnLevelFloor);
    const QSignalBlocker blockTop(spnLevelTop);
    spnLevelFloor->setValue(range.dblFloor);
    spnLevelTop->setValue(range.dblTop);
}

void SpectrogramPage::spnLevelFloor_Changed(double dblFloor)
{
    // A floor at or above the top is not taken: the box shows the range in force again, and says why.
    if (!pltSpectrogram->setLevelFloor(dblFloor)) {
        strLevelNote = tr("下限 %1 dBV は上限 %2 dBV より低くしてください。色の範囲はそのままです。")
                           .arg(dblFloor, 0, 'f', 1)
                           .arg(pltSpectrogram->levelRange().dblTop, 0, 'f', 1);
        showLevelRange();
        showReadout();
    }
}

void SpectrogramPage::spnLevelTop_Changed(double dblTop)
{
    if (!pltSpectrogram->setLevelTop(dblTop)) {
        strLevelNote = tr("上限 %1 dBV は下限 %2 dBV より高くしてください。色の範囲はそのままです。")
                           .arg(dblTop, 0, 'f', 1)
                           .arg(pltSpectrogram->levelRange().dblFloor, 0, 'f', 1);
        showLevelRange();
        showReadout();
    }
}

void SpectrogramPage::showEverything()
{
    pltSpectrogram->resetView();
}

void SpectrogramPage::savePicture()
{
    if (pltSpectrogram->spectrogram() != nullptr) {
        savePlotPicture(*pltSpectrogram, ui, tr("スペクトログラムの画像を保存"),
                        document.proposedPictureName(QStringLiteral("SGRAM")));
    }
}

bool SpectrogramPage::saveImage(const QString& strPath)
{
    return writePlotPicture(*pltSpectrogram, ui, strPath);
}

bool SpectrogramPage::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == pltSpectrogram) {
        // Whether the segment the plot picks next comes from a click (its release) or from a key.
        if (event->type() == QEvent::MouseButtonRelease) {
            blnSpectrogramClicked = static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton;
        } else if (event->type() == QEvent::KeyPress || event->type() == QEvent::MouseButtonPress) {
            blnSpectrogramClicked = false;
        }
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace kestrix::ui
