// SPDX-License-Identifier: GPL-3.0-or-later
// The spectrum view's peak table: the peaks that stand out, their copy as text, and the harmonic
// markers of the chosen one.

#include "engine/view/readable_number.h"
#include "spectrum_panel.h"
#include "spectrum_panel_text.h"
#include "spectrum_plot.h"
#include "units_text.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QEvent>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QStyledItemDelegate>
#include <QTableWidget>

#include <algorithm>
#include <cmath>

namespace kestrix::ui {
namespace {

constexpr int intPeakColumns = 5;
constexpr int intMinVisibleRows = 4;
constexpr int intReadableRole = SpectrumPanel::intShownTextRole;
constexpr int intMaxThresholdDb = 200;

// Shows each cell's readable text in place of the text that is copied.
class ReadableDelegate final : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        const QVariant readable = index.data(intReadableRole);
        if (readable.isValid()) {
            option->text = readable.toString();
        }
    }
};

// Decimals that resolve about a hundredth of a line: the estimate is good to a few hundredths.
int estimateDecimals(double dblDeltaFreq)
{
    constexpr int intMaxDecimals = 9;
    if (!(dblDeltaFreq > 0.0)) {
        return 2;
    }
    return std::clamp(static_cast<int>(std::ceil(-std::log10(dblDeltaFreq / 100.0))), 0, intMaxDecimals);
}

QTableWidgetItem* peakCell(const QString& strCopied, const QString& strShown, const QString& strTip)
{
    auto* item = new QTableWidgetItem(strCopied);
    item->setData(intReadableRole, strShown);
    item->setToolTip(strTip);
    item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return item;
}

} // namespace

void SpectrumPanel::createPeakControls()
{
    const auto named = [](auto* control, const char* strName, const QString& strAccessible) {
        control->setObjectName(QLatin1String(strName));
        control->setAccessibleName(strAccessible);
        return control;
    };
    lblPeakThreshold = named(new QLabel(tr("ピーク：周囲の中央値より"), this), "lblPeakThreshold", tr("ピークの条件"));
    spnPeakThreshold = named(new QSpinBox(this), "spnPeakThreshold", tr("ピークの条件（周囲の中央値より高い dB）"));
    spnPeakThreshold->setRange(0, intMaxThresholdDb);
    spnPeakThreshold->setValue(static_cast<int>(engine::dblDefaultPeakRiseDb));
    spnPeakThreshold->setSuffix(tr(" dB 以上"));
    lblPeakThreshold->setBuddy(spnPeakThreshold);
    const QString strThresholdHelp = tr("表には、前後 %1 本の線の中央値よりこの値以上高い極大だけを載せます。\n"
                                        "ノイズや、線の間にある音の漏れはふつう 20 dB に届きません。")
                                         .arg(engine::lngFloorReach);
    lblPeakThreshold->setToolTip(strThresholdHelp);
    spnPeakThreshold->setToolTip(strThresholdHelp);
    cmdCopyPeaks = named(new QPushButton(tr("表をコピー"), this), "cmdCopyPeaks", tr("表をコピー"));
    chkHarmonics = named(new QCheckBox(tr("高調波マーカー"), this), "chkHarmonics", tr("高調波マーカー"));
    chkHarmonics->setToolTip(tr("選んだピークの推定周波数の 1, 2, 3 ... 倍に印を付けます"));
    createPeakTable();
}

void SpectrumPanel::createPeakTable()
{
    tblPeaks = new QTableWidget(0, intPeakColumns, this);
    tblPeaks->setObjectName(QStringLiteral("tblPeaks"));
    tblPeaks->setAccessibleName(tr("ピーク一覧"));
    tblPeaks->setHorizontalHeaderLabels(
        {tr("順位"), tr("周波数\n[Hz]"), tr("振幅"), tr("推定周波数\n[Hz]"), tr("推定振幅")});
    tblPeaks->setItemDelegate(new ReadableDelegate(tblPeaks));
    tblPeaks->verticalHeader()->setVisible(false);
    tblPeaks->verticalHeader()->setDefaultSectionSize(tblPeaks->fontMetrics().height() + 6);
    tblPeaks->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tblPeaks->setSelectionBehavior(QAbstractItemView::SelectRows);
    tblPeaks->setSelectionMode(QAbstractItemView::SingleSelection);
    // Tab goes on to the next control; the arrow keys move within the table.
    tblPeaks->setTabKeyNavigation(false);
    tblPeaks->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    tblPeaks->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    tblPeaks->setMinimumHeight(tblPeaks->horizontalHeader()->sizeHint().height() +
                               intMinVisibleRows * tblPeaks->verticalHeader()->defaultSectionSize() +
                               2 * tblPeaks->frameWidth());
    tblPeaks->setToolTip(tr("推定値は隣の線との比から、窓関数の形に合わせて線の間を補間した値です\n"
                            "コピーすると、値はスペクトルファイルと同じ桁で入ります"));
    tblPeaks->viewport()->installEventFilter(this);
    actCopyPeaks = new QAction(tr("表をコピー"), tblPeaks);
    actCopyPeaks->setShortcut(QKeySequence::Copy);
    actCopyPeaks->setShortcutContext(Qt::WidgetShortcut);
    tblPeaks->addAction(actCopyPeaks);
    tblPeaks->setContextMenuPolicy(Qt::ActionsContextMenu);
    fitPeakColumns();
}

void SpectrumPanel::refreshPeakTable()
{
    spectrumPeaks = shownPeaks();
    const double dblDeltaFreq = shown.dblDeltaFreq;
    const int intDecimals = estimateDecimals(dblDeltaFreq);
    const QSignalBlocker blocker(tblPeaks);
    tblPeaks->setRowCount(static_cast<int>(spectrumPeaks.size()));
    for (int intRow = 0; intRow < tblPeaks->rowCount(); ++intRow) {
        const engine::SpectrumPeak& peak = spectrumPeaks[static_cast<std::size_t>(intRow)];
        const QString strRise = std::isfinite(peak.dblRiseDb) ? QString::number(peak.dblRiseDb, 'f', 1) : tr("∞");
        const QString strRank = QString::number(intRow + 1);
        const QString strEstimate = QString::number(peak.dblEstimatedFreq, 'f', intDecimals);
        const QString strUnit = QLatin1Char(' ') + unitsTexts(shown.scale.units).strFile;
        tblPeaks->setItem(intRow, 0, peakCell(strRank, strRank, tr("周囲の中央値より %1 dB 高いピーク").arg(strRise)));
        tblPeaks->setItem(intRow, 1,
                          peakCell(generalText(peak.dblFreq),
                                   fromUtf8(engine::lineFrequencyText(peak.dblFreq, dblDeltaFreq)),
                                   generalText(peak.dblFreq) + QStringLiteral(" Hz")));
        tblPeaks->setItem(intRow, 2,
                          peakCell(generalText(peak.dblVolts), valueText(peak.dblVolts, shown.scale),
                                   generalText(peak.dblVolts) + strUnit));
        tblPeaks->setItem(intRow, 3, peakCell(strEstimate, strEstimate, strEstimate + QStringLiteral(" Hz")));
        const QString strEstimatedVolts = QString::number(peak.dblEstimatedVolts, 'g', 4);
        tblPeaks->setItem(intRow, 4,
                          peakCell(strEstimatedVolts, valueText(peak.dblEstimatedVolts, shown.scale),
                                   generalText(peak.dblEstimatedVolts) + strUnit));
    }
    tblPeaks->clearSelection();
    fitPeakColumns();
    refreshHarmonics();
}

// The peaks of the spectrum shown, found on its magnitudes (amplitudes; the root of a power density),
// their values in the units shown: a line's value as the file writes it, the estimate corrected by the
// factor the magnitudes give.
std::vector<engine::SpectrumPeak> SpectrumPanel::shownPeaks() const
{
    if (shown.dblValues.empty()) {
        return {};
    }
    const bool blnPower = shown.scale.units == engine::SpectrumUnits::Psd;
    std::vector<double> dblMagnitudes = shown.dblPlot;
    if (blnPower) {
        for (double& dblValue : dblMagnitudes) {
            dblValue = std::sqrt(dblValue);
        }
    }
    const double dblThreshold = spnPeakThreshold->value();
    std::vector<engine::SpectrumPeak> peaks =
        shown.scale.blnClassic && shown.scale.units == engine::SpectrumUnits::Pp
            ? engine::findProminentPeaks(dblMagnitudes, shown.dblDeltaFreq, dblThreshold)
            : engine::findProminentPeaks(dblMagnitudes, shown.dblDeltaFreq, dblThreshold, shown.window,
                                         std::max(shown.lngNumSamp, 4));
    for (engine::SpectrumPeak& peak : peaks) {
        const double dblScale = peak.dblVolts > 0.0 ? peak.dblEstimatedVolts / peak.dblVolts : 1.0;
        const double dblValue = shown.dblValues[static_cast<std::size_t>(peak.lngLine)];
        peak.dblVolts = dblValue;
        if (blnPower) {
            peak.dblEstimatedVolts = dblValue * dblScale * dblScale;
        } else if (shown.scale.units == engine::SpectrumUnits::DbV) {
            peak.dblEstimatedVolts = dblValue + 20.0 * std::log10(dblScale);
        } else {
            peak.dblEstimatedVolts = dblValue * dblScale;
        }
    }
    return peaks;
}

void SpectrumPanel::fitPeakColumns()
{
    // Each column as wide as its widest text, the room left shared out, so no column is cut off at the
    // smallest size and none stays narrow at a large one.
    QHeaderView* header = tblPeaks->horizontalHeader();
    const QAbstractItemView& view = *tblPeaks; // where the table's own measure is public
    std::vector<int> intWidths(intPeakColumns);
    int intTotal = 0;
    for (int intColumn = 0; intColumn < intPeakColumns; ++intColumn) {
        const auto lngColumn = static_cast<std::size_t>(intColumn);
        intWidths[lngColumn] = std::max(header->sectionSizeHint(intColumn), view.sizeHintForColumn(intColumn)) + 4;
        intTotal += intWidths[lngColumn];
    }
    const int intExtra = std::max(0, tblPeaks->viewport()->width() - intTotal);
    for (int intColumn = 0; intColumn < intPeakColumns; ++intColumn) {
        const int intShare = intExtra * (intColumn + 1) / intPeakColumns - intExtra * intColumn / intPeakColumns;
        header->resizeSection(intColumn, intWidths[static_cast<std::size_t>(intColumn)] + intShare);
    }
    tblPeaks->setMinimumWidth(intTotal + 2 * tblPeaks->frameWidth() +
                              tblPeaks->verticalScrollBar()->sizeHint().width());
}

bool SpectrumPanel::peakTableEvent(QObject* watched, QEvent* event)
{
    if (watched == tblPeaks->viewport() && event->type() == QEvent::Resize) {
        fitPeakColumns();
    }
    return false;
}

void SpectrumPanel::refreshHarmonics()
{
    const PlotTrace* trace = pltSpectrum->cursorTrace();
    // With the axis in orders the markers stand at the running speed's orders.
    if (const std::optional<double> dblSpeed = orderSpeedHz(); dblSpeed && chkHarmonics->isChecked() && trace) {
        pltSpectrum->setHarmonics(engine::harmonicFrequencies(*dblSpeed, trace->dblFreq.back()));
        return;
    }
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

QString SpectrumPanel::peakTableText() const
{
    // The headings name the units of the copied values, which are those of the spectrum file.
    const QString strUnit = unitsTexts(shown.dblValues.empty() ? shownSettings.units : shown.scale.units).strFile;
    const QStringList strHeadings{tr("順位"), tr("周波数 [Hz]"), tr("振幅 [%1]").arg(strUnit), tr("推定周波数 [Hz]"),
                                  tr("推定振幅 [%1]").arg(strUnit)};
    QStringList strLines{strHeadings.join(QLatin1Char('\t'))};
    for (int intRow = 0; intRow < tblPeaks->rowCount(); ++intRow) {
        QStringList strCells;
        for (int intColumn = 0; intColumn < tblPeaks->columnCount(); ++intColumn) {
            strCells << tblPeaks->item(intRow, intColumn)->text();
        }
        strLines << strCells.join(QLatin1Char('\t'));
    }
    return strLines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

void SpectrumPanel::cmdCopyPeaks_Click()
{
    QApplication::clipboard()->setText(peakTableText());
}

void SpectrumPanel::chkHarmonics_Toggled(bool /*blnChecked*/)
{
    refreshHarmonics();
}

void SpectrumPanel::spnPeakThreshold_Changed(int /*intValue*/)
{
    refreshPeakTable();
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
