// SPDX-License-Identifier: GPL-3.0-or-later
#include "quantity_fields.h"

#include "calibration_run.h"
#include "engine/run/number_text.h"
#include "sensor_text.h"
#include "spectrum_panel_text.h"
#include "units_text.h"
#include "view_document.h"

#include <QComboBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardItemModel>

#include <cmath>

namespace kestrix::ui {
namespace {

// A dB reference far outside these would put every level beyond what the plot can draw.
constexpr double dblLowestDbReference = 1e-15;
constexpr double dblHighestDbReference = 1e15;

// Velocity and displacement read well from this many lines above the high-pass on.
constexpr double dblCoarseLines = 10.0;

const QString strRefusedStyle = QStringLiteral("QLineEdit { background: #ffd9d9; }");

template <typename Control> Control* named(Control* control, const char* strName, const QString& strAccessible)
{
    control->setObjectName(QLatin1String(strName));
    control->setAccessibleName(strAccessible);
    return control;
}

bool isIntegrated(engine::Quantity quantity)
{
    return quantity == engine::Quantity::Velocity || quantity == engine::Quantity::Displacement;
}

std::string sensorUnit(const engine::MeasuredQuantity& quantity)
{
    return quantity.sensor ? quantity.sensor->strUnit : std::string("V");
}

} // namespace

QuantityFields::QuantityFields(ViewDocument& document, platform::PlatformUi& ui, QWidget& parent)
    : QObject(&parent), document(document), ui(ui),
      calibration(new CalibrationRun(document.textFiles(), document.soundFiles(), this))
{
    createControls(parent);
    connectSignals();
    showSettings();
}

void QuantityFields::createControls(QWidget& parent)
{
    strSensitivityHelp = tr("センサーの感度。100 mV/g、10.2 mV/(m/s²)、50 mV/Pa のように入力します。"
                            "空欄なら V のまま表示します");
    txtSensitivity = named(new QLineEdit(&parent), "txtSensitivity", tr("センサーの感度"));
    txtSensitivity->setPlaceholderText(tr("例 100 mV/g（空欄：V）"));
    txtSensitivity->setToolTip(strSensitivityHelp);
    grpCalibration = new QWidget(&parent);
    grpCalibration->setObjectName(QStringLiteral("grpCalibration"));
    txtCalibrationLevel = named(new QLineEdit(grpCalibration), "txtCalibrationLevel", tr("校正器のレベル"));
    txtCalibrationLevel->setPlaceholderText(tr("例 94 dB SPL、1 g"));
    txtCalibrationLevel->setToolTip(tr("校正器のトーンの実効値：1 g、9.80665 m/s²、94 dB SPL、1 Pa など"));
    cmdCalibrate =
        named(new QPushButton(tr("校正"), grpCalibration), "cmdCalibrate", tr("校正器の録音から感度を求める"));
    cmdCalibrate->setToolTip(tr("開いている録音を校正器の録音として、最大の線（フラットトップ、fs/2 まで）が"
                                "このレベルになる感度を求めて使います"));
    auto* layCalibration = new QHBoxLayout(grpCalibration);
    layCalibration->setContentsMargins(0, 0, 0, 0);
    layCalibration->addWidget(txtCalibrationLevel, 1);
    layCalibration->addWidget(cmdCalibrate);
    cboQuantity = named(new QComboBox(&parent), "cboQuantity", tr("表示する量"));
    for (const engine::Quantity quantity : {engine::Quantity::AsRecorded, engine::Quantity::Acceleration,
                                            engine::Quantity::Velocity, engine::Quantity::Displacement}) {
        cboQuantity->addItem(quantityTitle(quantity), static_cast<int>(quantity));
    }
    cboQuantity->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    cboQuantity->setToolTip(tr("加速度・速度・変位は、加速度の感度（…/g、…/(m/s²)）のときに選べます。"
                               "速度と変位は各線を 2πf、(2πf)² で割って求めます"));
    txtHighPass = named(new QLineEdit(&parent), "txtHighPass", tr("ハイパス周波数 [Hz]"));
    txtHighPass->setText(generalText(engine::dblDefaultHighPassHz));
    txtHighPass->setToolTip(tr("速度と変位では、この周波数未満の線を 0 にします（センサーのドリフトと"
                               "ノイズが 1/f で拡大されないように）"));
    txtDbReference = named(new QLineEdit(&parent), "txtDbReference", tr("dB の基準値"));
    txtDbReference->setToolTip(
        tr("レベル（dB）の 0 dB にあたる値。表示の単位で入力します。空欄なら ISO 1683 の基準値"));
    // A changing text: screen readers read the text itself, so no fixed name is set.
    lblQuantityStatus = new QLabel(&parent);
    lblQuantityStatus->setObjectName(QStringLiteral("lblQuantityStatus"));
    lblQuantityStatus->setAccessibleDescription(tr("センサーと量の状態"));
    lblQuantityStatus->setWordWrap(true);
    lblQuantityStatus->setTextInteractionFlags(Qt::TextSelectableByMouse);
}

void QuantityFields::addRows(QFormLayout& form)
{
    auto* parent = static_cast<QWidget*>(QObject::parent());
    const auto row = [&](const char* strName, const QString& strText, QWidget* field) {
        auto* label = new QLabel(strText, parent);
        label->setObjectName(QLatin1String(strName));
        label->setBuddy(field);
        form.addRow(label, field);
    };
    row("lblSensitivity", tr("感度(&S)"), txtSensitivity);
    row("lblCalibration", tr("校正"), grpCalibration);
    row("lblQuantity", tr("量(&Q)"), cboQuantity);
    row("lblHighPass", tr("ハイパス [Hz]"), txtHighPass);
    row("lblDbReference", tr("dB 基準"), txtDbReference);
    form.addRow(lblQuantityStatus);
}

void QuantityFields::connectSignals()
{
    connect(txtSensitivity, &QLineEdit::textChanged, this, &QuantityFields::txtSensitivity_Changed);
    connect(txtSensitivity, &QLineEdit::editingFinished, this, &QuantityFields::txtSensitivity_EditingFinished);
    connect(cboQuantity, &QComboBox::currentIndexChanged, this, [this] { cboQuantity_Changed(); });
    connect(txtHighPass, &QLineEdit::editingFinished, this, &QuantityFields::txtHighPass_EditingFinished);
    connect(txtDbReference, &QLineEdit::editingFinished, this, &QuantityFields::txtDbReference_EditingFinished);
    connect(txtCalibrationLevel, &QLineEdit::returnPressed, this, &QuantityFields::cmdCalibrate_Click);
    connect(cmdCalibrate, &QPushButton::clicked, this, &QuantityFields::cmdCalibrate_Click);
    connect(calibration, &CalibrationRun::finished, this, &QuantityFields::calibration_Finished);
    connect(&document, &ViewDocument::settingsChanged, this, &QuantityFields::showSettings);
    // The line spacing the status weighs the high-pass against is the reading's.
    connect(&document, &ViewDocument::spectrumChanged, this, &QuantityFields::showSettings);
}

std::vector<QWidget*> QuantityFields::focusOrder() const
{
    return {txtSensitivity, txtCalibrationLevel, cmdCalibrate, cboQuantity, txtHighPass, txtDbReference};
}

void QuantityFields::showSettings()
{
    const engine::MeasuredQuantity& quantity = document.settings().quantity;
    // The field keeps the text typed while it reads as the sensor in use ("100mV/g" for "100 mV/g").
    QString strRefusal;
    const std::optional<engine::MeasuredQuantity> typed = quantityWithSensor(txtSensitivity->text(), strRefusal);
    if (!typed || typed->sensor != quantity.sensor) {
        const QSignalBlocker blocker(txtSensitivity);
        txtSensitivity->setText(quantity.sensor ? sensitivityFieldText(*quantity.sensor) : QString());
        markField(*txtSensitivity, {}, strSensitivityHelp);
    }
    refreshQuantityChoices();
    {
        const QSignalBlocker blocker(cboQuantity);
        cboQuantity->setCurrentIndex(cboQuantity->findData(static_cast<int>(quantity.quantity)));
    }
    if (engine::numericValue(txtHighPass->text().trimmed().toStdString()) != quantity.dblHighPassHz) {
        txtHighPass->setText(generalText(quantity.dblHighPassHz));
    }
    txtHighPass->setEnabled(isIntegrated(quantity.quantity));
    if (engine::numericValue(txtDbReference->text().trimmed().toStdString()) != quantity.dblDbReference) {
        txtDbReference->setText(quantity.dblDbReference ? generalText(*quantity.dblDbReference) : QString());
    }
    engine::MeasuredQuantity isoQuantity = quantity;
    isoQuantity.dblDbReference.reset();
    const engine::ShownUnit shown = engine::shownUnit(isoQuantity);
    txtDbReference->setPlaceholderText(tr("%1（ISO 1683）").arg(fromUtf8(shown.strDbReference)));
    // What the volts are read as, under the fields; nothing in volts, as before there were sensors.
    QString strStatus;
    if (!inVolts(quantity)) {
        strStatus = tr("表示：%1（%2）、dB re %3")
                        .arg(fromUtf8(engine::shownUnit(quantity).strUnit),
                             quantity.sensor ? sensitivityFieldText(*quantity.sensor) : tr("感度なし"),
                             fromUtf8(engine::shownUnit(quantity).strDbReference));
        if (isIntegrated(quantity.quantity)) {
            strStatus += tr("、%1 Hz 未満の線は 0").arg(generalText(quantity.dblHighPassHz));
            // The window's main lobe carries a component near the high-pass to lines a few apart, where
            // 1 / f weighs them unequally: lines too coarse for the high-pass misread low frequencies.
            const ViewReading* reading = document.reading();
            const double dblSpacing = reading != nullptr ? reading->average.dblDeltaFreq : 0.0;
            if (dblSpacing > 0.0 && quantity.dblHighPassHz < dblCoarseLines * dblSpacing) {
                strStatus += tr("\n注意：線の間隔 %1 Hz はハイパス %2 Hz に対して粗く、低い周波数の値は 1/f "
                                "で大きく誤ります。N を増やしてください。")
                                 .arg(generalText(dblSpacing), generalText(quantity.dblHighPassHz));
            }
        }
    }
    if (!strCalibration.isEmpty()) {
        strStatus = strCalibration + (strStatus.isEmpty() ? QString() : QLatin1Char('\n') + strStatus);
    }
    showStatus(strStatus, false);
}

void QuantityFields::showStatus(const QString& strText, bool blnRefusal)
{
    lblQuantityStatus->setText(strText);
    lblQuantityStatus->setStyleSheet(blnRefusal ? QStringLiteral("QLabel { color: #b00000; }") : QString());
    lblQuantityStatus->setVisible(!strText.isEmpty());
}

// Acceleration, velocity and displacement only from an accelerometer: velocity from a microphone is
// nonsense.
void QuantityFields::refreshQuantityChoices()
{
    const bool blnAcceleration = engine::accelerationPerUnit(sensorUnit(document.settings().quantity)).has_value();
    if (auto* model = qobject_cast<QStandardItemModel*>(cboQuantity->model())) {
        for (const engine::Quantity quantity :
             {engine::Quantity::Acceleration, engine::Quantity::Velocity, engine::Quantity::Displacement}) {
            model->item(cboQuantity->findData(static_cast<int>(quantity)))->setEnabled(blnAcceleration);
        }
    }
}

void QuantityFields::markField(QLineEdit& field, const QString& strRefusal, const QString& strHelp)
{
    field.setStyleSheet(strRefusal.isEmpty() ? QString() : strRefusedStyle);
    field.setToolTip(strRefusal.isEmpty() ? strHelp : strRefusal);
}

void QuantityFields::applyQuantity(const engine::MeasuredQuantity& quantity)
{
    ViewSettings wanted = document.settings();
    if (wanted.quantity == quantity) {
        showSettings();
        return;
    }
    wanted.quantity = quantity;
    document.setSettings(wanted);
}

std::optional<engine::MeasuredQuantity> QuantityFields::quantityWithSensor(const QString& strText,
                                                                           QString& strRefusal) const
{
    const engine::MeasuredQuantity& current = document.settings().quantity;
    engine::MeasuredQuantity quantity = current;
    if (strText.trimmed().isEmpty()) {
        quantity.sensor.reset();
    } else {
        const engine::SensitivityReading reading = engine::parseSensitivity(strText.toStdString());
        if (reading.refusal) {
            strRefusal = unitTextRefusalText(tr("感度"), strText, *reading.refusal);
            return std::nullopt;
        }
        quantity.sensor = reading.unit;
    }
    if (quantity.quantity != engine::Quantity::AsRecorded && !engine::accelerationPerUnit(sensorUnit(quantity))) {
        quantity.quantity = engine::Quantity::AsRecorded;
    }
    // A reference typed stood for a value of the unit shown before.
    if (engine::shownUnit(quantity).strUnit != engine::shownUnit(current).strUnit) {
        quantity.dblDbReference.reset();
    }
    return quantity;
}

void QuantityFields::txtSensitivity_Changed(const QString& strText)
{
    // Red until it reads, so an entry that is not taken does not pass unnoticed.
    QString strRefusal;
    quantityWithSensor(strText, strRefusal);
    markField(*txtSensitivity, strRefusal, strSensitivityHelp);
}

void QuantityFields::txtSensitivity_EditingFinished()
{
    QString strRefusal;
    const std::optional<engine::MeasuredQuantity> quantity = quantityWithSensor(txtSensitivity->text(), strRefusal);
    if (!quantity) {
        markField(*txtSensitivity, strRefusal, strSensitivityHelp);
        showStatus(strRefusal, true);
        return;
    }
    strCalibration.clear();
    applyQuantity(*quantity);
}

void QuantityFields::cboQuantity_Changed()
{
    engine::MeasuredQuantity quantity = document.settings().quantity;
    quantity.quantity = static_cast<engine::Quantity>(cboQuantity->currentData().toInt());
    if (engine::shownUnit(quantity).strUnit != engine::shownUnit(document.settings().quantity).strUnit) {
        quantity.dblDbReference.reset();
    }
    applyQuantity(quantity);
}

void QuantityFields::txtHighPass_EditingFinished()
{
    const std::optional<double> dblHz = engine::numericValue(txtHighPass->text().trimmed().toStdString());
    if (!dblHz || !(*dblHz >= 0.0) || !std::isfinite(*dblHz)) {
        const QString strRefusal =
            tr("ハイパス周波数「%1」：0 以上の数（Hz）で入力してください。").arg(txtHighPass->text().trimmed());
        markField(*txtHighPass, strRefusal, {});
        showStatus(strRefusal, true);
        return;
    }
    markField(*txtHighPass, {}, {});
    engine::MeasuredQuantity quantity = document.settings().quantity;
    quantity.dblHighPassHz = *dblHz;
    applyQuantity(quantity);
}

void QuantityFields::txtDbReference_EditingFinished()
{
    const QString strText = txtDbReference->text().trimmed();
    engine::MeasuredQuantity quantity = document.settings().quantity;
    if (strText.isEmpty()) {
        quantity.dblDbReference.reset();
        markField(*txtDbReference, {}, {});
        applyQuantity(quantity);
        return;
    }
    // A bare number is in the unit shown; a unit written after it must be that unit.
    const std::string strUnit = engine::shownUnit(quantity).strUnit;
    std::optional<double> dblValue = engine::numericValue(strText.toStdString());
    if (!dblValue) {
        const engine::UnitValueReading reading = engine::parseUnitValue(strText.toStdString());
        if (!reading.refusal && reading.value.strUnit == strUnit) {
            dblValue = reading.value.dblValue;
        }
    }
    if (!dblValue || !(*dblValue >= dblLowestDbReference && *dblValue <= dblHighestDbReference)) {
        const QString strRefusal =
            tr("dB 基準「%1」：表示の単位（%2）の正の数で、%3 から %4 までで入力してください。")
                .arg(strText, fromUtf8(strUnit), generalText(dblLowestDbReference), generalText(dblHighestDbReference));
        markField(*txtDbReference, strRefusal, {});
        showStatus(strRefusal, true);
        return;
    }
    markField(*txtDbReference, {}, {});
    quantity.dblDbReference = *dblValue;
    applyQuantity(quantity);
}

void QuantityFields::cmdCalibrate_Click()
{
    const std::optional<ViewRecording>& recording = document.recording();
    if (!recording) {
        ui.showMessage(
            tr("校正するには、校正器のトーンを記録した録音を開いてください（録音を開く...）。").toStdString(),
            platform::MessageStyle::Exclamation);
        return;
    }
    const QString strText = txtCalibrationLevel->text();
    const engine::UnitValueReading reading = engine::parseUnitValue(strText.toStdString());
    if (reading.refusal) {
        const QString strRefusal = unitTextRefusalText(tr("校正器のレベル"), strText, *reading.refusal);
        markField(*txtCalibrationLevel, strRefusal, {});
        showStatus(strRefusal, true);
        return;
    }
    markField(*txtCalibrationLevel, {}, {});
    cmdCalibrate->setEnabled(false);
    showStatus(tr("校正中：%1 のトーンを探しています…").arg(QFileInfo(fromUtf8(recording->strPath)).fileName()), false);
    calibration->start(*recording, document.settings(), reading.value);
}

void QuantityFields::calibration_Finished()
{
    cmdCalibrate->setEnabled(true);
    const CalibrationRun::Outcome& outcome = calibration->outcome();
    const QString strRefused =
        !outcome.strFailure.empty() ? fromUtf8(outcome.strFailure) : fromUtf8(outcome.calibration.strRefusal);
    const engine::Calibration& found = outcome.calibration.calibration;
    if (!strRefused.isEmpty() || !found.blnToneFound) {
        const QString strWhy = strRefused.isEmpty() ? calibrationResultText(found)
                                                    : tr("録音を解析できませんでした（%1）。").arg(strRefused);
        showSettings();
        ui.showMessage(tr("校正できませんでした。感度はそのままです。\n%1").arg(strWhy).toStdString(),
                       platform::MessageStyle::Exclamation);
        return;
    }
    // The sensitivity as the field holds it, so the field, the settings and the files agree.
    const QString strSensitivity = sensitivityFieldText(found.sensor);
    QString strRefusal;
    const std::optional<engine::MeasuredQuantity> quantity = quantityWithSensor(strSensitivity, strRefusal);
    strCalibration = tr("校正：%1").arg(calibrationResultText(found));
    if (quantity) {
        txtSensitivity->setText(strSensitivity);
        applyQuantity(*quantity);
    }
}

} // namespace kestrix::ui
