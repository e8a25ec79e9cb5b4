// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/recordings/condition_levels.h"
#include "engine/recordings/measured_quantity.h"

#include <QString>
#include <QWidget>

#include <optional>
#include <vector>

class QAction;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace kestrix::ui {

class ViewDocument;

// The condition measures of the recording the document holds, as an engineer judges a machine by them
// before its spectrum: over every sample, in the sensor's unit (volts without one), the rms, peak,
// peak-to-peak, crest factor, kurtosis and mean; and the RMS of a band of the averaged spectrum in the
// quantity shown (10 to 1000 Hz for velocity: ISO 20816's overall velocity; else 0 Hz to fs / 2.56,
// unless a band is typed). Readable numbers (a cell's tooltip gives the value as the levels file writes
// it); "指標をコピー" (Ctrl+C in the table) copies the levels file's heading and rows, tab-separated.
class LevelsPanel final : public QWidget
{
    Q_OBJECT

public:
    explicit LevelsPanel(ViewDocument& document, QWidget* parent = nullptr);

    // The measures shown; none without a reading.
    const std::optional<engine::ConditionLevels>& levels() const
    {
        return conditionLevels;
    }
    const std::optional<engine::BandRms>& bandRms() const
    {
        return band;
    }
    // The rows as copied: the levels file's heading fields, then its rows, tab-separated.
    QString levelsText() const;
    std::vector<QWidget*> focusOrder() const;
    QTableWidget& table() const
    {
        return *tblLevels;
    }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void createControls();
    void arrangeControls();
    void connectSignals();
    void refresh();
    void fitRows();
    std::optional<engine::FrequencyBand> typedBand(QString& strRefusal) const;
    void addRow(const QString& strName, const QString& strValue, const QString& strExact);

    void txtBand_EditingFinished();
    void cmdCopyLevels_Click();

    ViewDocument& document;
    std::optional<engine::ConditionLevels> conditionLevels;
    std::optional<engine::BandRms> band;

    QLabel* lblTitle = nullptr;
    QLabel* lblBand = nullptr;
    QLineEdit* txtBandLow = nullptr;
    QLineEdit* txtBandHigh = nullptr;
    QPushButton* cmdCopyLevels = nullptr;
    QLabel* lblStatus = nullptr;
    QTableWidget* tblLevels = nullptr;
    QAction* actCopyLevels = nullptr; // Ctrl+C in the table
};

} // namespace kestrix::ui
