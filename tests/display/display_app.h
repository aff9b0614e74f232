#pragma once
// The application object the display tests draw with (fonts, painters).
#include <QApplication>

inline QApplication &app() {
    static int argc = 1;
    static char name[] = "display-tests";
    static char *argv[] = {name, nullptr};
    static QApplication *a = new QApplication(argc, argv);
    return *a;
}
