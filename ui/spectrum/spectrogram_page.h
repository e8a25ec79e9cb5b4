// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/platform_ui.h"
#include "view_page.h"

#include <QString>
#include <QWidget>

#include <cstdint>
#include <vector>

class QCheckBox;
class QDoubleSpinBox;
class QLabel;
class QPushButton;

namespace kestrix::ui {

class SpectrogramPlot;
class ViewDocument;

// The spectrogram page: the spectrogram of the document's recording read with its settings, the dB
// range of its colours (a floor at or above the top is refused and said so), a logarithmic frequency
// axis, its cursor readout and its picture. A segment picked on it is asked of the document (shown on
// the spectrum page).
class SpectrogramPage final : public ViewPage
{
    Q_OBJECT

public:
    SpectrogramPage(ViewDocument& document, platform::PlatformUi& ui, QWidget* parent = nullptr);

    SpectrogramPlot& plot() const
    {
        return *pltSpectrogram;
    }
    std::vector<QWidget*> focusOrder() const override;
    void savePicture() override;
    void showEverything() override;
    // Saves the spectrogram as shown in the format its name asks for; a failure is reported by a
    // message. The result says whether the file was written.
    bool saveImage(const QString& strPath);

signals:
    // A segment was picked on the plot: by a click (the spectrum page should come forward) or by keys.
    void segmentPicked(std::int64_t lngSegment, bool blnClicked);

private:
    void createControls();
    void arrangeControls();
    void connectSignals();
    void showSpectrogram();
    void showLevelRange();
    void showReadout();
    void spnLevelFloor_Changed(double dblFloor);
    void spnLevelTop_Changed(double dblTop);
    bool eventFilter(QObject* watched, QEvent* event) override;

    ViewDocument& document;
    platform::PlatformUi& ui;
    SpectrogramPlot* pltSpectrogram = nullptr;
    QLabel* lblFloor = nullptr;
    QDoubleSpinBox* spnLevelFloor = nullptr;
    QLabel* lblTop = nullptr;
    QDoubleSpinBox* spnLevelTop = nullptr;
    QPushButton* cmdAutoLevels = nullptr;
    QCheckBox* chkSpectrogramLogFrequency = nullptr;
    QPushButton* cmdSaveSpectrogram = nullptr;
    QLabel* lblSpectrogramCursor = nullptr;
    QString strLevelNote;               // why a level typed was not taken
    bool blnSpectrogramClicked = false; // the plot's last mouse release was a left click
};

} // namespace kestrix::ui
