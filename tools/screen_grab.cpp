// SPDX-License-Identifier: GPL-3.0-or-later
// Saves what an X display shows as a PNG, for screenshots of the real window under a virtual X server
// where no other grabbing tool is installed (not installed).
//
//   DISPLAY=:57 kestrix_screen_grab shot.png [x y width height]

#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>

#include <cstdlib>
#include <iostream>

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "xcb");
    QGuiApplication app(argc, argv);
    if (argc != 2 && argc != 6) {
        std::cerr << "usage: kestrix_screen_grab OUTPUT.png [x y width height]\n";
        return 2;
    }
    QScreen* screen = QGuiApplication::primaryScreen();
    const QPixmap picture = argc == 6 ? screen->grabWindow(0, std::atoi(argv[2]), std::atoi(argv[3]),
                                                           std::atoi(argv[4]), std::atoi(argv[5]))
                                      : screen->grabWindow(0);
    return picture.save(QString::fromLocal8Bit(argv[1])) ? 0 : 1;
}
