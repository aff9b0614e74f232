#include "app/render_mode.h"

#include "app/main_form.h"
#include "chart/pixel_surface.h"
#include "scan/sweep_split.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <memory>

namespace sky {

namespace {

constexpr int kMaxRenderHeight = 8192;

void settle() {
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents();
}

// Grows the window until the waterfall image holds `rows` rows (one pixel each, under the black
// top row), keeping the chart at its height. Stops at the largest picture allowed.
void fitWaterfallRows(TForm1 &form, int rows) {
    const int chartHeight = form.ch->height();
    for (int attempt = 0; attempt < 4; ++attempt) {
        const int missing = rows + 1 - form.img2->height();
        if (missing <= 0 || form.height() >= kMaxRenderHeight)
            return;
        const int target = std::min(kMaxRenderHeight, form.height() + missing);
        const int splitter = form.Splitter1->height() + (target - form.height()) - form.Splitter1->handleWidth();
        if (splitter > 0)
            form.chartShare = static_cast<double>(chartHeight) / splitter;
        form.resize(form.width(), target);
        settle();
    }
}

} // namespace

bool RenderInto(TForm1 &form, const CommandLine &cl, FILE *out) {
    form.setAttribute(Qt::WA_DontShowOnScreen);
    form.resize(cl.width, cl.height);
    form.show();
    settle();

    if (cl.autoHeight) {
        // Every sweep of every file gets its row (rows of another range are cleared on the way,
        // as in the window, and leave black rows at the bottom).
        qint64 rows = 0;
        for (const QString &name : cl.files)
            rows += CountCaptureSweeps(name);
        fitWaterfallRows(form, static_cast<int>(std::min<qint64>(rows, kMaxRenderHeight)));
    }
    // Waterfall bitmaps of the picture's size, not the screen's: a picture wider or taller than
    // the screen keeps one pixel per row and per column.
    form.waterfall = std::make_unique<TWaterfall>(form.size());
    form.waterfall->SetImage(form.img2);
    form.ApplyWaterfallOptions();
    // The automatic waterfall range is renewed at most once a second of the capture, not of the
    // rendering, which reads days in seconds: each sweep counts as a second.
    auto sweepClock = std::make_shared<qint64>(0);
    form.waterfall->clockMs = [sweepClock] { return *sweepClock * 1000; };
    form.FormResize();
    // Rows go straight to their place in the picture: one history move for all of them.
    form.waterfall->BeginBatch();

    bool allOk = true;
    TraceLayout layout; // of the sweep shown: the trace and the waterfall's place depend on it
    CaptureReader reader; // a piece of a file at a time: a capture's text is never held whole
    SweepParser parser;
    parser.SetCompactPoints(true);
    for (const QString &name : cl.files) {
        QJsonObject line;
        line.insert(QStringLiteral("file"), name);
        int sweeps = 0;
        QString error;
        std::size_t firstLine = 0;
        if (!reader.Open(name, error)) {
            form.AssembleSweep({}); // fails like an empty file
        } else if (!reader.NextSweep(&parser, &form.SweepBeingRead(), firstLine)) {
            form.AssembleSweep({});
            error = QStringLiteral("no value");
        } else {
            do {
                ++*sweepClock;
                form.AssembleReadSweep();
                if (!form.LastSweep().ok) {
                    error = SweepFailureText(form.SweepBeingRead(), firstLine);
                    break;
                }
                // A sweep of a new range or bin layout: one pass of the window, so the chart
                // redraws and the waterfall lines up with the trace before more rows are drawn.
                const TraceLayout now = TraceLayout::Of(form.spectrum.sweepSeries);
                if (now != layout) {
                    layout = now;
                    const QRect place = form.img2->geometry();
                    form.ch->repaint();
                    form.UpdateViewAfterPass();
                    if (form.img2->geometry() != place) {
                        // Its row was drawn at the old width, and the history holds only that row
                        // (a new layout clears it): draw it again.
                        form.waterfall->Clear();
                        form.RedrawWaterfallRow();
                    }
                }
                ++sweeps;
            } while (reader.NextSweep(&parser, &form.SweepBeingRead(), firstLine));
        }
        form.ch->repaint();
        form.UpdateViewAfterPass();
        settle();

        const bool ok = error.isEmpty();
        const auto &sweep = form.LastSweep();
        line.insert(QStringLiteral("ok"), ok);
        line.insert(QStringLiteral("sweeps"), sweeps);
        if (!ok)
            line.insert(QStringLiteral("error"), error);
        line.insert(QStringLiteral("values"), static_cast<double>(sweep.values));
        line.insert(QStringLiteral("bins"), form.spectrum.sweepSeries.PointCount());
        line.insert(QStringLiteral("noise_db"), ok ? QJsonValue(sweep.noiseDb) : QJsonValue());
        line.insert(QStringLiteral("max_hz"), ok ? QJsonValue(sweep.maxHz) : QJsonValue());
        line.insert(QStringLiteral("max_db"), ok ? QJsonValue(sweep.maxDb) : QJsonValue());
        line.insert(QStringLiteral("peaks"), form.spectrum.Series4.PointCount());
        line.insert(QStringLiteral("step"), sweep.step);
        if (ok && sweep.averaged)
            line.insert(QStringLiteral("average"), form.average_.Count());
        if (const TForm1::MarkerReadout m = form.Markers(); ok && m.band) {
            line.insert(QStringLiteral("band_power_db"), m.band->db);
            line.insert(QStringLiteral("band_bins"), static_cast<double>(m.band->bins));
        }
        const QByteArray json = QJsonDocument(line).toJson(QJsonDocument::Compact);
        std::fprintf(out, "%s\n", json.constData());
        std::fflush(out);
        allOk = allOk && ok;
    }

    form.waterfall->EndBatch();
    form.ch->repaint();
    form.UpdateViewAfterPass();
    settle();
    return allOk;
}

int RunRender(const CommandLine &cl, FILE *out, FILE *err) {
    StartOptions options;
    options.pluginsDir = cl.pluginsDir;
    options.renderOnly = true;
    // One picture, drawn a few times at most: the chart's pixel rows are not kept beside the
    // levels (two bytes a value) for repaints that will not come.
    struct RowsNotKept {
        RowsNotKept() { SetPixelRowsKept(false); }
        ~RowsNotKept() { SetPixelRowsKept(true); }
    } rowsNotKept;
    TForm1 form(options);
    const bool allOk = RenderInto(form, cl, out);
    const QImage picture = form.grab().toImage();
    if (!picture.save(cl.renderOutput, "PNG")) {
        std::fprintf(err, "skyvane: cannot write %s\n", QFile::encodeName(cl.renderOutput).constData());
        return 2;
    }
    // After the picture: a trace that cannot be written does not cost the picture.
    if (!cl.traceCsv.isEmpty()) {
        QString error;
        if (!form.SaveTraceCsv(cl.traceCsv, error)) {
            std::fprintf(err, "skyvane: %s\n", error.toLocal8Bit().constData());
            return 2;
        }
    }
    return allOk ? 0 : 1;
}

} // namespace sky
