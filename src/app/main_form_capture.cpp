// TForm1's capture commands and their start-up steps: thin forwards into src/capture/.
#include "app/main_form.h"

#include "app/application.h"
#include "app/menu_painter.h"
#include "app/settings_file.h"
#include "app/settings_keys.h"
#include "app/tray.h"
#include "capture/avi_writer.h"
#include "capture/chart_preview.h"
#include "capture/codec_menu.h"
#include "capture/recording_session.h"
#include "capture/window_capture.h"
#include "platform/error.h"
#include "platform/platform.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <utility>

namespace sky {

void TForm1::CreateAviWriter() {
    aviWriter = std::make_unique<TAviWriter>();
}

// Options > Codec lists the compressors this build has; the stored choice comes back when it is
// still listed (or empty: uncompressed).
void TForm1::FillCodecMenu() {
    QStringList compressors;
    aviWriter->GetCompressorList(compressors);
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
    CaptureWindow(this, ScreenshotBitmap);
    const QString name = NowName() + QStringLiteral(".bmp");
    SaveBitmapFile(ScreenshotBitmap, pluginsDir + name);
    if (tray)
        tray->ShowBalloon(1, QStringLiteral("Save...  ") + NoticePath(pluginsDir, name));
}

// Recording (F7) toggles: the start opens NAME.avi and starts the frame timer; the stop hands
// the file's completion to the recording's own thread.
void TForm1::reccClick() {
    flags.recordingActive = !flags.recordingActive;
    if (flags.recordingActive)
        StartRecording();
    else
        StopRecording();
}

void TForm1::StartRecording() {
    if (!aviWriter)
        aviWriter = std::make_unique<TAviWriter>(); // start-up stopped before it was made
    TAviWriter &w = *aviWriter;
    QString opening; // the file InitVideo was asked to create
    // A failed start leaves nothing running, so the next F7 starts afresh. A file the failed
    // start created is removed; one the writer could not delete is the user's and stays.
    const auto failed = [&](bool keepFile) {
        flags.recordingActive = false;
        if (!opening.isEmpty() && !keepFile && QFileInfo::exists(opening))
            QFile::remove(opening);
    };
    try {
        // Probed at the previous recording's frame size, before the new one is set.
        w.SetCompression(flags.codecFourCC);
        recordBaseName = NowName();
        w.filename = pluginsDir + recordBaseName + QStringLiteral(".avi");
        const QFileInfo target(w.filename);
        w.TempFileName = target.path() + QStringLiteral("/~AWTemp") + target.fileName();
        const QRect frame = frameGeometry();
        w.Width = frame.width();
        w.Height = frame.height();
        w.FrameTime = tavi->interval();
        w.Stretch = false;
        w.DirectCompression = true;
        w.Quality = 8000;
        opening = w.filename;
        w.InitVideo();
    } catch (const Error &e) {
        failed(e.text().startsWith(QStringLiteral("Could not delete ")));
        throw;
    } catch (...) {
        failed(false);
        throw;
    }
    recordStartTicks = NowTicks();
    recordingFrames = 0;
    recordingLateTicks = 0;

    // The recording keeps this writer until its file is complete; the next one starts with a
    // fresh writer of the same settings.
    auto writer = std::move(aviWriter);
    aviWriter = std::make_unique<TAviWriter>();
    aviWriter->Width = writer->Width;
    aviWriter->Height = writer->Height;
    aviWriter->FrameTime = writer->FrameTime;
    aviWriter->Stretch = writer->Stretch;
    aviWriter->DirectCompression = writer->DirectCompression;
    aviWriter->Quality = writer->Quality;
    aviWriter->SetPixelFormat(writer->PixelFormat());

    auto run = std::make_unique<RecordingRun>();
    run->baseName = recordBaseName;
    TRecordingSession::Callbacks calls;
    // Runs queued on the window thread: the writer's error goes to the message box.
    calls.frameError = [](const QString &message) { throw Error(message); };
    calls.drainProgress = [this](int pending) {
        statusText.set(QStringLiteral("Saving video... %1 frames left").arg(pending));
    };
    const int capacity = std::max(1, 1000 / std::max(1, tavi->interval())); // about a second
    calls.finished = [this, id = run.get()](const QString &error) { RecordingFinished(id, error); };
    run->session = std::make_unique<TRecordingSession>(std::move(writer), capacity, this, std::move(calls));
    activeRecording_ = run->session.get();
    recordings_.push_back(std::move(run));

    tavi->start();
    if (tray)
        tray->ShowBalloon(1, QStringLiteral("Recording the Spectrum..."));
}

void TForm1::StopRecording() {
    tavi->stop();
    const std::uint32_t seconds = ElapsedSeconds(recordStartTicks, NowTicks());
    TRecordingSession *session = std::exchange(activeRecording_, nullptr);
    if (!session)
        return;
    for (auto &run : recordings_)
        if (run->session.get() == session)
            run->seconds = seconds;
    if (const int pending = session->Pending())
        statusText.set(QStringLiteral("Saving video... %1 frames left").arg(pending));
    session->Finish(); // the notice follows when the file is complete
}

// `id` only identifies the recording: it may have been reported and freed already.
void TForm1::RecordingFinished(const RecordingRun *id, const QString &error) {
    auto it = std::find_if(recordings_.begin(), recordings_.end(), [id](const auto &run) { return run.get() == id; });
    if (it == recordings_.end())
        return; // already reported
    const std::unique_ptr<RecordingRun> run = std::move(*it);
    recordings_.erase(it);
    if (statusText.get().startsWith(QStringLiteral("Saving video...")))
        statusText.set(QString());
    if (!error.isEmpty())
        throw Error(error);
    if (tray)
        tray->ShowBalloon(
            1, QStringLiteral("Save...  ") + NoticePath(pluginsDir, run->baseName + QStringLiteral(".avi")) +
                   QStringLiteral("\nTime record... ") + QString::number(run->seconds) + QStringLiteral(" sec"));
}

void TForm1::taviTimer() {
    TRecordingSession *session = activeRecording_;
    if (!session)
        return;
    // A full queue: this tick captures nothing, the frames already taken all get written.
    if (!session->HasRoom()) {
        ++recordingLateTicks;
        return;
    }
    CaptureWindow(this, videoFrameBitmap);
    if (session->TryAdd(videoFrameBitmap))
        ++recordingFrames;
}

// The window is closing while recording: stop as F7 would, and wait until every file is complete
// (at most the frames queued), so nothing is left half-written.
void TForm1::FinishRecordingOnClose() {
    flags.recordingActive = true;
    reccClick();
    while (!recordings_.empty()) {
        const RecordingRun *run = recordings_.front().get();
        run->session->Wait();
        try {
            RecordingFinished(run, run->session->CompletionError());
        } catch (const Error &e) {
            ShowError(e.text());
        }
    }
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
