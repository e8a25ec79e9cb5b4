#include "units_text.h"

#include "engine/readable_number.h"

#include <QCoreApplication>

#include <cmath>

namespace kestrix::ui {

namespace {

QString tr(const char* strText)
{
    return QCoreApplication::translate("kestrix::ui::SpectrumPanel", strText);
}

constexpr int intReadableDigits = 4;

} // namespace

UnitsTexts unitsTexts(engine::SpectrumUnits units)
{
    using engine::SpectrumUnits;
    switch (units) {
    case SpectrumUnits::Pp:
        return {tr("V p-p（ピーク間）"),
                QStringLiteral("V p-p"),
                QStringLiteral("V"),
                tr("振幅 [V]"),
                tr("振幅 [dBV]"),
                QStringLiteral("dBV"),
                20.0};
    case SpectrumUnits::Peak:
        return {tr("V ピーク"),
                QStringLiteral("V peak"),
                QStringLiteral("V peak"),
                tr("振幅 [V peak]"),
                tr("振幅 [dB re 1 V peak]"),
                QStringLiteral("dB"),
                20.0};
    case SpectrumUnits::Rms:
        return {tr("V rms（実効値）"),
                QStringLiteral("V rms"),
                QStringLiteral("V rms"),
                tr("実効値 [V rms]"),
                tr("実効値 [dBV]"),
                QStringLiteral("dBV"),
                20.0};
    case SpectrumUnits::DbV:
        return {tr("dBV（実効値のレベル）"),
                QStringLiteral("dBV"),
                QStringLiteral("dBV"),
                tr("レベル [dBV]"),
                tr("レベル [dBV]"),
                QStringLiteral("dBV"),
                20.0};
    case SpectrumUnits::Psd:
        return {tr("V²/Hz（パワースペクトル密度）"),
                QStringLiteral("V²/Hz"),
                QStringLiteral("V^2/Hz"),
                tr("PSD [V²/Hz]"),
                tr("PSD [dB re 1 V²/Hz]"),
                QStringLiteral("dB re 1 V²/Hz"),
                10.0};
    case SpectrumUnits::Asd:
        return {tr("V/√Hz（振幅スペクトル密度）"),
                QStringLiteral("V/√Hz"),
                QStringLiteral("V/sqrt(Hz)"),
                tr("ASD [V/√Hz]"),
                tr("ASD [dB re 1 V/√Hz]"),
                QStringLiteral("dB re 1 V/√Hz"),
                20.0};
    }
    return unitsTexts(SpectrumUnits::Pp);
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
    }
    return {};
}

QString valueText(double dblValue, const engine::SpectrumScale& scale)
{
    using engine::SpectrumUnits;
    switch (scale.units) {
    case SpectrumUnits::DbV:
        return QStringLiteral("%1 dBV").arg(dblValue, 0, 'f', 2);
    case SpectrumUnits::Psd:
        // A prefix before a squared unit would square too: the exponent form reads plainly.
        return QStringLiteral("%1 V²/Hz").arg(dblValue, 0, 'E', intReadableDigits - 1);
    case SpectrumUnits::Pp:
        return QString::fromStdString(engine::siText(dblValue, intReadableDigits, "V"));
    default:
        break;
    }
    const std::string strUnit = unitsTexts(scale.units).strFile.toStdString();
    const std::string strSuffix = scale.units == SpectrumUnits::Asd ? "V/√Hz" : strUnit;
    return QString::fromStdString(engine::siText(dblValue, intReadableDigits, strSuffix));
}

QString levelText(double dblPlotted, const engine::SpectrumScale& scale)
{
    const UnitsTexts texts = unitsTexts(scale.units);
    if (texts.strDb == QLatin1String("dBV")) {
        return QString::fromStdString(engine::dbvText(dblPlotted));
    }
    if (!(dblPlotted > 0.0)) {
        return QStringLiteral("-∞ %1").arg(texts.strDb);
    }
    return QStringLiteral("%1 %2").arg(texts.dblDbPerDecade * std::log10(dblPlotted), 0, 'f', 2).arg(texts.strDb);
}

bool sameScale(const engine::SpectrumScale& a, const engine::SpectrumScale& b)
{
    const bool blnDensity = a.units == engine::SpectrumUnits::Psd || a.units == engine::SpectrumUnits::Asd;
    return a.units == b.units && a.blnClassic == b.blnClassic &&
           (!blnDensity || a.dblNoiseBandwidth == b.dblNoiseBandwidth);
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
