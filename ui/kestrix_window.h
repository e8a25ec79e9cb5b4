#pragma once

#include "platform/clock.h"
#include "platform/platform_ui.h"
#include "platform/text_files.h"

#include <QWidget>

namespace kestrix::ui {

class FrmMain;
class SpectrumPanel;

// The program's window: the analysis controls of frmMain at the left, in their place and size, and
// the spectrum view filling the rest. It can be resized; the view takes the room. After each run that
// goes through, the view shows the spectra written; a run that ends early leaves it as it was.
class KestrixWindow final : public QWidget
{
    Q_OBJECT

public:
    KestrixWindow(platform::PlatformUi& ui, platform::TextFiles& files, platform::Clock& clock,
                  QWidget* parent = nullptr);

    FrmMain& form() const
    {
        return *frmMain;
    }
    SpectrumPanel& spectrum() const
    {
        return *pnlSpectrum;
    }

private:
    FrmMain* frmMain = nullptr;
    SpectrumPanel* pnlSpectrum = nullptr;
};

} // namespace kestrix::ui
