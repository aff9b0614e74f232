// TForm1's capture commands and their start-up steps: thin forwards into src/capture/.
#include "app/main_form.h"

#include "app/menu_painter.h"
#include "app/settings_file.h"
#include "app/settings_keys.h"
#include "capture/avi_writer.h"
#include "capture/chart_preview.h"
#include "capture/codec_menu.h"

namespace sky {

void TForm1::CreateAviWriter() { aviWriter = std::make_unique<TAviWriter>(); }

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

// Not built yet: screenshots and recording. Each function below is the seam where its feature
// plugs in; until then the command does nothing.
void TForm1::FinishRecordingOnClose() {}
void TForm1::Image4Click() {}
void TForm1::reccClick() {}

// The popup menu and every submenu (Options, Codec) in the program's own look; the tray opens
// the same menu.
void TForm1::AttachMenuPainter() { SharedMenuPainter().AttachMenu(pm1); }

// Print preview (F8): the chart loses its background gradient for good, then the modal preview.
void TForm1::Image2Click() { ShowChartPreview(*ch, this, pluginsDir); }

} // namespace sky
