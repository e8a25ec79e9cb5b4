// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/recordings/measured_quantity.h"
#include "platform/platform_ui.h"

#include <QObject>
#include <QString>

#include <optional>
#include <vector>

class QComboBox;
class QFormLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

namespace kestrix::ui {

class CalibrationRun;
class ViewDocument;

// The analysis settings of what the volts stand for: a sensor's sensitivity as users write it ("100
// mV/g", "50 mV/Pa"), or found from a calibrator's recording open in the view ("94 dB SPL", "1 g");
// the quantity shown (as recorded, or from an accelerometer acceleration, velocity or displacement,
// with the high-pass below which lines read 0); and the reference of levels in dB (ISO 1683's by
// default). Text that does not read turns its field red with the reason, in the field's tooltip and
// under the fields, and is not taken; the settings in use stay. The controls belong to the given parent,
// which places them in its form.
class QuantityFields final : public QObject
{
    Q_OBJECT

public:
    QuantityFields(ViewDocument& document, platform::PlatformUi& ui, QWidget& parent);

    // Adds the labelled rows and the status line to the parent's form.
    void addRows(QFormLayout& form);
    // The controls in their focus order.
    std::vector<QWidget*> focusOrder() const;

private:
    void createControls(QWidget& parent);
    void connectSignals();
    void showSettings();
    void refreshQuantityChoices();
    void showStatus(const QString& strText, bool blnRefusal);
    void markField(QLineEdit& field, const QString& strRefusal, const QString& strHelp);
    void applyQuantity(const engine::MeasuredQuantity& quantity);
    // The quantity in use with the sensitivity strText (empty: none), what it no longer fits dropped (a
    // velocity from a unit that is no acceleration, a dB reference of another unit); none, with the
    // reason in strRefusal, where the text is no sensitivity.
    std::optional<engine::MeasuredQuantity> quantityWithSensor(const QString& strText, QString& strRefusal) const;

    void txtSensitivity_Changed(const QString& strText);
    void txtSensitivity_EditingFinished();
    void cboQuantity_Changed();
    void txtHighPass_EditingFinished();
    void txtDbReference_EditingFinished();
    void cmdCalibrate_Click();
    void calibration_Finished();

    ViewDocument& document;
    platform::PlatformUi& ui;
    CalibrationRun* calibration = nullptr;
    QString strSensitivityHelp;
    QString strCalibration; // what the last calibration found, shown until the sensitivity is typed again

    QLineEdit* txtSensitivity = nullptr;
    QLineEdit* txtCalibrationLevel = nullptr;
    QPushButton* cmdCalibrate = nullptr;
    QWidget* grpCalibration = nullptr;
    QComboBox* cboQuantity = nullptr;
    QLineEdit* txtHighPass = nullptr;
    QLineEdit* txtDbReference = nullptr;
    QLabel* lblQuantityStatus = nullptr;
};

} // namespace kestrix::ui
