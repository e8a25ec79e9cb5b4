// SPDX-License-Identifier: GPL-3.0-or-later
#include "sensor_text.h"

#include "engine/run/number_text.h"
#include "spectrum_panel_text.h"
#include "units_text.h"

#include <QCoreApplication>

#include <cmath>

namespace kestrix::ui {
namespace {

QString tr(const char* strText)
{
    return QCoreApplication::translate("kestrix::ui::SpectrumPanel", strText);
}

constexpr int intShownDigits = 4; // the sensitivity and the tone's volts, to be read
constexpr int intFieldDigits = 6; // the sensitivity kept in the field: 5 ppm, far below a calibration's error

QString hertzText(double dblHz)
{
    return fromUtf8(engine::fixedDecimalText(dblHz, 1)) + QStringLiteral(" Hz");
}

} // namespace

QString unitTextRefusalText(const QString& strField, const QString& strGiven, const engine::UnitTextRefusal& refusal)
{
    const QString strStart = tr("%1「%2」：").arg(strField, strGiven.trimmed());
    const QString strFound = fromUtf8(refusal.strFound);
    const bool blnMissing = strFound.isEmpty();
    switch (refusal.field) {
    case engine::UnitTextField::Number:
        return strStart +
               (blnMissing ? tr("先頭に数値がありません。") : tr("「%1」は正の数値ではありません。").arg(strFound));
    case engine::UnitTextField::VoltUnit:
        return strStart + (blnMissing ? tr("電圧の単位（V、mV、µV、uV）がありません。")
                                      : tr("電圧の単位「%1」は V、mV、µV、uV のどれでもありません。").arg(strFound));
    case engine::UnitTextField::Slash:
        return strStart + (blnMissing ? tr("電圧の単位のあとに「/」がありません。")
                                      : tr("電圧の単位のあとは「/」のはずが「%1」です。").arg(strFound));
    case engine::UnitTextField::Unit:
        return strStart + (blnMissing ? tr("単位がありません。") : tr("「%1」は単位ではありません。").arg(strFound));
    }
    return strStart;
}

QString calibrationResultText(const engine::Calibration& calibration)
{
    if (calibration.blnToneFound) {
        return tr("感度 %1（トーン %2、%3 rms、ほかの線より %4 dB 上）")
            .arg(fromUtf8(engine::sensitivityText(calibration.sensor, intShownDigits)),
                 hertzText(calibration.dblToneHz),
                 fromUtf8(engine::voltsText(calibration.dblToneVoltsRms, intShownDigits)),
                 fromUtf8(engine::fixedDecimalText(calibration.dblToneAboveRestDb, 1)));
    }
    const QString strMargin = generalText(engine::dblMinToneAboveRestDb);
    if (!(calibration.dblToneVoltsRms > 0.0) || std::isnan(calibration.dblToneAboveRestDb)) {
        return tr("校正器のトーンが見つかりません：録音に信号がありません（どの線も 0）。");
    }
    return tr("校正器のトーンが見つかりません：最大の線（%1）は次に高い線（%2）より %3 dB 高いだけです。"
              "トーンはほかのどの線よりも %4 dB 以上高くなければなりません。")
        .arg(hertzText(calibration.dblToneHz), hertzText(calibration.dblRestHz),
             fromUtf8(engine::fixedDecimalText(calibration.dblToneAboveRestDb, 1)), strMargin);
}

QString sensitivityFieldText(const engine::EngineeringUnit& sensor)
{
    // "100 mV/g", not "100.000 mV/g": the digits a value has, no more.
    QString strText = fromUtf8(engine::sensitivityText(sensor, intFieldDigits));
    const qsizetype lngBlank = strText.indexOf(QLatin1Char(' '));
    QString strNumber = strText.left(lngBlank);
    if (strNumber.contains(QLatin1Char('.'))) {
        while (strNumber.endsWith(QLatin1Char('0'))) {
            strNumber.chop(1);
        }
        if (strNumber.endsWith(QLatin1Char('.'))) {
            strNumber.chop(1);
        }
    }
    return strNumber + strText.mid(lngBlank);
}

QString quantityTitle(engine::Quantity quantity)
{
    switch (quantity) {
    case engine::Quantity::AsRecorded:
        return tr("記録のまま");
    case engine::Quantity::Velocity:
        return tr("%1（mm/s）").arg(quantityWord(quantity));
    case engine::Quantity::Displacement:
        return tr("%1（µm）").arg(quantityWord(quantity));
    case engine::Quantity::Acceleration:
        break;
    }
    return quantityWord(quantity);
}

} // namespace kestrix::ui
