// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "averaged_spectrum.h"
#include "engineering_unit.h"

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// What the values of an analysed recording are read as: volts, or through a sensor's sensitivity its
// engineering unit, and for an accelerometer the velocity (mm/s) or displacement (µm) it stands for.
// Integration is done line by line on the averaged spectrum: each line divided by 2 pi f (velocity) or
// (2 pi f)^2 (displacement), f the line's frequency; lines below a high-pass frequency (and 0 Hz) read 0,
// since there the division would blow up the sensor's drift and the converter's noise. Being made after
// the window, it cannot stop a strong component below the high-pass from reaching the lines of its main
// lobe above it (flat top: 5 lines on each side), where 1 / f magnifies it: N must make lines fine enough.
namespace kestrix::engine {

enum class Quantity {
    AsRecorded,   // the sensor's EU (or volts), no conversion
    Acceleration, // the same, checked to be an acceleration (g, m/s²)
    Velocity,     // mm/s, from an acceleration
    Displacement, // µm, from an acceleration
};

// "acceleration", "velocity", "displacement" (empty for AsRecorded, which has no name).
std::string_view quantityName(Quantity quantity);
std::optional<Quantity> quantityOfName(std::string_view strName);

inline constexpr double dblDefaultHighPassHz = 10.0;

struct MeasuredQuantity
{
    std::optional<EngineeringUnit> sensor; // none: volts, and every file and text as without a sensor
    Quantity quantity = Quantity::AsRecorded;
    double dblHighPassHz = dblDefaultHighPassHz; // Hz, >= 0: with velocity and displacement, lines below read 0
    std::optional<double> dblDbReference;        // levels in dB re this, in the shown unit; none: ISO 1683's

    bool operator==(const MeasuredQuantity&) const = default;
};

// Why a measured quantity cannot be shown.
struct QuantityRefusal
{
    enum class Kind {
        NotAcceleration, // Acceleration, Velocity or Displacement asked of a unit that is no acceleration
        HighPass,        // the high-pass frequency negative or not finite
        DbReference,     // the dB reference not positive or not finite
    };
    Kind kind = Kind::NotAcceleration;
    std::string strUnit;   // the sensor's unit ("V" without one), for NotAcceleration
    double dblValue = 0.0; // the value refused, for HighPass and DbReference
};
std::optional<QuantityRefusal> checkQuantity(const MeasuredQuantity& quantity);

// The refusal in English: `velocity needs an acceleration (a sensitivity per g or per m/s²), not Pa`.
std::string quantityRefusalText(const QuantityRefusal& refusal, Quantity quantity);

// The unit values are shown in and the reference of their levels in dB.
struct ShownUnit
{
    std::string strUnit = "V";
    double dblDbReference = 1.0; // in strUnit
    std::string strDbReference = "1 V";
};
ShownUnit shownUnit(const MeasuredQuantity& quantity);

// The same quantity as recorded: no integration (the sensor's EU), the dB reference kept only where the
// unit stays. What time-domain measures and the envelope are read in.
MeasuredQuantity recordedQuantity(const MeasuredQuantity& quantity);

// Each line's factor from volts to the shown unit, lngLines lines from 0 Hz, dblDeltaFreq Hz apart: 1 /
// sensitivity as recorded; with velocity 1000 a / (2 pi f) and with displacement 1e6 a / (2 pi f)^2 (a
// the m/s² in one EU), 0 for every line below the high-pass frequency and at 0 Hz. checkQuantity passed.
std::vector<double> lineGains(const MeasuredQuantity& quantity, std::size_t lngLines, double dblDeltaFreq);

// The value column's heading: unitsHeading(units) exactly when there is no sensor, quantity and dB
// reference; else the kind with the shown unit: "rms (g)", "peak-to-peak (µm)", "PSD (g^2/Hz)",
// "PSD ((mm/s)^2/Hz)", "ASD (g/sqrt(Hz))", "level (dB re 20 µPa)".
std::string unitsHeading(SpectrumUnits units, const MeasuredQuantity& quantity);

// The heading fields naming the conversion, each as name=value: "sensitivity=100 mV/g" with a sensor,
// "quantity=velocity" unless as recorded, "highpass=10 Hz" with velocity and displacement; none
// without them.
std::vector<std::string> quantityFields(const MeasuredQuantity& quantity);

// The averaged spectrum in units of the shown quantity, one value per line (lines dblSampFreq / N Hz
// apart); spectrumInUnits(average, units, ...) bit for bit when there is no sensor, quantity and dB
// reference. dB levels refer to shownUnit's reference; a line of 0 reads dblDbvFloor.
std::vector<double> spectrumInUnits(const AveragedPower& average, SpectrumUnits units, double dblSampFreq,
                                    double dblVoltsPerCount, const MeasuredQuantity& quantity);

// A band of frequencies, in Hz.
struct FrequencyBand
{
    double dblLowHz = 0.0;
    double dblHighHz = 0.0;

    bool operator==(const FrequencyBand&) const = default;
};

// The band as headings and rows name it: "10-1000 Hz" (general number texts; "nan" for what is not finite).
std::string bandText(const FrequencyBand& band);

// The band of the overall level when none is given: 10 to 1000 Hz for velocity (ISO 20816's broadband
// velocity), else 0 Hz to fs / 2.56.
FrequencyBand defaultBandRms(Quantity quantity, double dblSampFreq);

// The root of the power of a band of the averaged spectrum in the shown quantity.
struct BandRms
{
    FrequencyBand band;       // as summed: the lines from the first at or above its low edge to the last at or
                              // below its high edge, the high edge cut to the spectrum's last line
    double dblRms = 0.0;      // in strUnit
    std::string strUnit;      // the shown unit
    std::size_t lngLines = 0; // lines summed; 0 when the band holds none (dblRms 0)
};

// The band's RMS: the lines' mean-square values (each |X|^2 over the window's noise power, the mirror
// line's power included, times the line's gain squared) summed and rooted. Meant for Averaging::Mean; a
// peak-hold average gives an upper bound. band: 0 <= low <= high.
BandRms bandRms(const AveragedPower& average, double dblSampFreq, double dblVoltsPerCount,
                const MeasuredQuantity& quantity, const FrequencyBand& band);

} // namespace kestrix::engine
