// SPDX-License-Identifier: GPL-3.0-or-later
#include "units_text.h"

#include "engine/view/readable_number.h"

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
    return {tr(entry.strChoice),
            QString::fromUtf8(entry.strLegend),
            QString::fromUtf8(entry.strFile),
            tr(entry.strAxis),
            tr(entry.strLogAxis),
            QString::fromUtf8(entry.strDb),
            entry.dblDbPerDecade};
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
