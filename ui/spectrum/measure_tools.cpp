// SPDX-License-Identifier: GPL-3.0-or-later
#include "measure_tools.h"

#include "spectrum_panel_text.h"
#include "spectrum_plot.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QValidator>

#include <functional>

namespace kestrix::ui {
namespace {

// Takes a text only when it reads (or is empty: no speed); anything else may still be on its way.
class SpeedValidator final : public QValidator
{
public:
    SpeedValidator(std::function<bool(const QString&)> reads, QObject* parent)
        : QValidator(parent), reads(std::move(reads))
    {
    }

    State validate(QString& strInput, int& /*intPosition*/) const override
    {
        return strInput.trimmed().isEmpty() || reads(strInput) ? Acceptable : Intermediate;
    }

private:
    std::function<bool(const QString&)> reads;
};

template <typename Control> Control* named(Control* control, const char* strName, const QString& strAccessible)
{
    control->setObjectName(QLatin1String(strName));
    control->setAccessibleName(strAccessible);
    return control;
}

constexpr int intRpmIndex = 0;
constexpr int intHzIndex = 1;

} // namespace

MeasureTools::MeasureTools(SpectrumPlot& plot, QWidget& parent) : QObject(&parent), plot(plot)
{
    createControls(parent);
    connectSignals();
    plot_CursorChanged();
}

void MeasureTools::createControls(QWidget& parent)
{
    chkLogFrequency =
        named(new QCheckBox(tr("対数周波数軸(&L)"), &parent), "chkLogFrequency", tr("周波数軸を対数目盛に"));
    chkLogFrequency->setToolTip(tr("周波数軸を対数目盛（1・2・5 の目盛）で表示します。0 Hz の線は表示されません"));
    lblRunningSpeed = named(new QLabel(tr("回転数(&N)"), &parent), "lblRunningSpeed", tr("回転数"));
    txtRunningSpeed = named(new QLineEdit(&parent), "txtRunningSpeed", tr("回転数（rpm または Hz）"));
    txtRunningSpeed->setPlaceholderText(tr("例 1500"));
    txtRunningSpeed->setToolTip(tr("機械の回転数。1500、1500 rpm、25 Hz のように入力します（数だけなら右の単位）"));
    txtRunningSpeed->setValidator(new SpeedValidator(
        [this](const QString& strText) {
            return engine::parseRunningSpeed(strText.toStdString(), cboSpeedUnit->currentIndex() == intHzIndex
                                                                        ? engine::SpeedUnit::Hz
                                                                        : engine::SpeedUnit::Rpm)
                .has_value();
        },
        txtRunningSpeed));
    lblRunningSpeed->setBuddy(txtRunningSpeed);
    cboSpeedUnit = named(new QComboBox(&parent), "cboSpeedUnit", tr("回転数の単位"));
    cboSpeedUnit->addItems({QStringLiteral("rpm"), QStringLiteral("Hz")});
    cmdSpeedFromCursor =
        named(new QPushButton(tr("カーソルから"), &parent), "cmdSpeedFromCursor", tr("カーソルの線を 1 次にする"));
    cmdSpeedFromCursor->setToolTip(tr("カーソルの線（ピークの表で選んだ行など）の周波数を回転数（1 次）にします"));
    chkOrders = named(new QCheckBox(tr("次数で表示(&O)"), &parent), "chkOrders", tr("周波数軸を回転数の次数で表示"));
    chkOrders->setToolTip(tr("周波数軸と読み取りを回転数の次数で表示します。高調波マーカーは回転数の倍数に付きます"));
}

void MeasureTools::connectSignals()
{
    connect(chkLogFrequency, &QCheckBox::toggled, this, &MeasureTools::chkLogFrequency_Toggled);
    connect(txtRunningSpeed, &QLineEdit::textChanged, this, &MeasureTools::txtRunningSpeed_Changed);
    connect(txtRunningSpeed, &QLineEdit::editingFinished, this, &MeasureTools::txtRunningSpeed_EditingFinished);
    connect(cboSpeedUnit, &QComboBox::currentIndexChanged, this, &MeasureTools::cboSpeedUnit_Changed);
    connect(cmdSpeedFromCursor, &QPushButton::clicked, this, &MeasureTools::cmdSpeedFromCursor_Click);
    connect(chkOrders, &QCheckBox::toggled, this, &MeasureTools::chkOrders_Toggled);
    connect(&plot, &SpectrumPlot::cursorChanged, this, &MeasureTools::plot_CursorChanged);
}

std::vector<QWidget*> MeasureTools::scaleControls() const
{
    return {chkLogFrequency};
}

std::vector<QWidget*> MeasureTools::orderControls() const
{
    return {lblRunningSpeed, txtRunningSpeed, cboSpeedUnit, cmdSpeedFromCursor, chkOrders};
}

std::optional<engine::RunningSpeed> MeasureTools::orderSpeed() const
{
    return chkOrders->isChecked() ? speed : std::nullopt;
}

void MeasureTools::applyOrders()
{
    plot.setRunningSpeed(orderSpeed());
    emit ordersChanged();
}

void MeasureTools::refreshSpeedField()
{
    const QSignalBlocker blockUnit(cboSpeedUnit);
    if (speed) {
        cboSpeedUnit->setCurrentIndex(speed->unit == engine::SpeedUnit::Hz ? intHzIndex : intRpmIndex);
        txtRunningSpeed->setText(fromUtf8(engine::speedValueText(speed->dblHz, speed->unit)));
    } else {
        txtRunningSpeed->clear();
    }
}

void MeasureTools::chkLogFrequency_Toggled(bool blnChecked)
{
    plot.setLogFrequency(blnChecked);
}

void MeasureTools::txtRunningSpeed_Changed(const QString& strText)
{
    QString strCopy = strText;
    int intPosition = 0;
    const bool blnReads = txtRunningSpeed->validator()->validate(strCopy, intPosition) == QValidator::Acceptable;
    // Red until it reads, so an entry that is not taken does not pass unnoticed.
    txtRunningSpeed->setStyleSheet(blnReads ? QString() : QStringLiteral("QLineEdit { background: #ffd9d9; }"));
    txtRunningSpeed->setToolTip(blnReads
                                    ? tr("機械の回転数。1500、1500 rpm、25 Hz のように入力します（数だけなら右の単位）")
                                    : tr("回転数として読めません。1500、1500 rpm、25 Hz のように、0.06 rpm から "
                                         "6E+10 rpm までで入力してください"));
}

void MeasureTools::txtRunningSpeed_EditingFinished()
{
    const QString strText = txtRunningSpeed->text();
    if (strText.trimmed().isEmpty()) {
        speed.reset();
    } else {
        const engine::SpeedUnit unit =
            cboSpeedUnit->currentIndex() == intHzIndex ? engine::SpeedUnit::Hz : engine::SpeedUnit::Rpm;
        speed = engine::parseRunningSpeed(strText.toStdString(), unit);
    }
    refreshSpeedField();
    // A speed typed asks for orders, and none for Hz again; but where the field lost the focus to the
    // orders' own box (its key Alt+O, a click on it), that box's click decides, not undone by it.
    if (QApplication::focusWidget() != chkOrders || !speed) {
        const QSignalBlocker blockOrders(chkOrders);
        chkOrders->setChecked(speed.has_value());
    }
    applyOrders();
}

void MeasureTools::cboSpeedUnit_Changed(int intIndex)
{
    if (!speed) {
        return;
    }
    // The same speed in the other unit: 1500 rpm reads 25 Hz.
    speed->unit = intIndex == intHzIndex ? engine::SpeedUnit::Hz : engine::SpeedUnit::Rpm;
    refreshSpeedField();
    applyOrders();
}

void MeasureTools::cmdSpeedFromCursor_Click()
{
    const PlotTrace* trace = plot.cursorTrace();
    if (!trace || !plot.cursorLine()) {
        return;
    }
    const double dblHz = trace->dblFreq[*plot.cursorLine()];
    if (!(dblHz >= engine::dblMinRunningHz && dblHz <= engine::dblMaxRunningHz)) {
        return;
    }
    speed = engine::RunningSpeed{dblHz, cboSpeedUnit->currentIndex() == intHzIndex ? engine::SpeedUnit::Hz
                                                                                   : engine::SpeedUnit::Rpm};
    refreshSpeedField();
    const QSignalBlocker blockOrders(chkOrders);
    chkOrders->setChecked(true);
    applyOrders();
}

void MeasureTools::chkOrders_Toggled(bool blnChecked)
{
    if (blnChecked && !speed) {
        // Orders of nothing: the speed is asked for where it is typed.
        txtRunningSpeed->setFocus();
    }
    applyOrders();
}

void MeasureTools::plot_CursorChanged()
{
    const PlotTrace* trace = plot.cursorTrace();
    const bool blnLine = trace && plot.cursorLine() && trace->dblFreq[*plot.cursorLine()] >= engine::dblMinRunningHz;
    cmdSpeedFromCursor->setEnabled(blnLine);
}

} // namespace kestrix::ui
