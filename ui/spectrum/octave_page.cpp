// SPDX-License-Identifier: GPL-3.0-or-later
#include "octave_page.h"

#include "flow_layout.h"
#include "level_trace_plot.h"
#include "octave_document.h"
#include "octave_plot.h"
#include "spectrum_panel_text.h"
#include "view_document.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QResizeEvent>
#include <QSplitter>
#include <QStyle>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace kestrix::ui {
namespace {

constexpr int intBarsWidth = 380; // px: the least width the bars keep beside the overall levels
constexpr int intProgressSteps = 1000;
constexpr int intProgressPeriod = 50; // ms between looks at the analysis's progress

QComboBox* comboOf(QWidget* parent, const std::vector<std::pair<QString, int>>& entries)
{
    auto* combo = new QComboBox(parent);
    for (const auto& [strText, intData] : entries) {
        combo->addItem(strText, intData);
    }
    return combo;
}

void selectData(QComboBox& combo, int intData)
{
    const QSignalBlocker block(&combo);
    combo.setCurrentIndex(combo.findData(intData));
}

// "LAeq" from its letters.
QString levelName(const OctaveViewSettings& settings, const char* strSuffix)
{
    return QStringLiteral("L") + fromUtf8(std::string(engine::weightingLetter(settings.weighting))) +
           QLatin1String(strSuffix);
}

// The name a row of the overall levels is shown with, and what it is. The levels keep the standard's
// letters ("LAFmax"); the duration and the weighted signal's own values are named in words.
std::pair<QString, QString> levelRowName(const std::string& strName)
{
    const auto tr = [](const char* strText) { return QCoreApplication::translate("kestrix::ui::OctavePage", strText); };
    const QString strShown = fromUtf8(strName);
    if (strName == "T") {
        return {tr("時間 T"), tr("解析した録音の長さ")};
    }
    if (strName.starts_with("rms (")) {
        return {tr("実効値 ") + strShown.mid(4), tr("重み付けした信号の実効値")};
    }
    if (strName.starts_with("peak (")) {
        return {tr("ピーク値 ") + strShown.mid(5), tr("重み付けした信号の瞬時値の絶対値の最大")};
    }
    if (strName.ends_with("eq")) {
        return {strShown, tr("時間平均レベル（等価レベル）：録音全体の平均二乗")};
    }
    if (strName.ends_with("peak")) {
        return {strShown, tr("ピークレベル：瞬時値の絶対値の最大")};
    }
    if (strName.ends_with("max")) {
        return {strShown, tr("時間重み付けしたレベルの最大")};
    }
    if (strName.ends_with("min")) {
        return {strShown, tr("時間重み付けしたレベルの最小（始めの 5 時定数を除く）")};
    }
    return {strShown, tr("暴露レベル：Leq + 10 log10(T / 1 s)")};
}

// A row's value to be read at a glance: levels with two decimals, the duration in seconds, the
// weighted signal's values with four significant digits and an SI prefix.
QString levelRowValue(const engine::LevelRow& row)
{
    if (row.strUnit.starts_with("dB")) {
        return QString::number(row.dblValue, 'f', 2) + QLatin1Char(' ') + fromUtf8(row.strUnit);
    }
    if (row.strUnit == "s") {
        return QString::number(row.dblValue, 'f', 3) + QStringLiteral(" s");
    }
    constexpr int intReadableDigits = 4;
    return fromUtf8(engine::siText(row.dblValue, intReadableDigits, row.strUnit));
}

} // namespace

OctavePage::OctavePage(ViewDocument& document, platform::PlatformUi& ui, QWidget* parent)
    : ViewPage(parent), document(document), octave(document.octave()), ui(ui)
{
    setObjectName(QStringLiteral("pgOctave"));
    createControls();
    arrangeControls();
    connectSignals();
    showSettings();
    showReading();
}

void OctavePage::createControls()
{
    lblBandwidth = new QLabel(tr("帯域幅(&B)"), this);
    lblBandwidth->setObjectName(QStringLiteral("lblOctaveBandwidth"));
    std::vector<std::pair<QString, int>> bandwidths;
    for (const std::int32_t lngBands : engine::lngBandsPerOctaveChoices) {
        bandwidths.emplace_back(tr("1/%1 オクターブ").arg(lngBands), lngBands);
    }
    cboBandwidth = named(comboOf(this, bandwidths), "cboOctaveBandwidth", tr("帯域幅"));
    cboBandwidth->setToolTip(tr("IEC 61260-1 の 10 進（G = 10^0.3）の帯域。1/1 と 1/3 オクターブは規格の公称周波数で"
                                "名付けます"));
    lblBandwidth->setBuddy(cboBandwidth);
    lblWeighting = new QLabel(tr("周波数重み付け(&G)"), this);
    lblWeighting->setObjectName(QStringLiteral("lblOctaveWeighting"));
    using engine::FrequencyWeighting;
    cboWeighting = named(comboOf(this, {{tr("A 特性"), static_cast<int>(FrequencyWeighting::A)},
                                        {tr("C 特性"), static_cast<int>(FrequencyWeighting::C)},
                                        {tr("Z 特性（平坦）"), static_cast<int>(FrequencyWeighting::Z)}}),
                         "cboOctaveWeighting", tr("周波数重み付け"));
    cboWeighting->setToolTip(tr("IEC 61672-1 の周波数重み付け。帯域のレベルにも全体のレベルにもかかります"));
    lblWeighting->setBuddy(cboWeighting);
    lblTimeWeighting = new QLabel(tr("時間重み付け(&I)"), this);
    lblTimeWeighting->setObjectName(QStringLiteral("lblOctaveTimeWeighting"));
    using engine::TimeWeighting;
    cboTimeWeighting = named(comboOf(this, {{tr("F（125 ms）"), static_cast<int>(TimeWeighting::Fast)},
                                            {tr("S（1 s）"), static_cast<int>(TimeWeighting::Slow)}}),
                             "cboOctaveTimeWeighting", tr("時間重み付け"));
    cboTimeWeighting->setToolTip(tr("指数時間重み付け。最大・最小レベルとレベルの時間変化に使います"));
    lblTimeWeighting->setBuddy(cboTimeWeighting);
    cmdSaveOctavePlot =
        named(new QPushButton(tr("画像を保存..."), this), "cmdSaveOctavePlot", tr("オクターブ分析の画像を保存"));
    cmdSaveOctaveTable =
        named(new QPushButton(tr("表を保存..."), this), "cmdSaveOctaveTable", tr("オクターブ分析の表を保存"));
    cmdSaveOctaveTable->setToolTip(tr("帯域ごとのレベルを kestrix-batch --octave と同じ CSV ファイルに保存します"));
    cmdSaveLevelTrace = named(new QPushButton(tr("時間変化の画像を保存..."), this), "cmdSaveLevelTrace",
                              tr("レベルの時間変化の画像を保存"));
    prgOctave = named(new QProgressBar(this), "prgOctave", tr("オクターブ分析の進み具合"));
    prgOctave->setRange(0, intProgressSteps);
    cmdCancelOctave = named(new QPushButton(tr("中止"), this), "cmdCancelOctave", tr("オクターブ分析を中止"));
    tmrOctaveProgress = new QTimer(this);
    tmrOctaveProgress->setInterval(intProgressPeriod);

    pltOctave = named(new OctavePlot(this), "pltOctave", tr("オクターブ分析のグラフ"));
    const QString strHelp = tr("クリック・←→：帯域を読む\nドラッグ：拡大　右ドラッグ：移動　ホイール：周波数の拡大縮小"
                               "（Ctrl：レベル）\nダブルクリック・Home：全体表示");
    pltOctave->setToolTip(strHelp);
    pltOctave->setAccessibleDescription(strHelp);
    tblOverallLevels = named(new QTableWidget(0, 2, this), "tblOverallLevels", tr("全体のレベル"));
    tblOverallLevels->setHorizontalHeaderLabels({tr("量"), tr("値")});
    tblOverallLevels->verticalHeader()->setVisible(false);
    tblOverallLevels->horizontalHeader()->setStretchLastSection(true);
    tblOverallLevels->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tblOverallLevels->setSelectionBehavior(QAbstractItemView::SelectRows);
    tblOverallLevels->setTabKeyNavigation(false);
    // A changing text: screen readers read the text itself, so no fixed name is set.
    lblOctaveCursor = new QLabel(this);
    lblOctaveCursor->setObjectName(QStringLiteral("lblOctaveCursor"));
    lblOctaveCursor->setAccessibleDescription(tr("選んだ帯域の値"));
    lblOctaveCursor->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lblOctaveCursor->setWordWrap(true);
    pltLevelTrace = named(new LevelTracePlot(this), "pltLevelTrace", tr("レベルの時間変化"));
    pltLevelTrace->setToolTip(tr("ドラッグ：拡大　右ドラッグ：移動　ホイール：時間の拡大縮小（Ctrl：レベル）\n"
                                 "ダブルクリック・Home：全体表示"));
}

void OctavePage::arrangeControls()
{
    // The tools wrap onto further rows in a narrow view rather than be cut.
    auto* layTools = new FlowLayout;
    layTools->setSpacing(12);
    layTools->addGroup(*this, "grpOctaveBandwidth", {lblBandwidth, cboBandwidth});
    layTools->addGroup(*this, "grpOctaveWeighting", {lblWeighting, cboWeighting});
    layTools->addGroup(*this, "grpOctaveTimeWeighting", {lblTimeWeighting, cboTimeWeighting});
    layTools->addGroup(*this, "grpOctaveSave", {cmdSaveOctavePlot, cmdSaveOctaveTable, cmdSaveLevelTrace});
    layTools->addGroup(*this, "grpOctaveProgress", {prgOctave, cmdCancelOctave});
    // The overall levels beside the bars where there is room, below them in a narrow view.
    splOctave = new QSplitter(Qt::Horizontal, this);
    splOctave->setObjectName(QStringLiteral("splOctave"));
    splOctave->setChildrenCollapsible(false);
    splOctave->addWidget(pltOctave);
    splOctave->addWidget(tblOverallLevels);
    splOctave->setStretchFactor(0, 1);
    splOctave->setStretchFactor(1, 0);
    auto* layPage = new QVBoxLayout(this);
    layPage->setContentsMargins(0, 0, 0, 0);
    layPage->addLayout(layTools);
    layPage->addWidget(splOctave, 3);
    layPage->addWidget(lblOctaveCursor);
    layPage->addWidget(pltLevelTrace, 2);
}

void OctavePage::connectSignals()
{
    for (QComboBox* combo : {cboBandwidth, cboWeighting, cboTimeWeighting}) {
        connect(combo, &QComboBox::currentIndexChanged, this, &OctavePage::combo_Changed);
    }
    connect(cmdSaveOctavePlot, &QPushButton::clicked, this, &OctavePage::savePicture);
    connect(cmdSaveOctaveTable, &QPushButton::clicked, this, &OctavePage::saveTable);
    connect(cmdSaveLevelTrace, &QPushButton::clicked, this, [this] {
        savePlotPicture(*pltLevelTrace, ui, tr("レベルの時間変化の画像を保存"),
                        document.proposedPictureName(QStringLiteral("OCT_TRACE")));
    });
    connect(cmdCancelOctave, &QPushButton::clicked, &octave, &OctaveDocument::cancelAnalysis);
    connect(tmrOctaveProgress, &QTimer::timeout, this, &OctavePage::tmrOctaveProgress_Timer);
    connect(pltOctave, &OctavePlot::cursorChanged, this, &OctavePage::plot_CursorChanged);
    connect(&octave, &OctaveDocument::settingsChanged, this, &OctavePage::showSettings);
    connect(&octave, &OctaveDocument::readingChanged, this, &OctavePage::showReading);
    connect(&octave, &OctaveDocument::bandChanged, this, &OctavePage::showBand);
    connect(&octave, &OctaveDocument::stateChanged, this, &OctavePage::showState);
    connect(&document, &ViewDocument::recordingChanged, this, &OctavePage::showState);
}

std::vector<QWidget*> OctavePage::focusOrder() const
{
    return {cboBandwidth,      cboWeighting,    cboTimeWeighting, cmdSaveOctavePlot, cmdSaveOctaveTable,
            cmdSaveLevelTrace, cmdCancelOctave, pltOctave,        tblOverallLevels,  pltLevelTrace};
}

void OctavePage::showEvent(QShowEvent* event)
{
    ViewPage::showEvent(event);
    octave.setShown(true);
}

void OctavePage::hideEvent(QHideEvent* event)
{
    ViewPage::hideEvent(event);
    octave.setShown(false);
}

void OctavePage::resizeEvent(QResizeEvent* event)
{
    arrangeLevels(event->size().width());
    ViewPage::resizeEvent(event);
}

// The size the overall levels' table needs to show every row and every name and value uncut (room for
// a scroll bar kept, should the bars beside it be lower than its rows).
QSize OctavePage::levelTableSize() const
{
    QHeaderView& header = *tblOverallLevels->horizontalHeader();
    header.setStretchLastSection(false);
    tblOverallLevels->resizeColumnsToContents();
    const int intFrame = 2 * tblOverallLevels->frameWidth();
    const int intWidth = tblOverallLevels->columnWidth(0) + tblOverallLevels->columnWidth(1) + intFrame +
                         tblOverallLevels->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, tblOverallLevels);
    header.setStretchLastSection(true);
    return {intWidth, header.sizeHint().height() + tblOverallLevels->verticalHeader()->length() + intFrame};
}

// The overall levels beside the bars where the page leaves the bars their width, below them in a narrow
// view; either way the table gets the room its rows need, the bars the rest.
void OctavePage::arrangeLevels(int intPageWidth)
{
    const QSize table = levelTableSize();
    const bool blnBeside = intPageWidth - table.width() - splOctave->handleWidth() >= intBarsWidth;
    const Qt::Orientation orientation = blnBeside ? Qt::Horizontal : Qt::Vertical;
    const bool blnTurned = splOctave->orientation() != orientation;
    if (blnTurned) {
        splOctave->setOrientation(orientation);
    }
    const QSize minimum = blnBeside ? QSize(table.width(), 0) : QSize(0, table.height());
    if (blnTurned || tblOverallLevels->minimumSize() != minimum) {
        tblOverallLevels->setMinimumSize(minimum);
        const int intLength = blnBeside ? intPageWidth : splOctave->height();
        const int intTable = blnBeside ? table.width() : table.height();
        splOctave->setSizes({std::max(0, intLength - intTable), intTable});
    }
}

void OctavePage::showSettings()
{
    const OctaveViewSettings& settings = octave.settings();
    selectData(*cboBandwidth, settings.lngBandsPerOctave);
    selectData(*cboWeighting, static_cast<int>(settings.weighting));
    selectData(*cboTimeWeighting, static_cast<int>(settings.timeWeighting));
}

void OctavePage::combo_Changed()
{
    OctaveViewSettings wanted;
    wanted.lngBandsPerOctave = cboBandwidth->currentData().toInt();
    wanted.weighting = static_cast<engine::FrequencyWeighting>(cboWeighting->currentData().toInt());
    wanted.timeWeighting = static_cast<engine::TimeWeighting>(cboTimeWeighting->currentData().toInt());
    octave.setSettings(wanted);
}

void OctavePage::showReading()
{
    const OctaveReading* reading = octave.reading();
    if (reading == nullptr) {
        pltOctave->setBands({}, octave.settings().lngBandsPerOctave, {}, {});
        pltLevelTrace->setTrace({}, 1.0, {}, {});
    } else {
        const engine::OctaveLevels& levels = reading->result.levels;
        const QString strTime = fromUtf8(std::string(engine::timeWeightingLetter(reading->settings.timeWeighting)));
        pltOctave->setBands(reading->result.bands, reading->settings.lngBandsPerOctave,
                            levelName(reading->settings, "eq"), reading->unit);
        pltLevelTrace->setTrace(reading->trace.points(),
                                static_cast<double>(levels.overall.lngSamples) / levels.dblSampFreq,
                                levelName(reading->settings, "") + strTime, fromUtf8(reading->unit.strDbReference));
    }
    for (QPushButton* cmd : {cmdSaveOctavePlot, cmdSaveOctaveTable, cmdSaveLevelTrace}) {
        cmd->setEnabled(reading != nullptr);
    }
    showLevels();
    showBand();
    showState();
}

void OctavePage::showLevels()
{
    const OctaveReading* reading = octave.reading();
    const std::vector<engine::LevelRow> rows =
        reading != nullptr ? reading->result.overall : std::vector<engine::LevelRow>{};
    tblOverallLevels->setRowCount(static_cast<int>(rows.size()));
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const auto [strName, strMeaning] = levelRowName(rows[i].strName);
        auto* itmName = new QTableWidgetItem(strName);
        itmName->setToolTip(strMeaning);
        auto* itmValue = new QTableWidgetItem(levelRowValue(rows[i]));
        itmValue->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        itmValue->setToolTip(generalText(rows[i].dblValue) + QLatin1Char(' ') + fromUtf8(rows[i].strUnit));
        tblOverallLevels->setItem(static_cast<int>(i), 0, itmName);
        tblOverallLevels->setItem(static_cast<int>(i), 1, itmValue);
    }
    arrangeLevels(width());
}

void OctavePage::showBand()
{
    const std::optional<double> dblHz = octave.bandHz();
    std::optional<std::size_t> lngBand;
    if (dblHz && !pltOctave->bands().empty()) {
        std::vector<engine::OctaveBand> bands;
        for (const engine::BandReading& reading : pltOctave->bands()) {
            bands.push_back(reading.band);
        }
        lngBand = engine::bandIndexAt(bands, *dblHz);
    }
    pltOctave->setCursorBand(lngBand);
    showState();
}

void OctavePage::plot_CursorChanged()
{
    const std::optional<std::size_t> lngBand = pltOctave->cursorBand();
    octave.setBandHz(lngBand ? std::optional<double>(pltOctave->bands()[*lngBand].band.dblMidband) : std::nullopt);
}

void OctavePage::showState()
{
    const bool blnBusy = octave.analysing();
    prgOctave->setVisible(blnBusy);
    cmdCancelOctave->setEnabled(blnBusy);
    if (blnBusy && !tmrOctaveProgress->isActive()) {
        prgOctave->setValue(0);
        tmrOctaveProgress->start();
    } else if (!blnBusy) {
        tmrOctaveProgress->stop();
    }
    if (blnBusy) {
        pltOctave->setEmptyText(tr("オクターブ分析中…"));
    } else if (!octave.note().isEmpty()) {
        pltOctave->setEmptyText(octave.note());
    } else if (!document.recording()) {
        pltOctave->setEmptyText(tr("FFT を実行するか録音を開くと、録音全体のオクターブ分析をここに表示します。"));
    } else {
        pltOctave->setEmptyText({});
    }
    lblOctaveCursor->setText(statusText());
}

QString OctavePage::statusText() const
{
    QStringList strLines;
    if (const OctaveReading* reading = octave.reading()) {
        const engine::OctaveLevels& levels = reading->result.levels;
        strLines << tr("%1：1/%2 オクターブ、%3 特性、時間重み付け %4、%5 Hz、%6 s")
                        .arg(QFileInfo(fromUtf8(reading->recording.strPath)).fileName())
                        .arg(reading->settings.lngBandsPerOctave)
                        .arg(fromUtf8(std::string(engine::weightingLetter(reading->settings.weighting))))
                        .arg(fromUtf8(std::string(engine::timeWeightingLetter(reading->settings.timeWeighting))))
                        .arg(generalText(levels.dblSampFreq))
                        .arg(static_cast<double>(levels.overall.lngSamples) / levels.dblSampFreq, 0, 'f', 2);
        const QStringList strBand = pltOctave->cursorLines();
        strLines << (strBand.isEmpty() ? tr("クリックか ←→ で帯域の値を読みます") : strBand.join(QChar(0x3000)));
    }
    if (octave.analysing()) {
        strLines << tr("オクターブ分析中…");
    }
    if (!octave.note().isEmpty()) {
        strLines << octave.note();
    }
    return strLines.join(QLatin1Char('\n'));
}

void OctavePage::tmrOctaveProgress_Timer()
{
    const double dblShare = octave.progress();
    if (dblShare < 0.0) {
        prgOctave->setRange(0, 0); // a busy bar where the length is not known
        return;
    }
    prgOctave->setRange(0, intProgressSteps);
    prgOctave->setValue(static_cast<int>(dblShare * intProgressSteps));
}

void OctavePage::showEverything()
{
    pltOctave->resetView();
    pltLevelTrace->resetView();
}

void OctavePage::savePicture()
{
    // Also reached by its shortcut, which a disabled button does not stop.
    if (octave.reading() != nullptr) {
        savePlotPicture(*pltOctave, ui, tr("オクターブ分析の画像を保存"),
                        document.proposedPictureName(QStringLiteral("OCT")));
    }
}

void OctavePage::saveTable()
{
    if (octave.reading() == nullptr) {
        return;
    }
    platform::SaveFileRequest request;
    request.strTitle = tr("オクターブ分析の表を保存").toStdString();
    request.strFilter = tr("CSV ファイル (*.csv)|*.csv").toStdString();
    request.strInitialFileName = octave.proposedTableName();
    // Asked before the dialog's own question whether to replace the file: the recording is never offered.
    request.refusal = [this](const std::string& strPath) { return octave.tableRefusal(strPath); };
    if (const std::optional<std::string> strPath = ui.chooseSaveFile(request)) {
        octave.saveTable(*strPath);
    }
}

} // namespace kestrix::ui
