// SPDX-License-Identifier: GPL-3.0-or-later
// The two-channel page's controls and their places, and what they ask of the document.

#include "transfer_page.h"

#include "flow_layout.h"
#include "spectrum_panel_text.h"
#include "transfer_document.h"
#include "transfer_plot.h"
#include "view_document.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

namespace kestrix::ui {
namespace {

constexpr double dblThresholdStep = 0.05;
const QString strRefusedField = QStringLiteral("QLineEdit { background: #ffd9d9; }");

template <typename Control> Control* named(Control* control, const char* strName, const QString& strAccessible)
{
    control->setObjectName(QLatin1String(strName));
    control->setAccessibleName(strAccessible);
    return control;
}

QLabel* buddyLabel(QWidget* parent, const char* strName, const QString& strText, QWidget* buddy)
{
    auto* label = new QLabel(strText, parent);
    label->setObjectName(QLatin1String(strName));
    label->setBuddy(buddy);
    return label;
}

// A label whose text changes: screen readers read the text itself, so it has no fixed name.
QLabel* changingLabel(QWidget* parent, const char* strName, const QString& strDescription)
{
    auto* label = new QLabel(parent);
    label->setObjectName(QLatin1String(strName));
    label->setAccessibleDescription(strDescription);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setWordWrap(true);
    return label;
}

} // namespace

TransferPage::TransferPage(ViewDocument& document, platform::PlatformUi& ui, QWidget* parent)
    : ViewPage(parent), document(document), transfer(document.transfer()), ui(ui)
{
    setObjectName(QStringLiteral("pgTransfer"));
    createControls();
    createPlots();
    arrangeControls();
    connectSignals();
    showSignals();
    showTransfer();
}

void TransferPage::createControls()
{
    cboInput = named(new QComboBox(this), "cboInput", tr("入力の信号"));
    cboOutput = named(new QComboBox(this), "cboOutput", tr("出力の信号"));
    for (QComboBox* combo : {cboInput, cboOutput}) {
        combo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        combo->setMinimumContentsLength(10);
    }
    lblInput = buddyLabel(this, "lblInput", tr("入力(&I)"), cboInput);
    lblOutput = buddyLabel(this, "lblOutput", tr("出力(&O)"), cboOutput);
    txtInputSensitivity = named(new QLineEdit(this), "txtInputSensitivity", tr("入力の感度"));
    txtOutputSensitivity = named(new QLineEdit(this), "txtOutputSensitivity", tr("出力の感度"));
    for (QLineEdit* field : {txtInputSensitivity, txtOutputSensitivity}) {
        field->setPlaceholderText(QStringLiteral("1 V/V"));
        field->setToolTip(tr("センサの感度（例：100 mV/g、22.5 mV/N）。空欄は電圧のまま（1 V/V）です"));
        field->setMaximumWidth(fontMetrics().horizontalAdvance(QStringLiteral("00.00 mV/(m/s²)__")));
    }
    lblInputSensitivity = buddyLabel(this, "lblInputSensitivity", tr("入力の感度"), txtInputSensitivity);
    lblOutputSensitivity = buddyLabel(this, "lblOutputSensitivity", tr("出力の感度"), txtOutputSensitivity);
    spnCoherenceThreshold = named(new QDoubleSpinBox(this), "spnCoherenceThreshold", tr("コヒーレンスの閾値"));
    spnCoherenceThreshold->setRange(0.0, 1.0);
    spnCoherenceThreshold->setDecimals(2);
    spnCoherenceThreshold->setSingleStep(dblThresholdStep);
    spnCoherenceThreshold->setValue(transfer.threshold());
    spnCoherenceThreshold->setToolTip(tr("γ² がこの値より小さい線は淡く描き、位相をつなぐときに使いません"));
    lblThreshold = buddyLabel(this, "lblThreshold", tr("コヒーレンスの閾値(&C)"), spnCoherenceThreshold);
    chkTransferDb = named(new QCheckBox(tr("dB 表示(&D)"), this), "chkTransferDb", tr("振幅を dB で表示"));
    chkTransferDb->setChecked(true);
    chkH2 = named(new QCheckBox(tr("H2 も表示(&H)"), this), "chkH2", tr("H2 も表示"));
    chkH2->setToolTip(tr("H1 は出力側の雑音に、H2 は入力側の雑音に影響されません"));
    chkUnwrapped = named(new QCheckBox(tr("位相を連続に(&P)"), this), "chkUnwrapped", tr("位相を連続に表示"));
    chkUnwrapped->setToolTip(tr("±180° で折り返さず、閾値以上の線で位相をつないで表示します"));
    chkTransferLogFrequency = named(new QCheckBox(tr("対数周波数軸(&L)"), this), "chkTransferLogFrequency",
                                    tr("伝達関数の周波数軸を対数目盛に"));
    cmdTransferResetZoom = named(new QPushButton(tr("全体表示"), this), "cmdTransferResetZoom", tr("全体表示"));
    cmdSaveTransferPlot =
        named(new QPushButton(tr("画像を保存..."), this), "cmdSaveTransferPlot", tr("伝達関数の画像を保存"));
    cmdSaveTransferFile =
        named(new QPushButton(tr("FRF を保存..."), this), "cmdSaveTransferFile", tr("伝達関数のファイルを保存"));
    cmdSaveTransferFile->setToolTip(
        tr("表示中の伝達関数を CSV ファイル（kestrix-batch --transfer と同じ形式）に保存します"));
    lblTransferSummary = changingLabel(this, "lblTransferSummary", tr("解析した信号と遅れ"));
    lblTransferNote = changingLabel(this, "lblTransferNote", tr("伝達関数についての注意"));
    lblTransferCursor = changingLabel(this, "lblTransferCursor", tr("カーソルの値"));
}

void TransferPage::createPlots()
{
    const QString strHelp = tr("クリック：その線を読む　←→：1 本ずつ（Shift：10 本）\n"
                               "ドラッグ：拡大　右ドラッグ：移動　ホイール：周波数の拡大縮小（Ctrl：縦軸）\n"
                               "ダブルクリック・Home：全体表示　＋／－：拡大・縮小");
    pltMagnitude = named(new TransferPlot(this), "pltMagnitude", tr("伝達関数の振幅"));
    pltPhase = named(new TransferPlot(this), "pltPhase", tr("伝達関数の位相"));
    pltCoherence = named(new TransferPlot(this), "pltCoherence", tr("コヒーレンス"));
    const std::vector<const TransferPlot*> group{pltMagnitude, pltPhase, pltCoherence};
    for (TransferPlot* plot : {pltMagnitude, pltPhase, pltCoherence}) {
        plot->setToolTip(strHelp);
        plot->setAccessibleDescription(strHelp);
        plot->setGroup(group);
        plot->setFrequencyLabels(plot == pltCoherence);
    }
    pltMagnitude->setLeastHeight(200);
    pltPhase->setLeastHeight(150);
    pltCoherence->setLeastHeight(150);
    pltCoherence->setValueAxis(tr("コヒーレンス"), engine::AxisRange{0.0, 1.05}, {0.0, 0.25, 0.5, 0.75, 1.0});
}

void TransferPage::arrangeControls()
{
    // The tools wrap onto further rows in a narrow view rather than be cut.
    auto* layTools = new FlowLayout;
    layTools->setSpacing(12);
    layTools->addGroup(*this, "grpTransferInput", {lblInput, cboInput});
    layTools->addGroup(*this, "grpTransferOutput", {lblOutput, cboOutput});
    layTools->addGroup(*this, "grpTransferInputSensitivity", {lblInputSensitivity, txtInputSensitivity});
    layTools->addGroup(*this, "grpTransferOutputSensitivity", {lblOutputSensitivity, txtOutputSensitivity});
    layTools->addGroup(*this, "grpTransferThreshold", {lblThreshold, spnCoherenceThreshold});
    layTools->addGroup(*this, "grpTransferMagnitude", {chkTransferDb, chkH2});
    layTools->addGroup(*this, "grpTransferAxes", {chkUnwrapped, chkTransferLogFrequency});
    layTools->addGroup(*this, "grpTransferView", {cmdTransferResetZoom, cmdSaveTransferPlot});
    layTools->addGroup(*this, "grpTransferFile", {cmdSaveTransferFile});
    auto* layPage = new QVBoxLayout(this);
    layPage->setContentsMargins(0, 0, 0, 0);
    layPage->addLayout(layTools);
    layPage->addWidget(lblTransferSummary);
    layPage->addWidget(lblTransferNote);
    // The three plots one above the other, flush, over the one frequency axis of the lowest.
    auto* layPlots = new QVBoxLayout;
    layPlots->setSpacing(0);
    layPlots->addWidget(pltMagnitude, 3);
    layPlots->addWidget(pltPhase, 2);
    layPlots->addWidget(pltCoherence, 2);
    layPage->addLayout(layPlots, 1);
    layPage->addWidget(lblTransferCursor);
}

void TransferPage::connectSignals()
{
    connect(cboInput, &QComboBox::currentIndexChanged, this, &TransferPage::cboSignal_Changed);
    connect(cboOutput, &QComboBox::currentIndexChanged, this, &TransferPage::cboSignal_Changed);
    for (QLineEdit* field : {txtInputSensitivity, txtOutputSensitivity}) {
        connect(field, &QLineEdit::editingFinished, this, &TransferPage::txtSensitivity_EditingFinished);
    }
    connect(spnCoherenceThreshold, &QDoubleSpinBox::valueChanged, &transfer, &TransferDocument::setThreshold);
    for (QCheckBox* check : {chkTransferDb, chkH2, chkUnwrapped}) {
        connect(check, &QCheckBox::toggled, this, [this] { showCurves(transfer.shown()); });
    }
    connect(chkTransferLogFrequency, &QCheckBox::toggled, this, [this](bool blnLog) {
        for (TransferPlot* plot : {pltMagnitude, pltPhase, pltCoherence}) {
            plot->setLogFrequency(blnLog);
        }
    });
    connect(cmdTransferResetZoom, &QPushButton::clicked, this, &TransferPage::showEverything);
    connect(cmdSaveTransferPlot, &QPushButton::clicked, this, &TransferPage::savePicture);
    connect(cmdSaveTransferFile, &QPushButton::clicked, this, &TransferPage::saveFileDialog);
    for (TransferPlot* plot : {pltMagnitude, pltPhase, pltCoherence}) {
        connect(plot, &PlotFrame::viewChanged, this, [this, plot] { syncFrequencyView(*plot); });
        connect(plot, &TransferPlot::lineClicked, this, [this](std::size_t lngLine) { moveCursor(lngLine); });
        connect(plot, &TransferPlot::cursorStepped, this, [this](std::ptrdiff_t lngLines) {
            const auto lngNow = static_cast<std::ptrdiff_t>(pltMagnitude->cursorLine().value_or(0));
            moveCursor(static_cast<std::size_t>(std::max<std::ptrdiff_t>(0, lngNow + lngLines)));
        });
    }
    connect(&transfer, &TransferDocument::signalsChanged, this, &TransferPage::showSignals);
    connect(&transfer, &TransferDocument::transferChanged, this, &TransferPage::showTransfer);
    connect(&document, &ViewDocument::recordingChanged, this, [this] { lblTransferNote->setText(noteText()); });
}

std::vector<QWidget*> TransferPage::focusOrder() const
{
    return {cboInput,
            cboOutput,
            txtInputSensitivity,
            txtOutputSensitivity,
            spnCoherenceThreshold,
            chkTransferDb,
            chkH2,
            chkUnwrapped,
            chkTransferLogFrequency,
            cmdTransferResetZoom,
            cmdSaveTransferPlot,
            cmdSaveTransferFile,
            pltMagnitude,
            pltPhase,
            pltCoherence};
}

void TransferPage::showEvent(QShowEvent* event)
{
    ViewPage::showEvent(event);
    transfer.setWanted(true);
}

void TransferPage::hideEvent(QHideEvent* event)
{
    transfer.setWanted(false);
    ViewPage::hideEvent(event);
}

void TransferPage::showSignals()
{
    const QSignalBlocker blockInput(cboInput);
    const QSignalBlocker blockOutput(cboOutput);
    for (QComboBox* combo : {cboInput, cboOutput}) {
        combo->clear();
        combo->addItems(transfer.signalEntries());
        combo->setEnabled(transfer.signalEntries().size() >= 2);
    }
    cboInput->setCurrentIndex(transfer.input() - 1);
    cboOutput->setCurrentIndex(transfer.output() - 1);
}

void TransferPage::cboSignal_Changed()
{
    if (cboInput->currentIndex() >= 0 && cboOutput->currentIndex() >= 0) {
        transfer.setSignals(cboInput->currentIndex() + 1, cboOutput->currentIndex() + 1);
    }
}

// A sensitivity is taken when its field is left; one that does not read turns the field red, is said
// so under the tools, and the one in force stays.
void TransferPage::txtSensitivity_EditingFinished()
{
    engine::EngineeringUnit units[2] = {transfer.inputUnit(), transfer.outputUnit()};
    strSensitivityNote.clear();
    int intIndex = 0;
    for (QLineEdit* field : {txtInputSensitivity, txtOutputSensitivity}) {
        const QString strText = field->text().trimmed();
        const engine::SensitivityReading reading = engine::parseSensitivity(strText.toStdString());
        const bool blnReads = strText.isEmpty() || !reading.refusal;
        if (strText.isEmpty()) {
            units[intIndex] = engine::EngineeringUnit{};
        } else if (blnReads) {
            units[intIndex] = reading.unit;
        } else {
            strSensitivityNote += tr("感度「%1」は読めません。「100 mV/g」のように、数値、V・mV・µV、「/」、単位の順に"
                                     "書いてください。")
                                      .arg(strText);
        }
        field->setStyleSheet(blnReads ? QString() : strRefusedField);
        ++intIndex;
    }
    transfer.setUnits(units[0], units[1]);
    lblTransferNote->setText(noteText());
}

void TransferPage::syncFrequencyView(const TransferPlot& from)
{
    if (blnSyncing) {
        return;
    }
    blnSyncing = true;
    for (TransferPlot* plot : {pltMagnitude, pltPhase, pltCoherence}) {
        if (plot != &from) {
            plot->setFrequencyView(from.frequencyView());
        }
    }
    blnSyncing = false;
}

void TransferPage::moveCursor(std::optional<std::size_t> lngLine)
{
    for (TransferPlot* plot : {pltMagnitude, pltPhase, pltCoherence}) {
        plot->setCursorLine(lngLine);
    }
    const std::optional<std::size_t> lngPlaced = pltMagnitude->cursorLine();
    dblCursorHz =
        lngPlaced ? std::optional<double>(static_cast<double>(*lngPlaced) * pltMagnitude->lineSpacing()) : std::nullopt;
    showCursor();
}

void TransferPage::showEverything()
{
    for (TransferPlot* plot : {pltMagnitude, pltPhase, pltCoherence}) {
        plot->resetView();
    }
}

void TransferPage::savePicture()
{
    if (transfer.shown() == nullptr) {
        return;
    }
    if (const std::optional<QString> strPath =
            askPictureName(ui, tr("伝達関数の画像を保存"), document.proposedPictureName(QStringLiteral("FRF")))) {
        saveImage(*strPath);
    }
}

bool TransferPage::saveImage(const QString& strPath)
{
    // The plots as they stand, one above the other; at least as wide as a saved plot.
    const std::vector<const TransferPlot*> plots{pltMagnitude, pltPhase, pltCoherence};
    constexpr int intMinWidth = 640;
    int intHeight = 0;
    for (const TransferPlot* plot : plots) {
        intHeight += plot->height();
    }
    const QSize size(std::max(intMinWidth, pltMagnitude->width()), intHeight);
    QString strError;
    const bool blnSaved = PlotFrame::savePicture(
        strPath, size, tr("伝達関数"), pltMagnitude->font(),
        [&plots](QPainter& painter, const QSize& sizPicture) {
            int intTop = 0;
            for (const TransferPlot* plot : plots) {
                plot->paintPlot(painter, QRect(0, intTop, sizPicture.width(), plot->height()));
                intTop += plot->height();
            }
        },
        strError);
    return blnSaved || pictureNotSaved(ui, strPath, strError);
}

void TransferPage::saveFileDialog()
{
    if (transfer.shown() == nullptr) {
        return;
    }
    platform::SaveFileRequest request;
    request.strTitle = tr("伝達関数を保存").toStdString();
    request.strFilter = tr("CSV ファイル (*.csv)|*.csv").toStdString();
    request.strInitialFileName = transfer.proposedFileName();
    // Asked before the dialog's own question whether to replace the file: the recording is never offered.
    request.refusal = [this](const std::string& strPath) { return transfer.fileRefusal(strPath); };
    if (const std::optional<std::string> strPath = ui.chooseSaveFile(request)) {
        transfer.saveFile(*strPath);
    }
}

} // namespace kestrix::ui
