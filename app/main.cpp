// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/clock.h"
#include "platform/qt/qt_platform_ui.h"
#include "platform/sndfile/sndfile_sound_files.h"
#include "platform/std/std_text_files.h"
#include "ui/kestrix_window.h"
#include "ui/qt_translations.h"

#include <QApplication>

#include <clocale>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    // QApplication adopts the environment's locale; numbers in our files never follow it.
    std::setlocale(LC_NUMERIC, "C");
    QApplication::setApplicationName(QStringLiteral("Kestrix"));
    QGuiApplication::setDesktopFileName(QStringLiteral("kestrix"));
    // Qt's own dialog texts in the user's language; English where Qt has no translation for it.
    kestrix::ui::installQtTranslations(app, QLocale::system());

    kestrix::platform::QtPlatformUi ui;
    kestrix::platform::StdTextFiles files;
    kestrix::platform::SystemClock clock;
    kestrix::platform::SndfileSoundFiles sounds;
    kestrix::ui::KestrixWindow window(ui, files, clock, sounds);
    ui.setParentWindow(&window);
    window.show();
    return QApplication::exec();
}
