// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/recordings/averaged_spectrum.h"
#include "engine/recordings/engineering_unit.h"
#include "engine/recordings/tone_figures.h"

#include <QString>
#include <QWidget>

#include <cstdint>
#include <optional>
#include <vector>

class QAction;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace kestrix::ui {

// The converter figures of the tone in the current averaged spectrum: the fundamental, SNR, THD, SINAD,
// ENOB with the full-scale correction beside it, SFDR, the noise floor and the harmonics, as readable
// numbers (a cell's tooltip gives the value as the figures' file writes it). The fundamental is the
// highest line above 0 Hz unless a frequency is given. "指標をコピー" (Ctrl+C in the table) copies the
// figures' file's rows, settings included, tab-separated. The plot's shading of the lines the figures
// counted follows "線を色分け"; the panel only says what to shade (shadedRoles).
class MetricsPanel : public QWidget
{
    Q_OBJECT

public:
    explicit MetricsPanel(QWidget* parent = nullptr);

    // Computes and shows the figures of an averaging made to half the rate (AverageSettings::
    // blnToHalfRate, N / 2 + 1 lines) of a recording sampled at lngSampFreq Hz (> 0) by a converter of
    // input range dblRange V (> 0; c counts are c dblRange / 32767 V). An averaging without a segment,
    // or not to half the rate, shows no figures and says why.
    // strSource names the spectrum in the panel's title; with a sensor the fundamental's amplitude and
    // the noise density are given in its unit too (the figures and their copy stay the converter's).
    void showAverage(const engine::AveragedPower& average, std::int32_t lngSampFreq, double dblRange,
                     const QString& strSource = {}, const std::optional<engine::EngineeringUnit>& sensor = {});
    // No figures.
    void clear();

    const std::optional<engine::ToneFigures>& figures() const
    {
        return toneFigures;
    }
    // The rows as copied: the heading "name\tvalue\tunit", then the figures' file's lines with tabs.
    QString figuresText() const;
    // The roles of the lines to shade on the plot (empty when shading is off or there are no figures),
    // and the spacing of those lines in Hz.
    std::vector<engine::LineRole> shadedRoles() const;
    double lineSpacing() const;

    // The controls in their focus order.
    std::vector<QWidget*> focusOrder() const;

    QTableWidget& table() const
    {
        return *tblMetrics;
    }

signals:
    // The figures or the shading changed: the plot's shading should follow shadedRoles.
    void shadingChanged();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void createControls();
    void arrangeControls();
    void connectSignals();
    void recompute();
    void refreshTable();
    void addFigureRows(const engine::ToneFigures& figures);
    void addNoiseRows(const engine::ToneFigures& figures);
    void addRow(const QString& strName, const QString& strValue, const QString& strExact);

    void txtFundamental_EditingFinished();
    void cmdCopyMetrics_Click();
    void chkShadeLines_Toggled(bool blnChecked);

    std::optional<engine::AveragedPower> average;
    std::int32_t lngSampFreq = 0;
    double dblRange = 0.0;
    std::optional<engine::EngineeringUnit> sensorUnit;
    std::optional<double> dblFundamentalHz;
    std::optional<engine::ToneFigures> toneFigures;

    QLabel* lblTitle = nullptr;
    QLabel* lblFundamental = nullptr;
    QLineEdit* txtFundamental = nullptr;
    QPushButton* cmdCopyMetrics = nullptr;
    QCheckBox* chkShadeLines = nullptr;
    QLabel* lblRoleLegend = nullptr;
    QLabel* lblStatus = nullptr;
    QTableWidget* tblMetrics = nullptr;
    QAction* actCopyMetrics = nullptr; // Ctrl+C in the table
};

} // namespace kestrix::ui
