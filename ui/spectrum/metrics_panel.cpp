// SPDX-License-Identifier: GPL-3.0-or-later
#include "metrics_panel.h"

#include "engine/run/analysis_parameters.h"
#include "engine/run/number_text.h"
#include "engine/view/readable_number.h"
#include "flow_layout.h"
#include "spectrum_panel_text.h"
#include "spectrum_plot.h"
#include "units_text.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
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

constexpr int intReadableDigits = 4;

template <typename Control> Control* named(Control* control, const char* strName, const QString& strAccessible)
{
    control->setObjectName(QLatin1String(strName));
    control->setAccessibleName(strAccessible);
    return control;
}

// A figure in dB with two decimals; "∞ dB" for a ratio to nothing (no noise, no spur).
QString dbText(double dblDb, const QString& strUnit = QStringLiteral("dB"))
{
    if (std::isinf(dblDb)) {
        return (dblDb > 0 ? QStringLiteral("∞ ") : QStringLiteral("-∞ ")) + strUnit;
    }
    if (std::isnan(dblDb)) {
        return QStringLiteral("— ") + strUnit;
    }
    return fromUtf8(engine::fixedDecimalText(dblDb, 2)) + QLatin1Char(' ') + strUnit;
}

QString signedDbText(double dblDb)
{
    const QString strText = dbText(dblDb);
    return dblDb >= 0.0 && std::isfinite(dblDb) ? QLatin1Char('+') + strText : strText;
}

// A value as the figures' file writes it, with its unit, for a tooltip.
QString exactText(double dblValue, const char* strUnit)
{
    return std::isfinite(dblValue) ? generalText(dblValue) + QLatin1Char(' ') + QLatin1String(strUnit)
                                   : dbText(dblValue, QLatin1String(strUnit));
}

QString hzText(double dblFreq, double dblDeltaFreq)
{
    return fromUtf8(engine::lineFrequencyText(dblFreq, dblDeltaFreq)) + QStringLiteral(" Hz");
}

// A swatch of a role's shading and its name, for the legend.
QString swatch(engine::LineRole role, const QString& strName)
{
    const QColor clrShade = SpectrumPlot::roleColour(role);
    // The translucent shade as it shows on white.
    const auto blended = [&](int intChannel) { return 255 - (255 - intChannel) * clrShade.alpha() / 255; };
    const QColor clrShown(blended(clrShade.red()), blended(clrShade.green()), blended(clrShade.blue()));
    return QStringLiteral("<span style=\"background-color:%1\">&nbsp;&nbsp;&nbsp;&nbsp;</span>&nbsp;%2")
        .arg(clrShown.name(), strName.toHtmlEscaped());
}

} // namespace

MetricsPanel::MetricsPanel(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("pnlMetrics"));
    createControls();
    arrangeControls();
    connectSignals();
    refreshTable();
}

void MetricsPanel::createControls()
{
    // The title and the status change with what is shown: screen readers read their text, so they carry
    // no fixed name.
    lblTitle = new QLabel(tr("変換器の指標"), this);
    lblTitle->setObjectName(QStringLiteral("lblMetricsTitle"));
    lblTitle->setWordWrap(true);
    lblFundamental = named(new QLabel(tr("基本波 [Hz]"), this), "lblFundamental", tr("基本波の周波数"));
    txtFundamental = named(new QLineEdit(this), "txtFundamental", tr("基本波の周波数 [Hz]"));
    txtFundamental->setPlaceholderText(tr("最大の線"));
    txtFundamental->setToolTip(tr("測るトーンの周波数。空欄なら 0 Hz を除く最大の線"));
    lblFundamental->setBuddy(txtFundamental);
    cmdCopyMetrics = named(new QPushButton(tr("指標をコピー"), this), "cmdCopyMetrics", tr("指標をコピー"));
    cmdCopyMetrics->setToolTip(tr("指標と設定を、タブ区切りの表としてコピーします（表の中では Ctrl+C でも）"));
    chkShadeLines = named(new QCheckBox(tr("線を色分け"), this), "chkShadeLines", tr("数えた線をグラフで色分け"));
    chkShadeLines->setChecked(true);
    lblRoleLegend = named(new QLabel(this), "lblRoleLegend", tr("色分けの凡例"));
    lblRoleLegend->setTextFormat(Qt::RichText);
    lblRoleLegend->setText(swatch(engine::LineRole::Fundamental, tr("基本波")) + QStringLiteral("&nbsp;&nbsp;") +
                           swatch(engine::LineRole::Harmonic, tr("高調波 2〜10")) + QStringLiteral("&nbsp;&nbsp;") +
                           swatch(engine::LineRole::Excluded, tr("除外（0 Hz）")));
    lblStatus = new QLabel(this);
    lblStatus->setObjectName(QStringLiteral("lblMetricsStatus"));
    lblStatus->setAccessibleDescription(tr("指標の状態"));
    lblStatus->setWordWrap(true);
    tblMetrics = named(new QTableWidget(0, 2, this), "tblMetrics", tr("変換器の指標の表"));
    tblMetrics->setHorizontalHeaderLabels({tr("指標"), tr("値")});
    tblMetrics->verticalHeader()->setVisible(false);
    tblMetrics->verticalHeader()->setDefaultSectionSize(tblMetrics->fontMetrics().height() + 8);
    tblMetrics->setWordWrap(true);
    tblMetrics->horizontalHeader()->setStretchLastSection(true);
    tblMetrics->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tblMetrics->setSelectionBehavior(QAbstractItemView::SelectRows);
    tblMetrics->setTabKeyNavigation(false);
    actCopyMetrics = new QAction(tr("指標をコピー"), tblMetrics);
    actCopyMetrics->setShortcut(QKeySequence::Copy);
    actCopyMetrics->setShortcutContext(Qt::WidgetShortcut);
    tblMetrics->addAction(actCopyMetrics);
    tblMetrics->setContextMenuPolicy(Qt::ActionsContextMenu);
}

void MetricsPanel::arrangeControls()
{
    // The tools wrap onto a second row when the user narrows the panel.
    auto* layTools = new FlowLayout;
    auto* grpFundamental = new QWidget(this);
    grpFundamental->setObjectName(QStringLiteral("grpFundamental"));
    auto* layFundamental = new QHBoxLayout(grpFundamental);
    layFundamental->setContentsMargins(0, 0, 0, 0);
    layFundamental->addWidget(lblFundamental);
    layFundamental->addWidget(txtFundamental);
    layTools->addWidget(grpFundamental);
    layTools->addWidget(cmdCopyMetrics);
    layTools->addWidget(chkShadeLines);
    auto* layPanel = new QVBoxLayout(this);
    layPanel->setContentsMargins(0, 0, 0, 0);
    layPanel->addWidget(lblTitle);
    layPanel->addLayout(layTools);
    layPanel->addWidget(lblRoleLegend);
    layPanel->addWidget(lblStatus);
    layPanel->addWidget(tblMetrics, 1);
    const std::vector<QWidget*> controls = focusOrder();
    for (std::size_t i = 1; i < controls.size(); ++i) {
        QWidget::setTabOrder(controls[i - 1], controls[i]);
    }
}

void MetricsPanel::connectSignals()
{
    connect(txtFundamental, &QLineEdit::editingFinished, this, &MetricsPanel::txtFundamental_EditingFinished);
    connect(cmdCopyMetrics, &QPushButton::clicked, this, &MetricsPanel::cmdCopyMetrics_Click);
    connect(actCopyMetrics, &QAction::triggered, this, &MetricsPanel::cmdCopyMetrics_Click);
    connect(chkShadeLines, &QCheckBox::toggled, this, &MetricsPanel::chkShadeLines_Toggled);
    // A value too long for a narrowed panel wraps onto a second line rather than being cut.
    connect(tblMetrics->horizontalHeader(), &QHeaderView::sectionResized, tblMetrics,
            &QTableWidget::resizeRowsToContents);
}

std::vector<QWidget*> MetricsPanel::focusOrder() const
{
    return {txtFundamental, cmdCopyMetrics, chkShadeLines, tblMetrics};
}

void MetricsPanel::showAverage(const engine::AveragedPower& newAverage, std::int32_t lngNewSampFreq, double dblNewRange,
                               const QString& strSource, const std::optional<engine::EngineeringUnit>& sensor)
{
    sensorUnit = sensor;
    lblTitle->setText(strSource.isEmpty() ? tr("変換器の指標") : tr("変換器の指標：%1").arg(strSource));
    average = newAverage;
    lngSampFreq = lngNewSampFreq;
    dblRange = dblNewRange;
    recompute();
}

void MetricsPanel::showEvent(QShowEvent* event)
{
    // Measured while hidden, the rows kept the height of a column as wide as nothing: fitted again now
    // that the table has its width, so no value is cut as the panel first appears.
    QWidget::showEvent(event);
    tblMetrics->resizeColumnToContents(0);
    tblMetrics->resizeRowsToContents();
}

void MetricsPanel::clear()
{
    lblTitle->setText(tr("変換器の指標"));
    average.reset();
    recompute();
}

void MetricsPanel::recompute()
{
    toneFigures.reset();
    lblStatus->clear();
    if (!average) {
        lblStatus->setText(tr("記録を解析すると、ここにトーンの指標が表示されます。"));
    } else if (average->lngSegments == 0) {
        lblStatus->setText(tr("区間が 1 つもないため、指標はありません。"));
    } else if (average->dblPower.size() != static_cast<std::size_t>(average->settings.lngNumSamp / 2 + 1)) {
        lblStatus->setText(tr("指標には fs/2 までの平均スペクトルが要ります。"));
    } else {
        const double dblVoltsPerCount = dblRange / engine::dblFullScaleCount;
        toneFigures = engine::toneFiguresOf(*average, lngSampFreq, dblVoltsPerCount, dblRange, dblFundamentalHz);
        if (!(toneFigures->dblFundamentalPower > 0.0)) {
            lblStatus->setText(tr("トーンが見つかりません（基本波の電力が 0）。"));
        }
    }
    refreshTable();
    emit shadingChanged();
}

double MetricsPanel::lineSpacing() const
{
    return average && average->settings.lngNumSamp > 0 ? lngSampFreq / static_cast<double>(average->settings.lngNumSamp)
                                                       : 0.0;
}

std::vector<engine::LineRole> MetricsPanel::shadedRoles() const
{
    if (!toneFigures || !chkShadeLines->isChecked()) {
        return {};
    }
    return toneFigures->roles;
}

void MetricsPanel::addRow(const QString& strName, const QString& strValue, const QString& strExact)
{
    const int intRow = tblMetrics->rowCount();
    tblMetrics->insertRow(intRow);
    auto* name = new QTableWidgetItem(strName);
    auto* value = new QTableWidgetItem(strValue);
    value->setToolTip(strExact);
    value->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    tblMetrics->setItem(intRow, 0, name);
    tblMetrics->setItem(intRow, 1, value);
}

void MetricsPanel::refreshTable()
{
    tblMetrics->setRowCount(0);
    cmdCopyMetrics->setEnabled(toneFigures.has_value());
    actCopyMetrics->setEnabled(toneFigures.has_value());
    if (toneFigures) {
        addFigureRows(*toneFigures);
        addNoiseRows(*toneFigures);
        tblMetrics->resizeColumnToContents(0);
        tblMetrics->resizeRowsToContents();
    }
}

void MetricsPanel::addFigureRows(const engine::ToneFigures& figures)
{
    // The refined frequency lies between lines: a thousandth of a line shows it.
    addRow(tr("基本波の周波数"), hzText(figures.dblFundamentalFreq, lineSpacing() / 1000.0),
           exactText(figures.dblFundamentalFreq, "Hz"));
    QString strAmplitude = tr("%1 peak（%2）")
                               .arg(voltsText(figures.dblFundamentalPeak),
                                    dbText(-figures.dblFullScaleCorrection, QStringLiteral("dBFS")));
    if (sensorUnit) {
        strAmplitude += tr("＝%1 peak")
                            .arg(unitValueText(engine::euOfVolts(figures.dblFundamentalPeak, *sensorUnit),
                                               fromUtf8(sensorUnit->strUnit)));
    }
    addRow(tr("基本波の振幅"), strAmplitude, exactText(figures.dblFundamentalPeak, "V"));
    addRow(tr("SNR"), dbText(figures.dblSnr), exactText(figures.dblSnr, "dB"));
    addRow(tr("THD"),
           tr("%1（%2 %）")
               .arg(dbText(figures.dblThd), QString::number(100.0 * std::pow(10.0, figures.dblThd / 20.0), 'g', 3)),
           exactText(figures.dblThd, "dB"));
    addRow(tr("SINAD"), dbText(figures.dblSinad), exactText(figures.dblSinad, "dB"));
    // The full-scale correction beside the ENOB, the ENOB it gives on a row of its own so neither is cut.
    addRow(
        tr("ENOB"),
        tr("%1 bit（FS 補正 %2）")
            .arg(fromUtf8(engine::fixedDecimalText(figures.dblEnob, 2)), signedDbText(figures.dblFullScaleCorrection)),
        exactText(figures.dblEnob, "bits"));
    addRow(tr("ENOB（FS 換算）"), tr("%1 bit").arg(fromUtf8(engine::fixedDecimalText(figures.dblEnobFullScale, 2))),
           exactText(figures.dblEnobFullScale, "bits"));
    addRow(tr("SFDR"), tr("%1（%2）").arg(dbText(figures.dblSfdr), hzText(figures.dblSpurFreq, lineSpacing())),
           exactText(figures.dblSfdr, "dB"));
}

void MetricsPanel::addNoiseRows(const engine::ToneFigures& figures)
{
    QString strDensity = fromUtf8(engine::siText(std::sqrt(figures.dblNoiseDensity), intReadableDigits, "V/√Hz"));
    if (sensorUnit) {
        const QString strUnit = fromUtf8(sensorUnit->strUnit);
        strDensity += tr("＝%1").arg(
            unitValueText(engine::euOfVolts(std::sqrt(figures.dblNoiseDensity), *sensorUnit),
                          (strUnit.contains(QLatin1Char('/')) ? QStringLiteral("(%1)").arg(strUnit) : strUnit) +
                              QStringLiteral("/√Hz")));
    }
    addRow(tr("ノイズフロア"),
           tr("%1/本（%2）")
               .arg(dbText(10.0 * std::log10(figures.dblNoiseFloorPerLine), QStringLiteral("dBV")), strDensity),
           exactText(std::sqrt(figures.dblNoiseDensity), "V/sqrt(Hz)"));
    addRow(tr("ノイズ"),
           tr("%1 rms（%2 本）").arg(voltsText(std::sqrt(figures.dblNoisePower))).arg(figures.lngNoiseLines),
           exactText(figures.dblNoisePower, "V^2"));
    for (const engine::HarmonicFigure& harmonic : figures.harmonics) {
        addRow(
            tr("高調波 %1 次").arg(harmonic.intOrder),
            tr("%1　%2").arg(hzText(harmonic.dblFreq, lineSpacing()), dbText(harmonic.dblDbc, QStringLiteral("dBc"))),
            exactText(harmonic.dblDbc, "dBc"));
    }
}

QString MetricsPanel::figuresText() const
{
    if (!toneFigures || !average) {
        return {};
    }
    const engine::FigureSettings measured{average->settings, average->lngSegments, lngSampFreq, dblRange,
                                          average->lngSamples};
    QStringList strLines{QStringLiteral("name\tvalue\tunit")};
    for (const engine::FigureLine& line : engine::figureTable(*toneFigures, measured)) {
        strLines << QStringList{fromUtf8(line.strName), fromUtf8(line.strValue), fromUtf8(line.strUnit)}.join(
            QLatin1Char('\t'));
    }
    return strLines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

void MetricsPanel::txtFundamental_EditingFinished()
{
    const QString strText = txtFundamental->text().trimmed();
    std::optional<double> dblGiven;
    if (!strText.isEmpty()) {
        dblGiven = engine::numericValue(strText.toStdString());
        const double dblNyquist = lngSampFreq / 2.0;
        if (!dblGiven || !(*dblGiven > 0.0) || (average && !(*dblGiven < dblNyquist))) {
            lblStatus->setText(
                tr("基本波の周波数は 0 Hz より大きく fs/2 未満の数で入力してください（空欄なら最大の線）。"));
            txtFundamental->selectAll();
            return;
        }
    }
    if (dblGiven != dblFundamentalHz) {
        dblFundamentalHz = dblGiven;
        recompute();
    }
}

void MetricsPanel::cmdCopyMetrics_Click()
{
    const QString strText = figuresText();
    if (!strText.isEmpty()) {
        QApplication::clipboard()->setText(strText);
    }
}

void MetricsPanel::chkShadeLines_Toggled(bool /*blnChecked*/)
{
    emit shadingChanged();
}

} // namespace kestrix::ui
