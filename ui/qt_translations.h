// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QLocale>
#include <QString>

class QCoreApplication;
class QTranslator;

namespace kestrix::ui {

// Installs Qt's own translations for locale, so its dialogs ("Look in", "Cancel", "File not found")
// speak the user's language beside the window's Japanese. They are read from strFolder, or from Qt's
// translations folder (Debian: /usr/share/qt6/translations) when it is empty. The installed
// translator belongs to app; nothing is installed, and Qt's texts stay English, when the locale has
// none there.
QTranslator* installQtTranslations(QCoreApplication& app, const QLocale& locale, const QString& strFolder = {});

} // namespace kestrix::ui
