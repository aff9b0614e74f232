// TForm1's capture commands and their start-up steps: thin forwards into src/capture/.
#include "app/main_form.h"

#include "app/menu_painter.h"
#include "capture/chart_preview.h"

namespace sky {

// Not built yet: the AVI writer, the codec menu, screenshots and recording. Each function below is
// the seam where its feature plugs in; until then the command does nothing.
void TForm1::CreateAviWriter() {}
void TForm1::FillCodecMenu() {}
void TForm1::FinishRecordingOnClose() {}
void TForm1::Image4Click() {}
void TForm1::reccClick() {}

// The popup menu and every submenu (Options, Codec) in the program's own look; the tray opens
// the same menu.
void TForm1::AttachMenuPainter() { SharedMenuPainter().AttachMenu(pm1); }

// Print preview (F8): the chart loses its background gradient for good, then the modal preview.
void TForm1::Image2Click() { ShowChartPreview(*ch, this, pluginsDir); }

} // namespace sky
