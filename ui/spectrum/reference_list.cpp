// SPDX-License-Identifier: GPL-3.0-or-later
#include "reference_list.h"

#include "engine/recordings/window_function.h"
#include "engine/view/plot_view.h"
#include "platform/failure.h"
#include "spectrum_panel_text.h"
#include "units_text.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <algorithm>
#include <iterator>

namespace kestrix::ui {
namespace {

QString tr(const char* strText)
{
    return QCoreApplication::translate("kestrix::ui::SpectrumPanel", strText);
}

const QColor clrReferences[] = {QColor(44, 160, 44),   QColor(148, 103, 189), QColor(140, 86, 75),
                                QColor(227, 119, 194), QColor(127, 127, 127), QColor(188, 189, 34),
                                QColor(23, 190, 207)};

} // namespace

std::optional<QString> ReferenceList::open(const std::string& strPath)
{
    const QString strFileName = QFileInfo(fromUtf8(strPath)).fileName();
    for (const Reference& reference : items) {
        if (reference.strPath == strPath || files.sameFile(reference.strPath, strPath)) {
            return tr("「%1」は既に参照として開いています（%2）。").arg(strFileName, reference.strName);
        }
    }
    engine::SpectrumReading reading;
    if (std::optional<QString> strRefusal = refusal(strPath, reading)) {
        return strRefusal;
    }
    const QColor color = clrReferences[lngNextColour++ % std::size(clrReferences)];
    const auto [scale, strUnits] = scaleOf(reading);
    items.push_back({strPath, nameFor(strFileName), color, std::move(reading.trace.dblFreq),
                     std::move(reading.trace.dblVolts), scale, strUnits});
    return std::nullopt;
}

void ReferenceList::remove(std::size_t lngIndex)
{
    if (lngIndex < items.size()) {
        items.erase(items.begin() + static_cast<std::ptrdiff_t>(lngIndex));
    }
}

std::optional<QString> ReferenceList::refusal(const std::string& strPath, engine::SpectrumReading& result)
{
    const QString strFileName = QFileInfo(fromUtf8(strPath)).fileName();
    engine::SpectrumReading reading;
    try {
        const auto reader = files.openTextFile(strPath);
        reading = engine::readSpectrumCsv(*reader);
        reader->close();
    } catch (const KestrixError& error) {
        return tr("参照ファイル「%1」を読み込めませんでした。\n%2").arg(strFileName, fromUtf8(error.description()));
    }
    if (!reading.strRefusal.empty()) {
        return tr("「%1」は Kestrix のスペクトルファイルではありません。\n%2")
            .arg(strFileName, fromUtf8(reading.strRefusal));
    }
    // An averaged file's values are checked as the volts they stand for (its levels may be negative).
    const std::vector<double> dblChecked = reading.heading
                                               ? engine::convertSpectrum(reading.trace.dblVolts, scaleOf(reading).first,
                                                                         {engine::SpectrumUnits::Rms, false, 1.0})
                                               : reading.trace.dblVolts;
    const std::string strPlotRefusal = engine::plotRefusal(reading.trace.dblFreq, dblChecked);
    if (!strPlotRefusal.empty()) {
        return tr("参照ファイル「%1」はグラフに表示できません。\n%2").arg(strFileName, fromUtf8(strPlotRefusal));
    }
    result = std::move(reading);
    return std::nullopt;
}

std::pair<engine::SpectrumScale, QString> ReferenceList::scaleOf(const engine::SpectrumReading& reading)
{
    const std::vector<double>& dblFreq = reading.trace.dblFreq;
    if (!reading.heading) {
        // A classic spectrum file: the run's block without a window, so a line's bandwidth is its spacing.
        const double dblSpacing = dblFreq.size() > 1 ? dblFreq[1] - dblFreq[0] : 1.0;
        return {{engine::SpectrumUnits::Pp, true, dblSpacing}, tr("_SPC.csv の V p-p")};
    }
    const engine::SpectrumHeading& heading = *reading.heading;
    const engine::WindowFigures figures =
        engine::windowFigures(engine::windowCoefficients(heading.window, heading.lngNumSamp));
    const double dblBandwidth =
        figures.dblNoiseBandwidth * static_cast<double>(heading.lngSampFreq) / heading.lngNumSamp;
    return {{heading.units, false, dblBandwidth}, unitsTexts(heading.units).strLegend};
}

QString ReferenceList::nameFor(const QString& strFileName) const
{
    // Files of the same name from different folders are told apart by a number.
    const QString strBase = tr("参照：%1").arg(strFileName);
    QString strName = strBase;
    for (int intNumber = 2;; ++intNumber) {
        const bool blnTaken = std::any_of(items.begin(), items.end(),
                                          [&](const Reference& reference) { return reference.strName == strName; });
        if (!blnTaken) {
            return strName;
        }
        strName = QStringLiteral("%1 (%2)").arg(strBase).arg(intNumber);
    }
}

engine::SpectrumScale ReferenceList::target(const Reference& reference,
                                            const std::optional<engine::SpectrumScale>& shown,
                                            engine::SpectrumUnits units, bool blnClassicBlock)
{
    if (shown) {
        return *shown;
    }
    return {units, units == engine::SpectrumUnits::Pp && blnClassicBlock, reference.scale.dblNoiseBandwidth};
}

std::vector<double> ReferenceList::values(const Reference& reference, const engine::SpectrumScale& target)
{
    return sameScale(reference.scale, target) ? reference.dblValues
                                              : engine::convertSpectrum(reference.dblValues, reference.scale, target);
}

std::vector<double> ReferenceList::plotted(const Reference& reference, const engine::SpectrumScale& target)
{
    if (target.units == engine::SpectrumUnits::DbV) {
        return engine::convertSpectrum(reference.dblValues, reference.scale, {engine::SpectrumUnits::Rms, false, 1.0});
    }
    return values(reference, target);
}

QString ReferenceList::legend(const Reference& reference, const engine::SpectrumScale& target)
{
    if (sameScale(reference.scale, target)) {
        return reference.strName;
    }
    return tr("%1（%2 から換算）").arg(reference.strName, reference.strUnits);
}

} // namespace kestrix::ui
