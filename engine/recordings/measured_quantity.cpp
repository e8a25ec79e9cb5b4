// SPDX-License-Identifier: GPL-3.0-or-later
#include "measured_quantity.h"

#include "band_power.h"
#include "engine/run/analysis_parameters.h"
#include "engine/run/number_text.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <numbers>

namespace kestrix::engine {

namespace {

constexpr double dblMmPerMetre = 1e3; // velocity is shown in mm/s
constexpr double dblUmPerMetre = 1e6; // displacement in µm

struct QuantityText
{
    Quantity quantity;
    std::string_view strName;
};

constexpr QuantityText quantityTexts[] = {
    {Quantity::Acceleration, "acceleration"},
    {Quantity::Velocity, "velocity"},
    {Quantity::Displacement, "displacement"},
};

bool isIntegrated(Quantity quantity)
{
    return quantity == Quantity::Velocity || quantity == Quantity::Displacement;
}

std::string sensorUnit(const MeasuredQuantity& quantity)
{
    return quantity.sensor ? quantity.sensor->strUnit : std::string("V");
}

// A unit inside a compound one: "(mm/s)^2/Hz", but "g^2/Hz".
std::string grouped(const std::string& strUnit)
{
    return strUnit.find('/') == std::string::npos ? strUnit : "(" + strUnit + ")";
}

} // namespace

std::string_view quantityName(Quantity quantity)
{
    for (const QuantityText& text : quantityTexts) {
        if (text.quantity == quantity) {
            return text.strName;
        }
    }
    return {};
}

std::optional<Quantity> quantityOfName(std::string_view strName)
{
    for (const QuantityText& text : quantityTexts) {
        if (text.strName == strName) {
            return text.quantity;
        }
    }
    return std::nullopt;
}

std::optional<QuantityRefusal> checkQuantity(const MeasuredQuantity& quantity)
{
    if (quantity.quantity != Quantity::AsRecorded && !accelerationPerUnit(sensorUnit(quantity))) {
        return QuantityRefusal{QuantityRefusal::Kind::NotAcceleration, sensorUnit(quantity), 0.0};
    }
    if (!(quantity.dblHighPassHz >= 0.0) || !std::isfinite(quantity.dblHighPassHz)) {
        return QuantityRefusal{QuantityRefusal::Kind::HighPass, {}, quantity.dblHighPassHz};
    }
    if (quantity.dblDbReference && (!(*quantity.dblDbReference > 0.0) || !std::isfinite(*quantity.dblDbReference))) {
        return QuantityRefusal{QuantityRefusal::Kind::DbReference, {}, *quantity.dblDbReference};
    }
    return std::nullopt;
}

std::string quantityRefusalText(const QuantityRefusal& refusal, Quantity quantity)
{
    const auto number = [](double dblValue) {
        return std::isfinite(dblValue) ? generalNumberText(dblValue) : std::string(dblValue > 0 ? "inf" : "nan");
    };
    switch (refusal.kind) {
    case QuantityRefusal::Kind::NotAcceleration:
        return std::string(quantityName(quantity)) +
               " needs an accelerometer's recording (a sensitivity per g or per m/s\xC2\xB2), not one in " +
               refusal.strUnit;
    case QuantityRefusal::Kind::HighPass:
        return "the high-pass frequency must be 0 Hz or more, not " + number(refusal.dblValue);
    case QuantityRefusal::Kind::DbReference:
        return "the dB reference must be a positive number, not " + number(refusal.dblValue);
    }
    return {};
}

ShownUnit shownUnit(const MeasuredQuantity& quantity)
{
    ShownUnit shown;
    if (quantity.quantity == Quantity::Velocity) {
        shown.strUnit = "mm/s";
    } else if (quantity.quantity == Quantity::Displacement) {
        shown.strUnit = "\xC2\xB5m";
    } else {
        shown.strUnit = sensorUnit(quantity);
    }
    if (quantity.dblDbReference) {
        shown.dblDbReference = *quantity.dblDbReference;
        shown.strDbReference = generalNumberText(*quantity.dblDbReference) + " " + shown.strUnit;
    } else {
        DbReference reference = isoDbReference(shown.strUnit);
        shown.dblDbReference = reference.dblValue;
        shown.strDbReference = std::move(reference.strText);
    }
    return shown;
}

MeasuredQuantity recordedQuantity(const MeasuredQuantity& quantity)
{
    MeasuredQuantity recorded = quantity;
    recorded.quantity = Quantity::AsRecorded;
    if (isIntegrated(quantity.quantity)) {
        recorded.dblDbReference.reset();
    }
    return recorded;
}

std::vector<double> lineGains(const MeasuredQuantity& quantity, std::size_t lngLines, double dblDeltaFreq)
{
    const double dblPerVolt = quantity.sensor ? 1.0 / quantity.sensor->dblVoltsPerUnit : 1.0;
    std::vector<double> dblGain(lngLines, dblPerVolt);
    if (!isIntegrated(quantity.quantity)) {
        return dblGain;
    }
    const std::optional<double> dblAcceleration = accelerationPerUnit(sensorUnit(quantity));
    assert(dblAcceleration && "checkQuantity refuses integrating anything but an acceleration");
    const bool blnVelocity = quantity.quantity == Quantity::Velocity;
    const double dblScale = dblPerVolt * dblAcceleration.value_or(0.0) * (blnVelocity ? dblMmPerMetre : dblUmPerMetre);
    for (std::size_t k = 0; k < lngLines; ++k) {
        const double dblFreq = static_cast<double>(k) * dblDeltaFreq;
        const double dblOmega = 2.0 * std::numbers::pi * dblFreq;
        if (k == 0 || dblFreq < quantity.dblHighPassHz) {
            dblGain[k] = 0.0;
        } else {
            dblGain[k] = blnVelocity ? dblScale / dblOmega : dblScale / (dblOmega * dblOmega);
        }
    }
    return dblGain;
}

std::string unitsHeading(SpectrumUnits units, const MeasuredQuantity& quantity)
{
    if (!quantity.sensor && quantity.quantity == Quantity::AsRecorded && !quantity.dblDbReference) {
        return std::string(unitsHeading(units));
    }
    const ShownUnit shown = shownUnit(quantity);
    switch (units) {
    case SpectrumUnits::Pp:
        return "peak-to-peak (" + shown.strUnit + ")";
    case SpectrumUnits::Peak:
        return "peak (" + shown.strUnit + ")";
    case SpectrumUnits::Rms:
        return "rms (" + shown.strUnit + ")";
    case SpectrumUnits::DbV:
        return "level (dB re " + shown.strDbReference + ")";
    case SpectrumUnits::Psd:
        return "PSD (" + grouped(shown.strUnit) + "^2/Hz)";
    case SpectrumUnits::Asd:
        return "ASD (" + grouped(shown.strUnit) + "/sqrt(Hz))";
    }
    return {};
}

std::vector<std::string> quantityFields(const MeasuredQuantity& quantity)
{
    std::vector<std::string> strFields;
    if (quantity.sensor) {
        strFields.push_back("sensitivity=" + sensitivityText(*quantity.sensor));
    }
    if (quantity.quantity != Quantity::AsRecorded) {
        strFields.push_back("quantity=" + std::string(quantityName(quantity.quantity)));
    }
    if (isIntegrated(quantity.quantity)) {
        strFields.push_back("highpass=" + generalNumberText(quantity.dblHighPassHz) + " Hz");
    }
    return strFields;
}

std::vector<double> spectrumInUnits(const AveragedPower& average, SpectrumUnits units, double dblSampFreq,
                                    double dblVoltsPerCount, const MeasuredQuantity& quantity)
{
    const std::vector<double> dblGain =
        lineGains(quantity, average.dblPower.size(), dblSampFreq / average.settings.lngNumSamp);
    std::vector<double> dblValues(average.dblPower.size());
    powerInScaledUnits(average.dblPower, units, average.figures, dblSampFreq, dblVoltsPerCount, dblGain,
                       shownUnit(quantity).dblDbReference, dblValues);
    return dblValues;
}

std::string bandText(const FrequencyBand& band)
{
    const auto number = [](double dblValue) {
        return std::isfinite(dblValue) ? generalNumberText(dblValue) : std::string("nan");
    };
    return number(band.dblLowHz) + "-" + number(band.dblHighHz) + " Hz";
}

FrequencyBand defaultBandRms(Quantity quantity, double dblSampFreq)
{
    constexpr FrequencyBand velocityBand{10.0, 1000.0}; // ISO 20816-1's broadband velocity
    return quantity == Quantity::Velocity ? velocityBand : FrequencyBand{0.0, dblSampFreq / dblPointsPerLine};
}

BandRms bandRms(const AveragedPower& average, double dblSampFreq, double dblVoltsPerCount,
                const MeasuredQuantity& quantity, const FrequencyBand& band)
{
    assert(band.dblLowHz >= 0.0 && band.dblLowHz <= band.dblHighHz);
    const std::size_t lngLines = average.dblPower.size();
    const double dblDeltaFreq = dblSampFreq / average.settings.lngNumSamp;
    BandRms result;
    result.strUnit = shownUnit(quantity).strUnit;
    result.band = band;
    if (lngLines == 0) {
        return result;
    }
    result.band.dblHighHz = std::min(band.dblHighHz, static_cast<double>(lngLines - 1) * dblDeltaFreq);
    std::vector<double> dblLinePower(lngLines);
    linePowersOfTransform(average.dblPower, average.settings.lngNumSamp, average.figures.dblSquareSum, dblVoltsPerCount,
                          dblLinePower);
    const std::vector<double> dblGain = lineGains(quantity, lngLines, dblDeltaFreq);
    double dblSum = 0.0;
    for (std::size_t k = 0; k < lngLines; ++k) {
        const double dblFreq = static_cast<double>(k) * dblDeltaFreq;
        if (dblFreq >= result.band.dblLowHz && dblFreq <= result.band.dblHighHz) {
            dblSum += dblLinePower[k] * dblGain[k] * dblGain[k];
            ++result.lngLines;
        }
    }
    result.dblRms = std::sqrt(dblSum);
    return result;
}

} // namespace kestrix::engine
