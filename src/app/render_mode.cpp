#include "app/render_mode.h"

#include "app/main_form.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>

namespace sky {

namespace {

void settle() {
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents();
}

} // namespace

int RunRender(const CommandLine &cl, FILE *out, FILE *err) {
    StartOptions options;
    options.pluginsDir = cl.pluginsDir;
    options.renderOnly = true;
    TForm1 form(options);
    form.setAttribute(Qt::WA_DontShowOnScreen);
    form.resize(cl.width, cl.height);
    form.show();
    settle();

    bool allOk = true;
    QByteArray bytes;
    for (const QString &name : cl.files) {
        QJsonObject line;
        line.insert(QStringLiteral("file"), name);
        bool ok = false;
        // The window's own loader; an unreadable file fails like an empty one.
        if (QFileInfo(name).isFile() && LoadSweepFile(name, bytes)) {
            form.AssembleSweep(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
            ok = form.LastSweep().ok;
        } else {
            form.AssembleSweep({});
        }
        // One pass of the window: the chart redraws, the waterfall lines up with the trace.
        form.ch->repaint();
        form.UpdateViewAfterPass();
        settle();

        const auto &sweep = form.LastSweep();
        line.insert(QStringLiteral("ok"), ok);
        line.insert(QStringLiteral("values"), static_cast<double>(sweep.values));
        line.insert(QStringLiteral("bins"), form.spectrum.sweepSeries.PointCount());
        line.insert(QStringLiteral("noise_db"), ok ? QJsonValue(sweep.noiseDb) : QJsonValue());
        line.insert(QStringLiteral("max_hz"), ok ? QJsonValue(sweep.maxHz) : QJsonValue());
        line.insert(QStringLiteral("max_db"), ok ? QJsonValue(sweep.maxDb) : QJsonValue());
        line.insert(QStringLiteral("peaks"), form.spectrum.Series4.PointCount());
        line.insert(QStringLiteral("step"), sweep.step);
        const QByteArray json = QJsonDocument(line).toJson(QJsonDocument::Compact);
        std::fprintf(out, "%s\n", json.constData());
        std::fflush(out);
        allOk = allOk && ok;
    }

    form.ch->repaint();
    form.UpdateViewAfterPass();
    settle();
    const QImage picture = form.grab().toImage();
    if (!picture.save(cl.renderOutput, "PNG")) {
        std::fprintf(err, "skyvane: cannot write %s\n", QFile::encodeName(cl.renderOutput).constData());
        return 2;
    }
    return allOk ? 0 : 1;
}

} // namespace sky
