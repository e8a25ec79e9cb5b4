// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/view/orders.h"

#include <QObject>

#include <optional>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

namespace kestrix::ui {

class SpectrumPlot;

// The view's controls for the frequency axis of its spectrum plot: logarithmic or linear, and in Hz or
// in orders of a running speed typed in rpm or Hz ("1500", "1500 rpm", "25 Hz"; a bare number in the
// unit chosen beside it) or taken from the cursor's line. The controls belong to the given parent (the
// view places them); they act on the plot. A speed that cannot be read is not taken: its field shows
// it in red with the reason as tooltip until it reads, and the speed in use stays.
class MeasureTools : public QObject
{
    Q_OBJECT

public:
    MeasureTools(SpectrumPlot& plot, QWidget& parent);

    // The controls in their focus order, in two groups: the axis scale, then the orders.
    std::vector<QWidget*> scaleControls() const;
    std::vector<QWidget*> orderControls() const;

    // The running speed the axis counts orders of: none while orders are off or no speed is given.
    std::optional<engine::RunningSpeed> orderSpeed() const;

signals:
    // The orders were switched on or off or their speed changed: markers that follow them are redrawn.
    void ordersChanged();

private:
    void createControls(QWidget& parent);
    void connectSignals();
    void applyOrders();
    void refreshSpeedField();

    void chkLogFrequency_Toggled(bool blnChecked);
    void txtRunningSpeed_Changed(const QString& strText);
    void txtRunningSpeed_EditingFinished();
    void cboSpeedUnit_Changed(int intIndex);
    void cmdSpeedFromCursor_Click();
    void chkOrders_Toggled(bool blnChecked);
    void plot_CursorChanged();

    SpectrumPlot& plot;
    std::optional<engine::RunningSpeed> speed;

    QCheckBox* chkLogFrequency = nullptr;
    QLabel* lblRunningSpeed = nullptr;
    QLineEdit* txtRunningSpeed = nullptr;
    QComboBox* cboSpeedUnit = nullptr;
    QPushButton* cmdSpeedFromCursor = nullptr;
    QCheckBox* chkOrders = nullptr;
};

} // namespace kestrix::ui
