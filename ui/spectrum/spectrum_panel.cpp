#include "spectrum_panel.h"

#include "engine/number_text.h"
#include "engine/spectrum_csv.h"
#include "platform/failure.h"
#include "spectrum_plot.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QSaveFile>
#include <QSvgGenerator>
#include <QTableWidget>
#include <QVBoxLayout>

#include <cmath>

namespace kestrix::ui {
namespace {

const QColor clrSpectrum(31, 119, 180);
const QColor clrBandSpectrum(230, 100, 0);
const QColor clrReferences[] = {QColor(44, 160, 44),   QColor(148, 103, 189), QColor(140, 86, 75),
                                QColor(227, 119, 194), QColor(127, 127, 127), QColor(188, 189, 34),
                                QColor(23, 190, 207)};
constexpr int intPeakColumns = 5;
constexpr QSize sizMinImage(640, 400); // px, a saved picture stays readable even from a small window

QString fromUtf8(const std::string& strText)
{
    return QString::fromUtf8(strText.data(), static_cast<qsizetype>(strText.size()));
}

QString generalText(double dblValue)
{
    return fromUtf8(engine::generalNumberText(dblValue));
}

// Decimals that resolve about a hundredth of a line: the estimate is good to a few hundredths.
int estimateDecimals(double dblDeltaFreq)
{
    constexpr int intMaxDecimals = 9;
    if (!(dblDeltaFreq > 0.0)) {
        return 2;
    }
    return std::clamp(static_cast<int>(std::ceil(-std::log10(dblDeltaFreq / 100.0))), 0, intMaxDecimals);
}

} // namespace

SpectrumPanel::SpectrumPanel(platform::PlatformUi& ui, platform::TextFiles& files, QWidget* parent)
    : QWidget(parent), ui(ui), files(files)
{
    createControls();
    connectSignals();
    refreshCursorText();
}

void SpectrumPanel::createControls()
{
    chkLogScale = new QCheckBox(tr("対数目盛 (dBV)"), this);
    cmdResetZoom = new QPushButton(tr("全体表示"), this);
    cmdOpenReference = new QPushButton(tr("参照を開く..."), this);
    cboReferences = new QComboBox(this);
    cboReferences->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    cboReferences->setMinimumContentsLength(12);
    cmdRemoveReference = new QPushButton(tr("参照を削除"), this);
    cmdRemoveReference->setEnabled(false);
    cmdSavePlot = new QPushButton(tr("画像を保存..."), this);
    pltSpectrum = new SpectrumPlot(this);
    pltSpectrum->setToolTip(tr("ドラッグ：拡大　クリック：カーソル　右ドラッグ：移動\n"
                               "ホイール：周波数の拡大縮小（Ctrl：振幅）　ダブルクリック：全体表示"));
    lblCursor = new QLabel(this);
    lblCursor->setTextInteractionFlags(Qt::TextSelectableByMouse);
    tblPeaks = new QTableWidget(0, intPeakColumns, this);
    tblPeaks->setHorizontalHeaderLabels(
        {tr("順位"), tr("周波数 [Hz]"), tr("振幅 [V]"), tr("推定周波数 [Hz]"), tr("推定振幅 [V]")});
    tblPeaks->verticalHeader()->setVisible(false);
    tblPeaks->verticalHeader()->setDefaultSectionSize(tblPeaks->fontMetrics().height() + 6);
    tblPeaks->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tblPeaks->setSelectionBehavior(QAbstractItemView::SelectRows);
    tblPeaks->setSelectionMode(QAbstractItemView::SingleSelection);
    tblPeaks->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    tblPeaks->horizontalHeader()->setStretchLastSection(false);
    tblPeaks->setMinimumHeight(7 * tblPeaks->verticalHeader()->defaultSectionSize());
    tblPeaks->setToolTip(tr("推定値は隣の線との比から線の間を補間した値です（窓関数なしのスペクトル用）"));
    cmdCopyPeaks = new QPushButton(tr("表をコピー"), this);
    actCopyPeaks = new QAction(tr("表をコピー"), tblPeaks);
    actCopyPeaks->setShortcut(QKeySequence::Copy);
    actCopyPeaks->setShortcutContext(Qt::WidgetShortcut);
    tblPeaks->addAction(actCopyPeaks);
    tblPeaks->setContextMenuPolicy(Qt::ActionsContextMenu);
    chkHarmonics = new QCheckBox(tr("高調波マーカー"), this);
    chkHarmonics->setToolTip(tr("選んだピークの推定周波数の 1, 2, 3 ... 倍に印を付けます"));

    arrangeControls();
}

void SpectrumPanel::arrangeControls()
{
    auto* layTools = new QHBoxLayout;
    layTools->addWidget(chkLogScale);
    layTools->addWidget(cmdResetZoom);
    layTools->addStretch(1);
    layTools->addWidget(cmdOpenReference);
    layTools->addWidget(cboReferences);
    layTools->addWidget(cmdRemoveReference);
    layTools->addWidget(cmdSavePlot);

    auto* layPeakButtons = new QVBoxLayout;
    layPeakButtons->addWidget(cmdCopyPeaks);
    layPeakButtons->addWidget(chkHarmonics);
    layPeakButtons->addStretch(1);
    auto* layPeaks = new QHBoxLayout;
    layPeaks->addWidget(tblPeaks, 1);
    layPeaks->addLayout(layPeakButtons);

    auto* layPanel = new QVBoxLayout(this);
    layPanel->setContentsMargins(0, 0, 0, 0);
    layPanel->addLayout(layTools);
    layPanel->addWidget(pltSpectrum, 2);
    layPanel->addWidget(lblCursor);
    layPanel->addLayout(layPeaks, 1);

    const std::vector<QWidget*> controls = focusOrder();
    for (std::size_t i = 1; i < controls.size(); ++i) {
        QWidget::setTabOrder(controls[i - 1], controls[i]);
    }
}

void SpectrumPanel::connectSignals()
{
    connect(chkLogScale, &QCheckBox::toggled, this, &SpectrumPanel::chkLogScale_Toggled);
    connect(cmdResetZoom, &QPushButton::clicked, this, &SpectrumPanel::cmdResetZoom_Click);
    connect(cmdOpenReference, &QPushButton::clicked, this, &SpectrumPanel::cmdOpenReference_Click);
    connect(cmdRemoveReference, &QPushButton::clicked, this, &SpectrumPanel::cmdRemoveReference_Click);
    connect(cmdSavePlot, &QPushButton::clicked, this, &SpectrumPanel::cmdSavePlot_Click);
    connect(cmdCopyPeaks, &QPushButton::clicked, this, &SpectrumPanel::cmdCopyPeaks_Click);
    connect(actCopyPeaks, &QAction::triggered, this, &SpectrumPanel::cmdCopyPeaks_Click);
    connect(chkHarmonics, &QCheckBox::toggled, this, &SpectrumPanel::chkHarmonics_Toggled);
    connect(tblPeaks, &QTableWidget::itemSelectionChanged, this, &SpectrumPanel::tblPeaks_SelectionChanged);
    connect(pltSpectrum, &SpectrumPlot::cursorMoved, this, [this] { refreshCursorText(); });
}

std::vector<QWidget*> SpectrumPanel::focusOrder() const
{
    return {chkLogScale, cmdResetZoom, cmdOpenReference, cboReferences, cmdRemoveReference,
            cmdSavePlot, pltSpectrum,  tblPeaks,         cmdCopyPeaks,  chkHarmonics};
}

void SpectrumPanel::showRun(const engine::RunSpectra& spectra)
{
    run = spectra;
    pltSpectrum->setCursorLine(std::nullopt);
    refreshTraces();
    pltSpectrum->resetView();
    refreshPeakTable();
    refreshCursorText();
}

void SpectrumPanel::refreshTraces()
{
    std::vector<PlotTrace> traces;
    std::optional<std::pair<double, double>> band;
    if (run) {
        PlotTrace spectrum{tr("スペクトル"), clrSpectrum, {}, run->dblVolts, false};
        spectrum.dblFreq.resize(run->dblVolts.size());
        for (std::size_t i = 0; i < spectrum.dblFreq.size(); ++i) {
            // The product the spectrum file's frequency column is written from.
            spectrum.dblFreq[i] = static_cast<double>(i) * run->dblDeltaFreq;
        }
        if (!run->dblBandVolts.empty()) {
            band = std::pair{run->dblLowFreq, run->dblHighFreq};
            // Only the lines that pass the band: the others are zero by construction, not measured.
            PlotTrace bandSpectrum{tr("バンドスペクトル"), clrBandSpectrum, {}, {}, false};
            for (std::size_t i = 0; i < run->dblBandVolts.size() && i < spectrum.dblFreq.size(); ++i) {
                const double dblFreq = spectrum.dblFreq[i];
                if (dblFreq > run->dblLowFreq && dblFreq < run->dblHighFreq) {
                    bandSpectrum.dblFreq.push_back(dblFreq);
                    bandSpectrum.dblVolts.push_back(run->dblBandVolts[i]);
                }
            }
            traces.push_back(std::move(spectrum));
            traces.push_back(std::move(bandSpectrum));
        } else {
            traces.push_back(std::move(spectrum));
        }
    }
    for (const Reference& reference : references) {
        traces.push_back({reference.strName, reference.color, reference.dblFreq, reference.dblVolts, true});
    }
    pltSpectrum->setBand(band);
    pltSpectrum->setTraces(std::move(traces));
    refreshHarmonics();
}

void SpectrumPanel::refreshPeakTable()
{
    spectrumPeaks = run ? engine::findPeaks(run->dblVolts, run->dblDeltaFreq) : std::vector<engine::SpectrumPeak>{};
    const int intDecimals = estimateDecimals(run ? run->dblDeltaFreq : 0.0);
    const QSignalBlocker blocker(tblPeaks);
    tblPeaks->setRowCount(static_cast<int>(spectrumPeaks.size()));
    for (int intRow = 0; intRow < tblPeaks->rowCount(); ++intRow) {
        const engine::SpectrumPeak& peak = spectrumPeaks[static_cast<std::size_t>(intRow)];
        const QString strCells[intPeakColumns] = {
            QString::number(intRow + 1), generalText(peak.dblFreq), generalText(peak.dblVolts),
            QString::number(peak.dblEstimatedFreq, 'f', intDecimals), QString::number(peak.dblEstimatedVolts, 'g', 4)};
        for (int intColumn = 0; intColumn < intPeakColumns; ++intColumn) {
            auto* item = new QTableWidgetItem(strCells[intColumn]);
            item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            tblPeaks->setItem(intRow, intColumn, item);
        }
    }
    tblPeaks->clearSelection();
    refreshHarmonics();
}

void SpectrumPanel::refreshHarmonics()
{
    const PlotTrace* trace = pltSpectrum->cursorTrace();
    if (!chkHarmonics->isChecked() || spectrumPeaks.empty() || !trace) {
        pltSpectrum->setHarmonics({});
        return;
    }
    const QModelIndexList selected = tblPeaks->selectionModel()->selectedRows();
    const int intRow = selected.isEmpty() ? 0 : selected.front().row();
    const std::size_t lngPeak = intRow < static_cast<int>(spectrumPeaks.size()) ? static_cast<std::size_t>(intRow) : 0;
    pltSpectrum->setHarmonics(
        engine::harmonicFrequencies(spectrumPeaks[lngPeak].dblEstimatedFreq, trace->dblFreq.back()));
}

QString SpectrumPanel::cursorText() const
{
    return lblCursor->text();
}

void SpectrumPanel::refreshCursorText()
{
    const PlotTrace* trace = pltSpectrum->cursorTrace();
    const std::optional<std::size_t> lngLine = pltSpectrum->cursorLine();
    if (!trace || !lngLine) {
        lblCursor->setText(tr("カーソル：グラフをクリックすると、最も近い線の値を表示します"));
        return;
    }
    const double dblVolts = trace->dblVolts[*lngLine];
    QString strText = tr("カーソル：%1 Hz　%2 V").arg(generalText(trace->dblFreq[*lngLine]), generalText(dblVolts));
    if (chkLogScale->isChecked()) {
        strText += dblVolts > 0.0 ? tr("（%1 dBV）").arg(20.0 * std::log10(dblVolts), 0, 'f', 2) : tr("（-∞ dBV）");
    }
    // With a run, the cursor trace is its spectrum, whose lines the band spectrum shares.
    if (run && *lngLine < run->dblBandVolts.size()) {
        strText += tr("　バンド %1 V").arg(generalText(run->dblBandVolts[*lngLine]));
    }
    lblCursor->setText(strText);
}

QString SpectrumPanel::peakTableText() const
{
    QStringList strLines;
    QStringList strHeadings;
    for (int intColumn = 0; intColumn < tblPeaks->columnCount(); ++intColumn) {
        strHeadings << tblPeaks->horizontalHeaderItem(intColumn)->text();
    }
    strLines << strHeadings.join(QLatin1Char('\t'));
    for (int intRow = 0; intRow < tblPeaks->rowCount(); ++intRow) {
        QStringList strCells;
        for (int intColumn = 0; intColumn < tblPeaks->columnCount(); ++intColumn) {
            strCells << tblPeaks->item(intRow, intColumn)->text();
        }
        strLines << strCells.join(QLatin1Char('\t'));
    }
    return strLines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

bool SpectrumPanel::openReference(const std::string& strPath)
{
    const QString strName = QFileInfo(fromUtf8(strPath)).fileName();
    engine::SpectrumReading reading;
    try {
        const auto reader = files.openTextFile(strPath);
        reading = engine::readSpectrumCsv(*reader);
        reader->close();
    } catch (const KestrixError& error) {
        ui.showMessage(tr("参照ファイル「%1」を読み込めませんでした。\n%2")
                           .arg(strName, fromUtf8(error.description()))
                           .toStdString(),
                       platform::MessageStyle::Exclamation);
        return false;
    }
    if (!reading.strRefusal.empty()) {
        ui.showMessage(tr("「%1」は Kestrix のスペクトルファイルではありません。\n%2")
                           .arg(strName, fromUtf8(reading.strRefusal))
                           .toStdString(),
                       platform::MessageStyle::Exclamation);
        return false;
    }
    const bool blnWasEmpty = pltSpectrum->traces().empty();
    const QColor color = clrReferences[lngNextColour++ % std::size(clrReferences)];
    references.push_back(
        {tr("参照：%1").arg(strName), color, std::move(reading.trace.dblFreq), std::move(reading.trace.dblVolts)});
    cboReferences->addItem(references.back().strName);
    cboReferences->setCurrentIndex(cboReferences->count() - 1);
    cmdRemoveReference->setEnabled(true);
    refreshTraces();
    if (blnWasEmpty) {
        pltSpectrum->resetView();
    }
    refreshCursorText();
    return true;
}

void SpectrumPanel::removeReference(int lngIndex)
{
    if (lngIndex < 0 || lngIndex >= static_cast<int>(references.size())) {
        return;
    }
    references.erase(references.begin() + lngIndex);
    cboReferences->removeItem(lngIndex);
    cmdRemoveReference->setEnabled(!references.empty());
    refreshTraces();
    refreshCursorText();
}

bool SpectrumPanel::savePlotImage(const QString& strPath)
{
    const QSize size = pltSpectrum->size().expandedTo(sizMinImage);
    QSaveFile file(strPath);
    bool blnWritten = file.open(QIODevice::WriteOnly);
    if (blnWritten && strPath.endsWith(QLatin1String(".svg"), Qt::CaseInsensitive)) {
        QSvgGenerator generator;
        generator.setOutputDevice(&file);
        generator.setSize(size);
        generator.setViewBox(QRect(QPoint(0, 0), size));
        generator.setTitle(tr("Kestrix スペクトル"));
        QPainter painter(&generator);
        painter.setFont(pltSpectrum->font());
        pltSpectrum->paintPlot(painter, QRect(QPoint(0, 0), size));
        painter.end();
    } else if (blnWritten) {
        QImage image(size, QImage::Format_RGB32);
        QPainter painter(&image);
        painter.setFont(pltSpectrum->font());
        pltSpectrum->paintPlot(painter, image.rect());
        painter.end();
        blnWritten = image.save(&file, "PNG");
    }
    blnWritten = blnWritten && file.commit();
    if (!blnWritten) {
        ui.showMessage(tr("画像を保存できませんでした。\n%1\n%2").arg(strPath, file.errorString()).toStdString(),
                       platform::MessageStyle::Exclamation);
    }
    return blnWritten;
}

void SpectrumPanel::chkLogScale_Toggled(bool blnChecked)
{
    pltSpectrum->setLogScale(blnChecked);
    refreshCursorText();
}

void SpectrumPanel::cmdResetZoom_Click()
{
    pltSpectrum->resetView();
}

void SpectrumPanel::cmdOpenReference_Click()
{
    platform::OpenFileRequest request;
    request.strTitle = tr("参照スペクトルを開く").toStdString();
    request.strFilter = tr("スペクトルファイル (*_SPC.csv)|*_SPC.csv|CSV ファイル (*.csv)|*.csv|"
                           "すべてのファイル (*.*)|*.*")
                            .toStdString();
    request.lngFlags = platform::open_flags::lngFileMustExist | platform::open_flags::lngHideReadOnly |
                       platform::open_flags::lngNoChangeDir;
    if (const std::optional<std::string> strPath = ui.chooseOpenFile(request)) {
        openReference(*strPath);
    }
}

void SpectrumPanel::cmdRemoveReference_Click()
{
    removeReference(cboReferences->currentIndex());
}

void SpectrumPanel::cmdSavePlot_Click()
{
    QString strFilter;
    QString strPath = QFileDialog::getSaveFileName(this, tr("画像を保存"), QString(),
                                                   tr("PNG 画像 (*.png);;SVG 画像 (*.svg)"), &strFilter);
    if (strPath.isEmpty()) {
        return;
    }
    if (QFileInfo(strPath).suffix().isEmpty()) {
        strPath += strFilter.contains(QLatin1String("svg")) ? QLatin1String(".svg") : QLatin1String(".png");
    }
    savePlotImage(strPath);
}

void SpectrumPanel::cmdCopyPeaks_Click()
{
    QApplication::clipboard()->setText(peakTableText());
}

void SpectrumPanel::chkHarmonics_Toggled(bool /*blnChecked*/)
{
    refreshHarmonics();
}

void SpectrumPanel::tblPeaks_SelectionChanged()
{
    const QModelIndexList selected = tblPeaks->selectionModel()->selectedRows();
    const int intRow = selected.isEmpty() ? -1 : selected.front().row();
    if (intRow >= 0 && intRow < static_cast<int>(spectrumPeaks.size())) {
        pltSpectrum->setCursorLine(static_cast<std::size_t>(spectrumPeaks[static_cast<std::size_t>(intRow)].lngLine));
    }
    refreshHarmonics();
}

} // namespace kestrix::ui
