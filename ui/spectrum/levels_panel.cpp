// SPDX-License-Identifier: GPL-3.0-or-later
#include "levels_panel.h"

#include "engine/recordings/recording_measures.h"
#include "engine/run/analysis_parameters.h"
#include "engine/run/number_text.h"
#include "flow_layout.h"
#include "spectrum_panel_text.h"
#include "units_text.h"
#include "view_document.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <cmath>

namespace kestrix::ui {
namespace {

constexpr int intRatioDecimals = 3; // crest factor and kurtosis: 1.414, 1.500

template <typename Control> Control* named(Control* control, const char* strName, const QString& strAccessible)
{
    control->setObjectName(QLatin1String(strName));
    control->setAccessibleName(strAccessible);
    return control;
}

// A measure in its unit to be read, and as the levels file writes it.
QString readable(double dblValue, const QString& strUnit)
{
    return std::isfinite(dblValue) ? unitValueText(dblValue, strUnit) : QStringLiteral("—");
}

QString exact(double dblValue, const QString& strUnit)
{
    const QString strValue = fromUtf8(engine::figureValueText(dblValue));
    return strUnit.isEmpty() ? strValue : strValue + QLatin1Char(' ') + strUnit;
}

QString ratioText(double dblValue)
{
    return std::isfinite(dblValue) ? QString::number(dblValue, 'f', intRatioDecimals) : QStringLiteral("—");
}

} // namespace

LevelsPanel::LevelsPanel(ViewDocument& document, QWidget* parent) : QWidget(parent), document(document)
{
    setObjectName(QStringLiteral("pnlLevels"));
    createControls();
    arrangeControls();
    connectSignals();
    refresh();
}

void LevelsPanel::createControls()
{
    // The title and the status change with what is shown: screen readers read their text.
    lblTitle = new QLabel(tr("状態の指標"), this);
    lblTitle->setObjectName(QStringLiteral("lblLevelsTitle"));
    lblTitle->setWordWrap(true);
    lblBand = named(new QLabel(tr("帯域 RMS [Hz]"), this), "lblBandRms", tr("帯域 RMS の帯域"));
    txtBandLow = named(new QLineEdit(this), "txtBandLow", tr("帯域 RMS の下限 [Hz]"));
    txtBandHigh = named(new QLineEdit(this), "txtBandHigh", tr("帯域 RMS の上限 [Hz]"));
    for (QLineEdit* field : {txtBandLow, txtBandHigh}) {
        field->setMaximumWidth(field->fontMetrics().horizontalAdvance(QStringLiteral("0000000.0")));
        field->setToolTip(tr("帯域 RMS を求める周波数の範囲。空欄なら、速度では 10〜1000 Hz（ISO 20816 の速度の"
                             "実効値）、ほかでは 0 Hz から fs/2.56 まで"));
    }
    lblBand->setBuddy(txtBandLow);
    cmdCopyLevels = named(new QPushButton(tr("指標をコピー"), this), "cmdCopyLevels", tr("状態の指標をコピー"));
    cmdCopyLevels->setToolTip(tr("指標と設定を、レベルファイルと同じ値でタブ区切りの表としてコピーします"
                                 "（表の中では Ctrl+C でも）"));
    lblStatus = new QLabel(this);
    lblStatus->setObjectName(QStringLiteral("lblLevelsStatus"));
    lblStatus->setAccessibleDescription(tr("状態の指標の状態"));
    lblStatus->setWordWrap(true);
    tblLevels = named(new QTableWidget(0, 2, this), "tblLevels", tr("状態の指標の表"));
    tblLevels->setHorizontalHeaderLabels({tr("指標"), tr("値")});
    tblLevels->verticalHeader()->setVisible(false);
    tblLevels->setWordWrap(true);
    // The values whole; the names take the rest and wrap ("帯域 RMS 10-1000 Hz（ISO 20816 の速度）").
    tblLevels->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    tblLevels->horizontalHeader()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    tblLevels->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tblLevels->setSelectionBehavior(QAbstractItemView::SelectRows);
    tblLevels->setTabKeyNavigation(false);
    actCopyLevels = new QAction(tr("指標をコピー"), tblLevels);
    actCopyLevels->setShortcut(QKeySequence::Copy);
    actCopyLevels->setShortcutContext(Qt::WidgetShortcut);
    tblLevels->addAction(actCopyLevels);
    tblLevels->setContextMenuPolicy(Qt::ActionsContextMenu);
}

void LevelsPanel::arrangeControls()
{
    // The tools wrap onto a second row when the user narrows the panel.
    auto* layTools = new FlowLayout;
    auto* grpBand = new QWidget(this);
    grpBand->setObjectName(QStringLiteral("grpBandRms"));
    auto* layBand = new QHBoxLayout(grpBand);
    layBand->setContentsMargins(0, 0, 0, 0);
    layBand->addWidget(lblBand);
    layBand->addWidget(txtBandLow);
    layBand->addWidget(new QLabel(QStringLiteral("–"), grpBand));
    layBand->addWidget(txtBandHigh);
    layTools->addWidget(grpBand);
    layTools->addWidget(cmdCopyLevels);
    auto* layPanel = new QVBoxLayout(this);
    layPanel->setContentsMargins(0, 0, 0, 0);
    layPanel->addWidget(lblTitle);
    layPanel->addLayout(layTools);
    layPanel->addWidget(lblStatus);
    layPanel->addWidget(tblLevels, 1);
    const std::vector<QWidget*> controls = focusOrder();
    for (std::size_t i = 1; i < controls.size(); ++i) {
        QWidget::setTabOrder(controls[i - 1], controls[i]);
    }
}

void LevelsPanel::connectSignals()
{
    for (QLineEdit* field : {txtBandLow, txtBandHigh}) {
        connect(field, &QLineEdit::editingFinished, this, &LevelsPanel::txtBand_EditingFinished);
    }
    connect(cmdCopyLevels, &QPushButton::clicked, this, &LevelsPanel::cmdCopyLevels_Click);
    connect(actCopyLevels, &QAction::triggered, this, &LevelsPanel::cmdCopyLevels_Click);
    connect(&document, &ViewDocument::spectrumChanged, this, &LevelsPanel::refresh);
    connect(tblLevels->horizontalHeader(), &QHeaderView::sectionResized, this, &LevelsPanel::fitRows);
}

std::vector<QWidget*> LevelsPanel::focusOrder() const
{
    return {txtBandLow, txtBandHigh, cmdCopyLevels, tblLevels};
}

void LevelsPanel::showEvent(QShowEvent* event)
{
    // Measured while hidden, the rows kept the height of a column as wide as nothing.
    QWidget::showEvent(event);
    fitRows();
}

// The band typed (an edge left empty takes the default's); none where neither is typed. A band that is
// not one leaves strRefusal saying why.
std::optional<engine::FrequencyBand> LevelsPanel::typedBand(QString& strRefusal) const
{
    const QString strLow = txtBandLow->text().trimmed();
    const QString strHigh = txtBandHigh->text().trimmed();
    if (strLow.isEmpty() && strHigh.isEmpty()) {
        return std::nullopt;
    }
    const std::int32_t lngSampFreq = document.reading() ? document.reading()->average.lngSampFreq : 0;
    engine::FrequencyBand band = engine::defaultBandRms(document.shownSettings().quantity.quantity, lngSampFreq);
    for (const auto& [strText, dblEdge] : {std::pair{strLow, &band.dblLowHz}, std::pair{strHigh, &band.dblHighHz}}) {
        if (strText.isEmpty()) {
            continue;
        }
        const std::optional<double> dblValue = engine::numericValue(strText.toStdString());
        if (!dblValue || !std::isfinite(*dblValue)) {
            strRefusal = tr("帯域 RMS の周波数「%1」は数値ではありません。").arg(strText);
            return std::nullopt;
        }
        *dblEdge = *dblValue;
    }
    if (!(band.dblLowHz >= 0.0) || !(band.dblHighHz >= band.dblLowHz)) {
        strRefusal = tr("帯域 RMS の帯域 %1〜%2 Hz：下限は 0 Hz 以上、上限は下限以上にしてください。")
                         .arg(generalText(band.dblLowHz), generalText(band.dblHighHz));
        return std::nullopt;
    }
    return band;
}

void LevelsPanel::addRow(const QString& strName, const QString& strValue, const QString& strExact)
{
    const int intRow = tblLevels->rowCount();
    tblLevels->insertRow(intRow);
    auto* value = new QTableWidgetItem(strValue);
    value->setToolTip(strExact);
    value->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    tblLevels->setItem(intRow, 0, new QTableWidgetItem(strName));
    tblLevels->setItem(intRow, 1, value);
}

void LevelsPanel::refresh()
{
    tblLevels->setRowCount(0);
    conditionLevels = document.conditionLevels();
    band.reset();
    const ViewReading* reading = document.reading();
    cmdCopyLevels->setEnabled(conditionLevels.has_value());
    actCopyLevels->setEnabled(conditionLevels.has_value());
    if (!conditionLevels || reading == nullptr) {
        lblTitle->setText(tr("状態の指標"));
        lblStatus->setText(tr("録音を解析すると、ここに録音全体の実効値・ピーク・クレストファクタ・尖度などが"
                              "表示されます。"));
        return;
    }
    const engine::ConditionLevels& levels = *conditionLevels;
    lblTitle->setText(tr("状態の指標：録音全体（%1 サンプル）").arg(levels.lngSamples));
    const QString strUnit = fromUtf8(levels.strUnit);
    addRow(tr("実効値"), readable(levels.dblRms, strUnit), exact(levels.dblRms, strUnit));
    addRow(tr("ピーク"), readable(levels.dblPeak, strUnit), exact(levels.dblPeak, strUnit));
    addRow(tr("ピーク間"), readable(levels.dblPeakToPeak, strUnit), exact(levels.dblPeakToPeak, strUnit));
    addRow(tr("クレストファクタ"), ratioText(levels.dblCrestFactor), exact(levels.dblCrestFactor, {}));
    addRow(tr("尖度"), ratioText(levels.dblKurtosis), exact(levels.dblKurtosis, {}));
    addRow(tr("平均"), readable(levels.dblMean, strUnit), exact(levels.dblMean, strUnit));
    // The band's RMS from the averaged spectrum, in the quantity shown.
    const engine::AverageFileResult& result = reading->average;
    const engine::MeasuredQuantity& quantity = document.shownSettings().quantity;
    const engine::FrequencyBand defaultBand = engine::defaultBandRms(quantity.quantity, result.lngSampFreq);
    txtBandLow->setPlaceholderText(generalText(defaultBand.dblLowHz));
    txtBandHigh->setPlaceholderText(generalText(defaultBand.dblHighHz));
    QString strRefusal;
    const std::optional<engine::FrequencyBand> typed = typedBand(strRefusal);
    lblStatus->setStyleSheet(strRefusal.isEmpty() ? QString() : QStringLiteral("QLabel { color: #b00000; }"));
    if (!strRefusal.isEmpty()) {
        lblStatus->setText(strRefusal);
    } else {
        band = engine::bandRms(result.average, result.lngSampFreq,
                               document.recording()->dblMaxVolt / engine::dblFullScaleCount, quantity,
                               typed.value_or(defaultBand));
        const QString strBandUnit = fromUtf8(band->strUnit);
        const bool blnIso = !typed && quantity.quantity == engine::Quantity::Velocity;
        addRow(tr("帯域 RMS %1%2")
                   .arg(fromUtf8(engine::bandText(band->band)), blnIso ? tr("（ISO 20816 の速度）") : QString()),
               band->lngLines > 0 ? readable(band->dblRms, strBandUnit) : tr("—（帯域に線がありません）"),
               exact(band->dblRms, strBandUnit));
        lblStatus->setText(result.average.settings.averaging == engine::Averaging::Peak
                               ? tr("帯域 RMS はピークホールドのスペクトルから求めたため、上限の値です。")
                               : QString());
    }
    lblStatus->setVisible(!lblStatus->text().isEmpty());
    fitRows();
}

void LevelsPanel::fitRows()
{
    // Every measure in sight: a handful of rows, which the view scrolls to rather than the table.
    tblLevels->resizeRowsToContents();
    int intHeight = tblLevels->horizontalHeader()->sizeHint().height() + 2 * tblLevels->frameWidth();
    for (int intRow = 0; intRow < tblLevels->rowCount(); ++intRow) {
        intHeight += tblLevels->rowHeight(intRow);
    }
    tblLevels->setMinimumHeight(intHeight);
}

void LevelsPanel::txtBand_EditingFinished()
{
    refresh();
}

QString LevelsPanel::levelsText() const
{
    const ViewReading* reading = document.reading();
    if (!conditionLevels || reading == nullptr || !document.recording()) {
        return {};
    }
    // The levels file's table: its heading's fields, then its rows.
    engine::AverageRequest request = averageRequest(*document.recording(), document.shownSettings());
    request.blnLevels = true;
    request.envelope.reset();
    engine::AverageFileResult result = reading->average;
    result.levels = conditionLevels;
    result.bandRms = band;
    const engine::LevelsTable table = engine::levelsTable(request, result);
    QStringList strHeading{QStringLiteral("name"), QStringLiteral("value"), QStringLiteral("unit")};
    for (const std::string& strField :
         engine::settingsFields(request, result.average, result.lngSampFreq, result.strSource)) {
        strHeading << fromUtf8(strField);
    }
    QStringList strLines{strHeading.join(QLatin1Char('\t'))};
    for (const engine::FigureRow& row : table.rows) {
        strLines << QStringList{fromUtf8(row.strName), fromUtf8(engine::figureValueText(row.dblValue)),
                                fromUtf8(row.strUnit)}
                        .join(QLatin1Char('\t'));
    }
    return strLines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

void LevelsPanel::cmdCopyLevels_Click()
{
    const QString strText = levelsText();
    if (!strText.isEmpty()) {
        QApplication::clipboard()->setText(strText);
    }
}

} // namespace kestrix::ui
