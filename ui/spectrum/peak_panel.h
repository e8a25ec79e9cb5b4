// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/view/peaks.h"

#include <QString>
#include <QWidget>

#include <cstddef>
#include <optional>
#include <vector>

class QAction;
class QCheckBox;
class QLabel;
class QPushButton;
class QSpinBox;
class QTableWidget;

namespace kestrix::ui {

class ViewDocument;

// The peaks of the document's spectrum that stand out by an adjustable height above their floor: a
// table of readable values (each cell's own text, the one copied, as exact as the spectrum file writes
// its lines), its copy as text headed in the units shown, and the choice of harmonic markers. A peak
// chosen in the table is told (peakChosen) for the plot's cursor.
class PeakPanel final : public QWidget
{
    Q_OBJECT

public:
    // The role of the text a peak cell shows (readable); the cell's own text is what is copied.
    static constexpr int intShownTextRole = Qt::UserRole + 1;

    explicit PeakPanel(ViewDocument& document, QWidget* parent = nullptr);

    QTableWidget& table() const
    {
        return *tblPeaks;
    }
    const std::vector<engine::SpectrumPeak>& peaks() const
    {
        return spectrumPeaks;
    }
    // The table as text: a heading line in the units shown and one line per peak, tab-separated.
    QString tableText() const;
    void copyTable();
    // Whether harmonic markers are asked for, and the chosen peak's estimated frequency (Hz; the first
    // peak's without a choice).
    bool harmonicsWanted() const;
    std::optional<double> chosenFrequency() const;
    // The controls in their focus order.
    std::vector<QWidget*> focusOrder() const;

signals:
    void peakChosen(std::size_t lngLine);
    void harmonicsChanged();

private:
    void createControls();
    void createTable();
    void arrangeControls();
    void refresh();
    // The columns' headings, the values' unit in them where it is given.
    void showHeadings(const QString& strUnit);
    void fitColumns();
    bool eventFilter(QObject* watched, QEvent* event) override;
    void tblPeaks_SelectionChanged();

    ViewDocument& document;
    std::vector<engine::SpectrumPeak> spectrumPeaks;
    QLabel* lblPeakThreshold = nullptr;
    QSpinBox* spnPeakThreshold = nullptr;
    QPushButton* cmdCopyPeaks = nullptr;
    QCheckBox* chkHarmonics = nullptr;
    QTableWidget* tblPeaks = nullptr;
    QAction* actCopyPeaks = nullptr; // Ctrl+C and the context menu of the table
};

} // namespace kestrix::ui
