// SPDX-License-Identifier: GPL-3.0-or-later
#include "qt_translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace kestrix::ui {

QTranslator* installQtTranslations(QCoreApplication& app, const QLocale& locale, const QString& strFolder)
{
    const QString strFrom = strFolder.isEmpty() ? QLibraryInfo::path(QLibraryInfo::TranslationsPath) : strFolder;
    auto* translator = new QTranslator(&app);
    // qtbase holds the texts of the widgets' dialogs and message boxes.
    if (!translator->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"), strFrom) ||
        !QCoreApplication::installTranslator(translator)) {
        delete translator;
        return nullptr;
    }
    return translator;
}

} // namespace kestrix::ui
