#include "preview_test_support.h"

#include "chart/series.h"

#include <cmath>
#include <memory>
#include <vector>

PreviewChart::PreviewChart(int width, int height, int points) {
    chart.setObjectName(QStringLiteral("ch"));
    chart.resize(width, height);
    chart.SetView3D(false);
    chart.SetBevelWidth(0);
    chart.Legend().SetVisible(false);
    std::vector<double> x(points), y(points);
    for (int i = 0; i < points; ++i) {
        x[i] = i;
        y[i] = std::sin(i * 6.283 / std::max(1, points / 4)) * 40.0 - 50.0;
    }
    trace.SetSeriesColor(clRed);
    chart.AddSeries(&trace);
    trace.AppendPoints(x.data(), y.data(), points, clRed);
}

void WhenModal(std::function<void(QWidget *)> act) {
    auto *timer = new QTimer;
    auto tries = std::make_shared<int>(0);
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, act, tries] {
        QWidget *w = QApplication::activeModalWidget();
        if (!w && ++*tries < 500) return;
        timer->stop();
        timer->deleteLater();
        if (w) act(w);
    });
    timer->start();
}
