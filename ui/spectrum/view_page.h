// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>

#include <vector>

namespace kestrix::ui {

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
};

} // namespace kestrix::ui
