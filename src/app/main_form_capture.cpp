// TForm1's capture commands and their start-up steps: thin forwards into src/capture/.
#include "app/main_form.h"

#include "app/application.h"
#include "app/menu_painter.h"
#include "app/settings_file.h"
#include "app/settings_keys.h"
#include "app/tray.h"
#include "capture/avi_writer.h"
#include "print/chart_preview.h"
#include "capture/codec_menu.h"
#include "capture/recording_session.h"
#include "capture/window_capture.h"
#include "platform/error.h"
#include "platform/platform.h"

#include <QAction>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cstdio>
#include <utility>

namespace sky {

void TForm1::CreateAviWriter() {
    TRecordingController::Hooks h;
    h.capture = [this] {
        // The first frame of a recording started from the menu: as for a screenshot.
        CaptureWindow(this, videoFrameBitmap, std::exchange(menuAreasForNextFrame_, {}));
        return videoFrameBitmap;
    };
    h.notice = [this](const QString &text) {
        if (tray)
            tray->ShowBalloon(1, text);
    };
    h.error = [](const QString &message) { ShowError(message); };
    h.status = [this](const QString &text) { ShowSavingStatus(text); };
    h.stopped = [this] { // the disk refused a frame: the recording is over
        tavi->stop();
        flags.recordingActive = false;
    };
    h.ticks = [this] { return NowTicks(); };
    recorder = std::make_unique<TRecordingController>(this, std::move(h));
}

// Options > Codec lists the compressors this build has; the stored choice comes back when it is
// still listed (or empty: uncompressed).
void TForm1::FillCodecMenu() {
    QStringList compressors;
    aviWriter().GetCompressorList(compressors);
    std::optional<QString> stored;
    if (settings->HasKey(key::Codec))
        stored = settings->Value(key::Codec);
    flags.codecFourCC = RestoreCodecChoice(stored, compressors, flags.codecFourCC);
    sky::FillCodecMenu(codec, compressors, flags.codecFourCC, [this](QAction *a) { CodecMenuClick(a); });
}

void TForm1::CodecMenuClick(QAction *item) {
    sky::CodecMenuClick(item, flags.codecFourCC, [this](const QString &code) {
        settings->SetValueKeepingKey(key::Codec, code);
        settings->Save();
    });
}

QString TForm1::NowName() const {
    return TimeStampNow ? TimeStampNow() : TimeStampName(QLocale::system(), QTime::currentTime());
}

std::uint32_t TForm1::NowTicks() const {
    return TickNow ? TickNow() : TickCount();
}

// Screenshot (F6): the whole window as the screen shows it, saved as NAME.bmp in the plugins
// folder. A file that cannot be written reaches the message box and no notice is shown.
void TForm1::Image4Click() {
    // From the popup menu: the menu has just closed, and the screen may still show it until the
    // window has repainted the area; that area comes from the window's own rendering.
    CaptureWindow(this, ScreenshotBitmap, ClosedMenuAreas());
    // A name of its own: yesterday's shot at this time, or one a moment ago, stays.
    const QString name = FreeFileName(pluginsDir, NowName(), QStringLiteral(".bmp"));
    SaveBitmapFile(ScreenshotBitmap, pluginsDir + name);
    if (tray)
        tray->ShowBalloon(1, QStringLiteral("Save...  ") + NoticePath(pluginsDir, name));
}

// Recording (F7) toggles: the start opens NAME.avi and starts the frame timer; the stop hands
// the file's completion to the recording's own thread.
QList<QRect> TForm1::ClosedMenuAreas() const {
    QList<QRect> areas;
    if (qobject_cast<QAction *>(sender()))
        for (const QMenu *m : {pm1, Options1, codec})
            areas << m->frameGeometry();
    return areas;
}

void TForm1::reccClick() {
    menuAreasForNextFrame_ = ClosedMenuAreas();
    flags.recordingActive = !flags.recordingActive;
    if (flags.recordingActive)
        StartRecording();
    else
        StopRecording();
}

void TForm1::StartRecording() {
    if (!recorder)
        CreateAviWriter(); // start-up stopped before it was made
    RecordingRequest request;
    request.folder = pluginsDir;
    request.baseName = NowName();
    request.codec = flags.codecFourCC;
    request.size = frameGeometry().size();
    request.frameTimeMs = tavi->interval();
    request.quality = 8000;
    try {
        recorder->Start(request);
    } catch (...) {
        // A failed start leaves nothing running, so the next F7 starts afresh.
        flags.recordingActive = false;
        throw;
    }
    recordBaseName = recorder->BaseName();
    tavi->start();
}

void TForm1::StopRecording() {
    tavi->stop();
    if (recorder)
        recorder->Stop();
}

void TForm1::taviTimer() {
    if (recorder)
        recorder->Tick();
}

// Closing: the active recording stops as F7 would, and every file still being completed gets
// its frames and index before the window goes (a slow compressor's queue is cut short after
// ten seconds, its frames written as repeats).
void TForm1::FinishRecordingOnClose() {
    if (tavi->isActive()) {
        flags.recordingActive = true;
        reccClick();
    }
    if (!recorder)
        return;
    const QStringList said = recorder->Close(10000);
    if (said.isEmpty())
        return;
    for (const QString &line : said)
        std::fprintf(stderr, "skyvane: %s\n", qPrintable(line));
    if (!terminating_)
        ShowError(said.join(QLatin1Char('\n')));
}

void TForm1::ShowSavingStatus(const QString &text) {
    savingText_ = text;
    refreshStatusPanel();
}

void TForm1::TerminationRequested() {
    terminating_ = true;
    close();
}

// The popup menu and every submenu (Options, Codec) in the program's own look; the tray opens
// the same menu.
void TForm1::AttachMenuPainter() {
    SharedMenuPainter().AttachMenu(pm1);
}

// Print preview (F8): the chart loses its background gradient for good, then the modal preview.
void TForm1::Image2Click() {
    ShowChartPreview(*ch, this, pluginsDir);
}

} // namespace sky
