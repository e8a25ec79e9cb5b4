// SPDX-License-Identifier: GPL-3.0-or-later
#include "units_text.h"

#include "engine/view/readable_number.h"
#include "spectrum_panel_text.h"

#include <QCoreApplication>

#include <algorithm>
#include <cmath>
#include <iterator>

namespace kestrix::ui {

namespace {

QString tr(const char* strText)
{
    return QCoreApplication::translate("kestrix::ui::SpectrumPanel", strText);
}

constexpr int intReadableDigits = 4;

// Units an SI prefix reads well before; the others carry one already (mm/s, µm) or are no SI unit.
bool takesPrefix(const QString& strUnit)
{
    static const QString strPrefixed[] = {QStringLiteral("V"),    QStringLiteral("g"),   QStringLiteral("Pa"),
                                          QStringLiteral("m/s²"), QStringLiteral("m/s"), QStringLiteral("m"),
                                          QStringLiteral("N")};
    return std::find(std::begin(strPrefixed), std::end(strPrefixed), strUnit) != std::end(strPrefixed);
}

// A unit inside a compound one: "(mm/s)²/Hz", but "g²/Hz".
QString grouped(const QString& strUnit)
{
    return strUnit.contains(QLatin1Char('/')) ? QStringLiteral("(%1)").arg(strUnit) : strUnit;
}

// Four significant digits without a prefix: "69.34", "0.001234", "1.234E-05".
QString plainNumberText(double dblValue)
{
    if (dblValue == 0.0 || !std::isfinite(dblValue)) {
        return QString::number(dblValue);
    }
    const int intExponent = static_cast<int>(std::floor(std::log10(std::abs(dblValue))));
    constexpr int intLowest = -3;
    constexpr int intHighest = 5;
    if (intExponent < intLowest || intExponent > intHighest) {
        return QString::number(dblValue, 'E', intReadableDigits - 1);
    }
    return QString::number(dblValue, 'f', std::max(0, intReadableDigits - 1 - intExponent));
}

} // namespace

UnitsTexts unitsTexts(engine::SpectrumUnits units)
{
    struct Texts
    {
        engine::SpectrumUnits units;
        const char* strChoice;
        const char* strLegend;
        const char* strFile;
        const char* strAxis;
        const char* strLogAxis;
        const char* strDb;
        double dblDbPerDecade;
    };
    using engine::SpectrumUnits;
    static constexpr Texts texts[] = {
        {SpectrumUnits::Pp, "V p-p（ピーク間）", "V p-p", "V", "振幅 [V]", "振幅 [dBV]", "dBV", 20.0},
        {SpectrumUnits::Peak, "V ピーク", "V peak", "V peak", "振幅 [V peak]", "振幅 [dB re 1 V peak]", "dB", 20.0},
        {SpectrumUnits::Rms, "V rms（実効値）", "V rms", "V rms", "実効値 [V rms]", "実効値 [dBV]", "dBV", 20.0},
        {SpectrumUnits::DbV, "dBV（実効値のレベル）", "dBV", "dBV", "レベル [dBV]", "レベル [dBV]", "dBV", 20.0},
        {SpectrumUnits::Psd, "V²/Hz（パワースペクトル密度）", "V²/Hz", "V^2/Hz", "PSD [V²/Hz]", "PSD [dB re 1 V²/Hz]",
         "dB re 1 V²/Hz", 10.0},
        {SpectrumUnits::Asd, "V/√Hz（振幅スペクトル密度）", "V/√Hz", "V/sqrt(Hz)", "ASD [V/√Hz]", "ASD [dB re 1 V/√Hz]",
         "dB re 1 V/√Hz", 20.0},
    };
    const Texts* found =
        std::find_if(std::begin(texts), std::end(texts), [&](const Texts& entry) { return entry.units == units; });
    const Texts& entry = found == std::end(texts) ? texts[0] : *found;
    const QString strValue = units == SpectrumUnits::Pp    ? QStringLiteral("V")
                             : units == SpectrumUnits::Psd ? QStringLiteral("V²/Hz")
                             : units == SpectrumUnits::Asd ? QStringLiteral("V/√Hz")
                                                           : QString::fromUtf8(entry.strFile);
    return {tr(entry.strChoice),
            QString::fromUtf8(entry.strLegend),
            QString::fromUtf8(entry.strFile),
            tr(entry.strAxis),
            tr(entry.strLogAxis),
            QString::fromUtf8(entry.strDb),
            entry.dblDbPerDecade,
            1.0,
            strValue,
            true,
            QStringLiteral("V")};
}

bool inVolts(const engine::MeasuredQuantity& quantity)
{
    return !quantity.sensor && quantity.quantity == engine::Quantity::AsRecorded && !quantity.dblDbReference;
}

UnitsTexts unitsTexts(engine::SpectrumUnits units, const engine::MeasuredQuantity& quantity)
{
    if (inVolts(quantity)) {
        return unitsTexts(units);
    }
    const engine::ShownUnit shown = engine::shownUnit(quantity);
    const QString strUnit = fromUtf8(shown.strUnit);
    const QString strReference = fromUtf8(shown.strDbReference);
    const QString strWhat = quantityWord(quantity.quantity);
    const auto axis = [&](const QString& strKind, const QString& strUnitText) {
        return (strWhat.isEmpty() ? strKind : tr("%1の%2").arg(strWhat, strKind)) +
               QStringLiteral(" [%1]").arg(strUnitText);
    };
    UnitsTexts texts;
    texts.strUnit = strUnit;
    texts.blnPrefix = takesPrefix(strUnit);
    texts.dblZeroDbValue = shown.dblDbReference;
    texts.strDb = tr("dB re %1").arg(strReference);
    const auto amplitude = [&](const QString& strKind, const QString& strChoice, const QString& strSuffix) {
        texts.strValue = strUnit + QLatin1Char(' ') + strSuffix;
        texts.strChoice = strChoice.arg(strUnit);
        texts.strLegend = texts.strValue;
        texts.strFile = texts.strValue;
        texts.strDb += QLatin1Char(' ') + strSuffix;
        texts.strAxis = axis(strKind, texts.strValue);
        texts.strLogAxis = axis(strKind, texts.strDb);
    };
    using engine::SpectrumUnits;
    switch (units) {
    case SpectrumUnits::Pp:
        amplitude(tr("振幅"), tr("%1 p-p（ピーク間）"), QStringLiteral("p-p"));
        break;
    case SpectrumUnits::Peak:
        amplitude(tr("振幅"), tr("%1 ピーク"), QStringLiteral("peak"));
        break;
    case SpectrumUnits::Rms:
        amplitude(tr("実効値"), tr("%1 rms（実効値）"), QStringLiteral("rms"));
        texts.strDb = tr("dB re %1").arg(strReference); // a level is of the rms value
        texts.strLogAxis = axis(tr("実効値"), texts.strDb);
        break;
    case SpectrumUnits::DbV:
        texts.strValue = texts.strDb;
        texts.strChoice = tr("%1（実効値のレベル）").arg(texts.strDb);
        texts.strLegend = texts.strDb;
        texts.strFile = texts.strDb;
        texts.strAxis = axis(tr("レベル"), texts.strDb);
        texts.strLogAxis = texts.strAxis;
        break;
    case SpectrumUnits::Psd:
        texts.strValue = grouped(strUnit) + QStringLiteral("²/Hz");
        texts.strChoice = tr("%1（パワースペクトル密度）").arg(texts.strValue);
        texts.strLegend = texts.strValue;
        texts.strFile = grouped(strUnit) + QStringLiteral("^2/Hz");
        texts.strDb = tr("dB re (%1)²/Hz").arg(strReference);
        texts.strAxis = axis(QStringLiteral("PSD"), texts.strValue);
        texts.strLogAxis = axis(QStringLiteral("PSD"), texts.strDb);
        texts.dblDbPerDecade = 10.0;
        texts.dblZeroDbValue = shown.dblDbReference * shown.dblDbReference;
        texts.blnPrefix = false;
        break;
    case SpectrumUnits::Asd:
        texts.strValue = grouped(strUnit) + QStringLiteral("/√Hz");
        texts.strChoice = tr("%1（振幅スペクトル密度）").arg(texts.strValue);
        texts.strLegend = texts.strValue;
        texts.strFile = grouped(strUnit) + QStringLiteral("/sqrt(Hz)");
        texts.strDb = tr("dB re (%1)/√Hz").arg(strReference);
        texts.strAxis = axis(QStringLiteral("ASD"), texts.strValue);
        texts.strLogAxis = axis(QStringLiteral("ASD"), texts.strDb);
        break;
    }
    return texts;
}

QString quantityWord(engine::Quantity quantity)
{
    switch (quantity) {
    case engine::Quantity::Acceleration:
        return tr("加速度");
    case engine::Quantity::Velocity:
        return tr("速度");
    case engine::Quantity::Displacement:
        return tr("変位");
    case engine::Quantity::AsRecorded:
        break;
    }
    return {};
}

QString windowKindTitle(engine::WindowKind window)
{
    switch (window) {
    case engine::WindowKind::Rect:
        return tr("窓なし");
    case engine::WindowKind::Hann:
        return QStringLiteral("Hann");
    case engine::WindowKind::Hamming:
        return QStringLiteral("Hamming");
    case engine::WindowKind::BlackmanHarris:
        return QStringLiteral("Blackman-Harris");
    case engine::WindowKind::FlatTop:
        return tr("フラットトップ");
    case engine::WindowKind::BlackmanHarris7:
        return QStringLiteral("Blackman-Harris 7");
    }
    return {};
}

QString valueText(double dblValue, const engine::SpectrumScale& scale)
{
    return valueText(dblValue, scale, unitsTexts(scale.units));
}

QString valueText(double dblValue, const engine::SpectrumScale& scale, const UnitsTexts& texts)
{
    switch (scale.units) {
    case engine::SpectrumUnits::DbV:
        return QStringLiteral("%1 %2").arg(dblValue, 0, 'f', 2).arg(texts.strDb);
    case engine::SpectrumUnits::Psd:
        // A prefix before a squared unit would square too: the exponent form reads plainly.
        return QStringLiteral("%1 %2").arg(dblValue, 0, 'E', intReadableDigits - 1).arg(texts.strValue);
    default:
        break;
    }
    if (texts.blnPrefix) {
        return fromUtf8(engine::siText(dblValue, intReadableDigits, texts.strValue.toStdString()));
    }
    return plainNumberText(dblValue) + QLatin1Char(' ') + texts.strValue;
}

QString bareValueText(double dblValue, const engine::SpectrumScale& scale)
{
    switch (scale.units) {
    case engine::SpectrumUnits::DbV:
        return QString::number(dblValue, 'f', 2);
    case engine::SpectrumUnits::Psd:
        return QString::number(dblValue, 'E', intReadableDigits - 1);
    default:
        return plainNumberText(dblValue);
    }
}

QString unitValueText(double dblValue, const QString& strUnit)
{
    if (takesPrefix(strUnit)) {
        return fromUtf8(engine::siText(dblValue, intReadableDigits, strUnit.toStdString()));
    }
    return plainNumberText(dblValue) + (strUnit.isEmpty() ? QString() : QLatin1Char(' ') + strUnit);
}

QString levelText(double dblPlotted, const engine::SpectrumScale& scale)
{
    return levelText(dblPlotted, unitsTexts(scale.units));
}

QString levelText(double dblPlotted, const UnitsTexts& texts)
{
    if (texts.strDb == QLatin1String("dBV")) {
        return QString::fromStdString(engine::dbvText(dblPlotted));
    }
    if (!(dblPlotted > 0.0)) {
        return QStringLiteral("-∞ %1").arg(texts.strDb);
    }
    return QStringLiteral("%1 %2")
        .arg(texts.dblDbPerDecade * std::log10(dblPlotted / texts.dblZeroDbValue), 0, 'f', 2)
        .arg(texts.strDb);
}

bool sameScale(const engine::SpectrumScale& a, const engine::SpectrumScale& b)
{
    const bool blnDensity = a.units == engine::SpectrumUnits::Psd || a.units == engine::SpectrumUnits::Asd;
    return a.units == b.units && a.blnClassic == b.blnClassic &&
           (!blnDensity || a.dblNoiseBandwidth == b.dblNoiseBandwidth) &&
           (a.units != engine::SpectrumUnits::DbV || a.dblDbReference == b.dblDbReference);
}

double carriedValue(double dblValue, std::size_t lngLine, const engine::SpectrumScale& from,
                    const engine::SpectrumScale& to)
{
    if (sameScale(from, to)) {
        return dblValue;
    }
    return engine::valueOfRms(engine::rmsOfValue(dblValue, lngLine, from), lngLine, to);
}

} // namespace kestrix::ui
