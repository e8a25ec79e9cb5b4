// SPDX-License-Identifier: GPL-3.0-or-later
#include "peak_panel.h"

#include "flow_layout.h"
#include "spectrum_panel_text.h"
#include "units_text.h"
#include "view_document.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace kestrix::ui {
namespace {

constexpr int intPeakColumns = 5;
constexpr int intMinVisibleRows = 4;
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
        const QVariant readable = index.data(PeakPanel::intShownTextRole);
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
    item->setData(PeakPanel::intShownTextRole, strShown);
    item->setToolTip(strTip);
    item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return item;
}

} // namespace

PeakPanel::PeakPanel(ViewDocument& document, QWidget* parent) : QWidget(parent), document(document)
{
    setObjectName(QStringLiteral("pnlPeaks"));
    createControls();
    arrangeControls();
    connect(spnPeakThreshold, &QSpinBox::valueChanged, this, &PeakPanel::refresh);
    connect(cmdCopyPeaks, &QPushButton::clicked, this, &PeakPanel::copyTable);
    connect(actCopyPeaks, &QAction::triggered, this, &PeakPanel::copyTable);
    connect(chkHarmonics, &QCheckBox::toggled, this, &PeakPanel::harmonicsChanged);
    connect(tblPeaks, &QTableWidget::itemSelectionChanged, this, &PeakPanel::tblPeaks_SelectionChanged);
    connect(&document, &ViewDocument::spectrumChanged, this, &PeakPanel::refresh);
    refresh();
}

void PeakPanel::createControls()
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
    createTable();
}

void PeakPanel::createTable()
{
    tblPeaks = new QTableWidget(0, intPeakColumns, this);
    tblPeaks->setObjectName(QStringLiteral("tblPeaks"));
    tblPeaks->setAccessibleName(tr("ピーク一覧"));
    showHeadings({});
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
    fitColumns();
}

void PeakPanel::arrangeControls()
{
    auto* layTools = new FlowLayout;
    layTools->setSpacing(12);
    layTools->addGroup(*this, "grpPeakThreshold", {lblPeakThreshold, spnPeakThreshold});
    layTools->addGroup(*this, "grpPeakCommands", {cmdCopyPeaks, chkHarmonics});
    auto* layPanel = new QVBoxLayout(this);
    layPanel->setContentsMargins(0, 0, 0, 0);
    layPanel->addLayout(layTools);
    layPanel->addWidget(tblPeaks, 1);
}

std::vector<QWidget*> PeakPanel::focusOrder() const
{
    return {spnPeakThreshold, cmdCopyPeaks, chkHarmonics, tblPeaks};
}

void PeakPanel::refresh()
{
    const ShownSpectrum& shown = document.shown();
    spectrumPeaks = shownPeaks(shown, spnPeakThreshold->value());
    const int intDecimals = estimateDecimals(shown.dblDeltaFreq);
    const UnitsTexts texts = document.units();
    const QString strUnit = QLatin1Char(' ') + texts.strFile;
    // A sensor's units are longer than volts' ("79.25 mm/s p-p"): they head the columns, so the five
    // columns still fit a narrow view.
    const bool blnUnitHeads = !inVolts(shown.quantity);
    showHeadings(blnUnitHeads ? texts.strValue : QString());
    const auto readable = [&](double dblValue) {
        return blnUnitHeads ? bareValueText(dblValue, shown.scale) : valueText(dblValue, shown.scale, texts);
    };
    const QSignalBlocker blocker(tblPeaks);
    tblPeaks->setRowCount(static_cast<int>(spectrumPeaks.size()));
    for (int intRow = 0; intRow < tblPeaks->rowCount(); ++intRow) {
        const engine::SpectrumPeak& peak = spectrumPeaks[static_cast<std::size_t>(intRow)];
        const QString strRise = std::isfinite(peak.dblRiseDb) ? QString::number(peak.dblRiseDb, 'f', 1) : tr("∞");
        const QString strRank = QString::number(intRow + 1);
        tblPeaks->setItem(intRow, 0, peakCell(strRank, strRank, tr("周囲の中央値より %1 dB 高いピーク").arg(strRise)));
        tblPeaks->setItem(intRow, 1,
                          peakCell(generalText(peak.dblFreq),
                                   fromUtf8(engine::lineFrequencyText(peak.dblFreq, shown.dblDeltaFreq)),
                                   generalText(peak.dblFreq) + QStringLiteral(" Hz")));
        tblPeaks->setItem(
            intRow, 2,
            peakCell(generalText(peak.dblVolts), readable(peak.dblVolts), generalText(peak.dblVolts) + strUnit));
        // The estimates copied as exactly as the lines' values, shown to what they resolve.
        tblPeaks->setItem(intRow, 3,
                          peakCell(generalText(peak.dblEstimatedFreq),
                                   QString::number(peak.dblEstimatedFreq, 'f', intDecimals),
                                   generalText(peak.dblEstimatedFreq) + QStringLiteral(" Hz")));
        tblPeaks->setItem(intRow, 4,
                          peakCell(generalText(peak.dblEstimatedVolts), readable(peak.dblEstimatedVolts),
                                   generalText(peak.dblEstimatedVolts) + strUnit));
    }
    tblPeaks->clearSelection();
    fitColumns();
    emit harmonicsChanged();
}

void PeakPanel::showHeadings(const QString& strUnit)
{
    // Headings of two short lines, so the five columns fit a narrow view.
    if (strUnit.isEmpty()) {
        tblPeaks->setHorizontalHeaderLabels(
            {tr("順位"), tr("周波数\n[Hz]"), tr("振幅"), tr("推定周波数\n[Hz]"), tr("推定\n振幅")});
        return;
    }
    // The unit without brackets, so the two value columns fit a narrow view at twice the scale.
    tblPeaks->setHorizontalHeaderLabels({tr("順位"), tr("周波数\n[Hz]"), tr("振幅\n%1").arg(strUnit),
                                         tr("推定周波数\n[Hz]"), tr("推定振幅\n%1").arg(strUnit)});
}

void PeakPanel::fitColumns()
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

bool PeakPanel::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == tblPeaks->viewport() && event->type() == QEvent::Resize) {
        fitColumns();
    }
    return QWidget::eventFilter(watched, event);
}

bool PeakPanel::harmonicsWanted() const
{
    return chkHarmonics->isChecked();
}

std::optional<double> PeakPanel::chosenFrequency() const
{
    if (spectrumPeaks.empty()) {
        return std::nullopt;
    }
    const QModelIndexList selected = tblPeaks->selectionModel()->selectedRows();
    const int intRow = selected.isEmpty() ? 0 : selected.front().row();
    const std::size_t lngPeak = intRow < static_cast<int>(spectrumPeaks.size()) ? static_cast<std::size_t>(intRow) : 0;
    return spectrumPeaks[lngPeak].dblEstimatedFreq;
}

QString PeakPanel::tableText() const
{
    // The headings name the units shown; the values are copied as the spectrum file writes them.
    const QString strUnit = document.units().strLegend;
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

void PeakPanel::copyTable()
{
    QApplication::clipboard()->setText(tableText());
}

void PeakPanel::tblPeaks_SelectionChanged()
{
    const QModelIndexList selected = tblPeaks->selectionModel()->selectedRows();
    const int intRow = selected.isEmpty() ? -1 : selected.front().row();
    if (intRow >= 0 && intRow < static_cast<int>(spectrumPeaks.size())) {
        emit peakChosen(static_cast<std::size_t>(spectrumPeaks[static_cast<std::size_t>(intRow)].lngLine));
    }
    emit harmonicsChanged();
}

} // namespace kestrix::ui
