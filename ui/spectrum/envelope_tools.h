// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/recordings/measured_quantity.h"
#include "platform/platform_ui.h"

#include <QObject>
#include <QString>

#include <cstddef>
#include <optional>
#include <vector>

class QCheckBox;
class QLabel;
class QLineEdit;
class QWidget;

namespace kestrix::ui {

class ViewDocument;

// The spectrum page's envelope mode: "包絡線" and a band LO..HI Hz. On, the page shows the averaged
// spectrum of the recording's envelope in that band (the band-passed recording's analytic signal's
// magnitude, read in the same pass as the spectrum) instead of the spectrum, so the peaks, the cursors,
// the harmonic markers and the picture work on it alike: a bearing's defect rate ringing a resonance
// shows as a line at that rate with its harmonics. A defect frequency typed (a bearing's BPFO, BPFI,
// BSF or FTF from its geometry, in Hz) puts markers at its harmonics while the envelope is shown, so
// the lines that match it stand out without a peak chosen. A band the recording cannot give an envelope in (not
// above 0 Hz, not below fs / 2, too narrow for the filter, or a recording too short for one segment of
// the envelope) turns the fields red and is refused with its reason, in a message where the mode was
// asked for (the box, or Enter in a band field). The controls belong to the given parent, which places them.
class EnvelopeTools final : public QObject
{
    Q_OBJECT

public:
    EnvelopeTools(ViewDocument& document, platform::PlatformUi& ui, QWidget& parent);

    // The controls in their focus order: the box and the band's (intBandControls), then the defect
    // frequency's.
    std::vector<QWidget*> controls() const;
    static constexpr std::ptrdiff_t intBandControls = 5;
    // The defect frequency typed (Hz, > 0), whose harmonics are marked while the envelope is shown; none
    // while the field is empty or does not read.
    std::optional<double> defectFrequency() const
    {
        return dblDefectHz;
    }

signals:
    void defectFrequencyChanged();

private:
    void createControls(QWidget& parent);
    void connectSignals();
    void showSettings();
    std::optional<engine::FrequencyBand> typedBand(QString& strRefusal) const;
    void markFields(const QString& strRefusal);
    void apply(bool blnAsked);

    void chkEnvelope_Toggled(bool blnChecked);
    void txtEnvelopeBand_EditingFinished();
    void txtEnvelopeBand_ReturnPressed();
    void txtDefectFrequency_EditingFinished();

    ViewDocument& document;
    platform::PlatformUi& ui;
    QString strBandHelp;

    QCheckBox* chkEnvelope = nullptr;
    QLineEdit* txtEnvelopeLow = nullptr;
    QLabel* lblEnvelopeTo = nullptr;
    QLineEdit* txtEnvelopeHigh = nullptr;
    QLabel* lblEnvelopeHz = nullptr;
    QLabel* lblDefectFrequency = nullptr;
    QLineEdit* txtDefectFrequency = nullptr;
    std::optional<double> dblDefectHz;
};

} // namespace kestrix::ui
