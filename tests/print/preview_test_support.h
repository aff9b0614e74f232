#pragma once
// Shared by the print preview tests: the application object, a small chart with a trace, and a
// way to drive a modal window from a single-shot timer.
#include "chart/chart.h"
#include "chart/series.h"

#include <QApplication>
#include <QTimer>

#include <functional>

// gtest_main owns main(): the application is created on first use and lives until the end.
inline void EnsurePreviewApp() {
    if (QApplication::instance()) return;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char arg0[] = "test_print";
    static char *argv[] = {arg0, nullptr};
    new QApplication(argc, argv); // deliberately never deleted
}

struct PreviewAppFirst {
    PreviewAppFirst() { EnsurePreviewApp(); }
};

// A 2D chart named "ch" of the given size with one red fast line of n points (a sine).
struct PreviewChart : PreviewAppFirst {
    TFastLineSeries trace; // outlives the chart, which lets it go when destroyed
    TChart chart;
    PreviewChart(int width, int height, int points);
};

// Runs `act` on the active modal window once it is up (polling every 10 ms for up to 5 s).
void WhenModal(std::function<void(QWidget *)> act);
