// SPDX-License-Identifier: GPL-3.0-or-later
// The spectrum view's second page: the spectrogram of the recording read with the group's settings,
// its dB range, its cursor readout, its picture, and a segment picked on it shown on the spectrum page.

#include "spectrogram_plot.h"
#include "spectrum_panel.h"
#include "spectrum_panel_text.h"

#include <QCheckBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QTabWidget>
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

void SpectrumPanel::createSpectrogramPage()
{
    pgSpectrogram = new QWidget(tabPages);
    pgSpectrogram->setObjectName(QStringLiteral("pgSpectrogram"));
    pltSpectrogram = named(new SpectrogramPlot(pgSpectrogram), "pltSpectrogram", tr("スペクトログラム"));
    const QString strHelp = tr("クリック・←→：その区間のスペクトルを表示　↑↓：周波数を 1 本ずつ\n"
                               "ドラッグ：拡大　右ドラッグ：移動　ホイール：時間の拡大縮小（Ctrl：周波数）\n"
                               "ダブルクリック・Home：全体表示");
    pltSpectrogram->setToolTip(strHelp);
    pltSpectrogram->setAccessibleDescription(strHelp);
    pltSpectrogram->installEventFilter(this);
    auto* lblFloor = new QLabel(tr("色の範囲：下限(&F)"), pgSpectrogram);
    lblFloor->setObjectName(QStringLiteral("lblLevelFloor"));
    spnLevelFloor = levelBox(pgSpectrogram, "spnLevelFloor", tr("色の範囲の下限"));
    lblFloor->setBuddy(spnLevelFloor);
    auto* lblTop = new QLabel(tr("上限(&T)"), pgSpectrogram);
    lblTop->setObjectName(QStringLiteral("lblLevelTop"));
    spnLevelTop = levelBox(pgSpectrogram, "spnLevelTop", tr("色の範囲の上限"));
    lblTop->setBuddy(spnLevelTop);
    cmdAutoLevels = named(new QPushButton(tr("自動"), pgSpectrogram), "cmdAutoLevels", tr("色の範囲を自動で決める"));
    cmdAutoLevels->setToolTip(tr("最も高いレベルから、ノイズの床の少し下までを色の範囲にします"));
    chkSpectrogramLogFrequency = named(new QCheckBox(tr("対数周波数軸(&L)"), pgSpectrogram),
                                       "chkSpectrogramLogFrequency", tr("スペクトログラムの周波数軸を対数目盛に"));
    chkSpectrogramLogFrequency->setToolTip(
        tr("周波数軸を対数目盛（1・2・5 の目盛）で表示します。0 Hz の線は表示されません"));
    cmdSaveSpectrogram = named(new QPushButton(tr("画像を保存..."), pgSpectrogram), "cmdSaveSpectrogram",
                               tr("スペクトログラムの画像を保存"));
    lblSpectrogramCursor = named(new QLabel(pgSpectrogram), "lblSpectrogramCursor", tr("スペクトログラムの値"));
    lblSpectrogramCursor->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lblSpectrogramCursor->setWordWrap(true);

    auto* layTools = new QHBoxLayout;
    for (QWidget* control : std::initializer_list<QWidget*>{lblFloor, spnLevelFloor, lblTop, spnLevelTop, cmdAutoLevels,
                                                            chkSpectrogramLogFrequency}) {
        layTools->addWidget(control);
    }
    layTools->addStretch(1);
    layTools->addWidget(cmdSaveSpectrogram);
    auto* layPage = new QVBoxLayout(pgSpectrogram);
    layPage->setContentsMargins(0, 0, 0, 0);
    layPage->addLayout(layTools);
    layPage->addWidget(pltSpectrogram, 1);
    layPage->addWidget(lblSpectrogramCursor);
}

void SpectrumPanel::connectSpectrogramSignals()
{
    connect(spnLevelFloor, &QDoubleSpinBox::valueChanged, this, &SpectrumPanel::spnLevelFloor_Changed);
    connect(spnLevelTop, &QDoubleSpinBox::valueChanged, this, &SpectrumPanel::spnLevelTop_Changed);
    connect(cmdAutoLevels, &QPushButton::clicked, pltSpectrogram, &SpectrogramPlot::resetLevelRange);
    connect(cmdSaveSpectrogram, &QPushButton::clicked, this, &SpectrumPanel::cmdSaveSpectrogram_Click);
    connect(pltSpectrogram, &SpectrogramPlot::levelRangeChanged, this, [this] { showLevelRange(); });
    connect(pltSpectrogram, &SpectrogramPlot::readoutChanged, this, [this] { refreshSpectrogramReadout(); });
    connect(pltSpectrogram, &SpectrogramPlot::segmentPicked, this, &SpectrumPanel::pltSpectrogram_SegmentPicked);
}

void SpectrumPanel::refreshSpectrogram()
{
    const std::shared_ptr<const engine::Spectrogram> spectrogram = lastReading ? lastReading->spectrogram : nullptr;
    if (pltSpectrogram->spectrogram() != spectrogram.get()) {
        if (spectrogram) {
            pltSpectrogram->setSpectrogram(spectrogram, lastReading->levels);
        } else {
            pltSpectrogram->setSpectrogram(nullptr);
        }
    }
    const bool blnShown = spectrogram != nullptr;
    for (QWidget* control :
         std::initializer_list<QWidget*>{spnLevelFloor, spnLevelTop, cmdAutoLevels, cmdSaveSpectrogram}) {
        control->setEnabled(blnShown);
    }
    refreshSpectrogramReadout();
    showLevelRange();
}

void SpectrumPanel::refreshSpectrogramReadout()
{
    const QString strReadout = pltSpectrogram->readoutText();
    if (!strReadout.isEmpty()) {
        lblSpectrogramCursor->setText(strReadout);
    } else if (pltSpectrogram->spectrogram() == nullptr) {
        lblSpectrogramCursor->setText(tr("FFT を実行するか録音を開くと、録音全体の時間変化をここに表示します"));
    } else {
        lblSpectrogramCursor->setText(tr("クリックした時刻の区間のスペクトルを「スペクトル」ページに表示します"
                                         "（←→ キーで 1 区間ずつ）"));
    }
}

void SpectrumPanel::showLevelRange()
{
    const engine::LevelRange& range = pltSpectrogram->levelRange();
    const QSignalBlocker blockFloor(spnLevelFloor);
    const QSignalBlocker blockTop(spnLevelTop);
    spnLevelFloor->setValue(range.dblFloor);
    spnLevelTop->setValue(range.dblTop);
}

void SpectrumPanel::spnLevelFloor_Changed(double dblFloor)
{
    // A floor at or above the top is not taken: the box shows the range in force again.
    if (!pltSpectrogram->setLevelFloor(dblFloor)) {
        showLevelRange();
    }
}

void SpectrumPanel::spnLevelTop_Changed(double dblTop)
{
    if (!pltSpectrogram->setLevelTop(dblTop)) {
        showLevelRange();
    }
}

void SpectrumPanel::pltSpectrogram_SegmentPicked(std::int64_t lngSegment)
{
    // A click shows the segment's spectrum on its page; keys leave the spectrogram in front, to step on.
    blnShowSegmentPage = blnSpectrogramClicked;
    blnSpectrogramClicked = false;
    showSegment(lngSegment);
}

void SpectrumPanel::cmdSaveSpectrogram_Click()
{
    if (pltSpectrogram->spectrogram() == nullptr) {
        return;
    }
    platform::SaveFileRequest request;
    request.strTitle = tr("スペクトログラムの画像を保存").toStdString();
    request.strFilter = tr("PNG 画像 (*.png)|*.png|SVG 画像 (*.svg)|*.svg").toStdString();
    if (viewRecording) {
        const QFileInfo recording(fromUtf8(viewRecording->strPath));
        request.strInitialFileName =
            QFile::encodeName(recording.dir().filePath(recording.completeBaseName() + QStringLiteral("_SGRAM.png")))
                .toStdString();
    }
    if (const std::optional<std::string> strPath = ui.chooseSaveFile(request)) {
        saveSpectrogramImage(QFile::decodeName(QByteArray::fromStdString(*strPath)));
    }
}

bool SpectrumPanel::saveSpectrogramImage(const QString& strPath)
{
    QString strError;
    if (pltSpectrogram->saveImage(strPath, strError)) {
        return true;
    }
    ui.showMessage(tr("画像を保存できませんでした。\n%1\n%2").arg(strPath, strError).toStdString(),
                   platform::MessageStyle::Exclamation);
    return false;
}

bool SpectrumPanel::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == pltSpectrogram) {
        // Whether the segment the plot picks next comes from a click (its release) or from a key.
        if (event->type() == QEvent::MouseButtonRelease) {
            blnSpectrogramClicked = static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton;
        } else if (event->type() == QEvent::KeyPress || event->type() == QEvent::MouseButtonPress) {
            blnSpectrogramClicked = false;
        }
    }
    if (watched == tabPages && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if ((key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) && key->modifiers() & Qt::ControlModifier) {
            return true;
        }
    }
    return peakTableEvent(watched, event) || QWidget::eventFilter(watched, event);
}

} // namespace kestrix::ui
