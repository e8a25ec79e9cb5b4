// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/platform_ui.h"

#include <QString>
#include <QWidget>

#include <optional>
#include <vector>

namespace kestrix::ui {

class PlotFrame;

// A page of the view: a widget that shows one side of the document (the spectrum, the spectrogram) with
// its own controls. The view lays its pages out as tabs, chains their controls into the window's focus
// order, and sends the window-wide keys for the page in front to it.
class ViewPage : public QWidget
{
    Q_OBJECT

public:
    using QWidget::QWidget;

    // The page's controls in the order they stand.
    virtual std::vector<QWidget*> focusOrder() const = 0;
    // Ctrl+S: the page's plot saved as a picture, through the save dialog.
    virtual void savePicture() = 0;
    // Ctrl+0: everything of the page's plot in view.
    virtual void showEverything() = 0;

protected:
    // A picture's name asked through the save dialog under strTitle (PNG, JPEG or SVG), strProposed
    // offered; nothing when the user cancels.
    static std::optional<QString> askPictureName(platform::PlatformUi& ui, const QString& strTitle,
                                                 const QString& strProposed);
    // Says that the picture strPath could not be saved, and why; false, for the caller to return.
    static bool pictureNotSaved(platform::PlatformUi& ui, const QString& strPath, const QString& strError);
    // A control named for code (strName) and for assistive tools (strAccessible).
    template <typename Control>
    static Control* named(Control* control, const char* strName, const QString& strAccessible)
    {
        control->setObjectName(QLatin1String(strName));
        control->setAccessibleName(strAccessible);
        return control;
    }
    // The save dialog for a picture of plot (PNG, JPEG or SVG) titled strTitle, strProposed proposed, and
    // the picture written where the user says. Whether a file was written.
    static bool savePlotPicture(const PlotFrame& plot, platform::PlatformUi& ui, const QString& strTitle,
                                const QString& strProposed);
    // Writes plot at strPath in the format its name asks for; a failure is shown as a message.
    static bool writePlotPicture(const PlotFrame& plot, platform::PlatformUi& ui, const QString& strPath);
};

} // namespace kestrix::ui
