// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/recordings/spectrum_csv.h"
#include "engine/recordings/spectrum_units.h"
#include "platform/text_files.h"

#include <QColor>
#include <QString>

#include <optional>
#include <string>
#include <vector>

namespace kestrix::ui {

// A spectrum read from an earlier spectrum file, to lay beside the one shown.
struct Reference
{
    std::string strPath;
    QString strName; // the legend's entry
    QColor color;
    std::vector<double> dblFreq;
    std::vector<double> dblValues; // as the file holds them, in scale
    engine::SpectrumScale scale;
    QString strUnits;                      // the file's units, to label a carried-over trace
    QString strUnit = QStringLiteral("V"); // what its values measure: only a spectrum of that unit takes it
};

// The reference spectra of the spectrum page, each in its own colour, and their values carried into the
// units shown. Free of widgets.
class ReferenceList
{
public:
    explicit ReferenceList(platform::TextFiles& files) : files(files) {}

    // Reads a spectrum file. A file that cannot be read, is no spectrum, holds values the plot cannot
    // show, or is already open is refused: the message comes back and nothing changes. Another file of
    // the same name is named apart.
    std::optional<QString> open(const std::string& strPath);
    void remove(std::size_t lngIndex);
    const std::vector<Reference>& references() const
    {
        return items;
    }

    // A reference's values in the target scale, as a file in those units writes them, and as the plot
    // draws them (dBV as V rms); its legend, saying what it was carried over from where it was.
    static std::vector<double> values(const Reference& reference, const engine::SpectrumScale& target);
    static std::vector<double> plotted(const Reference& reference, const engine::SpectrumScale& target);
    static QString legend(const Reference& reference, const engine::SpectrumScale& target);
    // The scale a reference is shown in: that of the spectrum shown, or without one the units asked for.
    static engine::SpectrumScale target(const Reference& reference, const std::optional<engine::SpectrumScale>& shown,
                                        engine::SpectrumUnits units, bool blnClassicBlock);

private:
    std::optional<QString> refusal(const std::string& strPath, engine::SpectrumReading& result);
    static std::pair<engine::SpectrumScale, QString> scaleOf(const engine::SpectrumReading& reading);
    QString nameFor(const QString& strFileName) const;

    platform::TextFiles& files;
    std::vector<Reference> items;
    std::size_t lngNextColour = 0;
};

} // namespace kestrix::ui
