// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/clock.h"
#include "platform/platform_ui.h"
#include "platform/sound_files.h"
#include "platform/text_files.h"

#include <QWidget>

class QScrollArea;

namespace kestrix::ui {

class FrmMain;
class SpectrumPanel;

// The program's window: the analysis controls of frmMain at the left, in their place and size, and
// the spectrum view filling the rest. It opens within the screen's free area and can be resized; the
// view takes the room, and scrolls when it has less than it needs. After each run that goes through,
// the view shows the spectra written; a run that ends early leaves it as it was. A recording opened in
// the view takes the sampling frequency, the point count and the input range from frmMain's fields
// where it does not state them. Sound files are read through sounds, or libsndfile when none is given.
class KestrixWindow final : public QWidget
{
    Q_OBJECT

public:
    KestrixWindow(platform::PlatformUi& ui, platform::TextFiles& files, platform::Clock& clock,
                  QWidget* parent = nullptr);
    KestrixWindow(platform::PlatformUi& ui, platform::TextFiles& files, platform::Clock& clock,
                  platform::SoundFiles& sounds, QWidget* parent = nullptr);

    FrmMain& form() const
    {
        return *frmMain;
    }
    SpectrumPanel& spectrum() const
    {
        return *pnlSpectrum;
    }

private:
    void arrange();
    QSize startSize() const;

    FrmMain* frmMain = nullptr;
    SpectrumPanel* pnlSpectrum = nullptr;
    QScrollArea* scrSpectrum = nullptr;
};

} // namespace kestrix::ui
