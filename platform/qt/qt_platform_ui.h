// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/platform_ui.h"

#include <QPointer>
#include <QString>
#include <QWidget>

#include <string_view>

class QFileDialog;

namespace kestrix::platform {

// The filter of an open-file request ("description|pattern|description|pattern") in Qt's form
// ("description (pattern);;..."). A description that already names its patterns in parentheses is kept
// as it stands; Windows-style pattern lists ("*.csv;*.txt") become Qt's blank-separated ones.
QString qtFileFilter(std::string_view strFilter);

// The extension of the first pattern of a Qt name filter ("PNG 画像 (*.png *.PNG)" gives "png"); empty
// for a pattern without one ("*").
QString firstFilterSuffix(const QString& strNameFilter);

// PlatformUi on Qt Widgets. Messages and the dialog are modal to the parent window. The busy pointer is
// an application-wide override cursor, lifted while a message or the dialog waits for the user, who
// would otherwise read the hourglass as "do not touch".
class QtPlatformUi final : public PlatformUi
{
public:
    explicit QtPlatformUi(QWidget* parentWindow = nullptr);
    QtPlatformUi(const QtPlatformUi&) = delete;
    QtPlatformUi& operator=(const QtPlatformUi&) = delete;

    // The window that messages and the dialog are centred on and modal to.
    void setParentWindow(QWidget* parentWindow);

    void showMessage(std::string_view strText, MessageStyle style,
                     std::optional<std::string_view> strTitle = std::nullopt) override;
    std::optional<std::string> chooseOpenFile(const OpenFileRequest& request) override;
    std::optional<std::string> chooseSaveFile(const SaveFileRequest& request) override;
    void setBusyPointer(bool blnBusy) override;

private:
    class PointerLift;

    std::optional<std::string> runFileDialog(QFileDialog& dialog);

    QPointer<QWidget> parentWindow;
    bool blnBusy = false;
};

} // namespace kestrix::platform
