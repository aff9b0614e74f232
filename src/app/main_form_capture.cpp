// TForm1's capture commands and their start-up steps: thin forwards into src/capture/.
#include "app/main_form.h"

namespace sky {

// Not built yet: the AVI writer, the codec menu, the menu painter, screenshots, recording and the
// print preview. Each function below is the seam where its feature plugs in; until then the
// command does nothing.
void TForm1::CreateAviWriter() {}
void TForm1::FillCodecMenu() {}
void TForm1::AttachMenuPainter() {}
void TForm1::FinishRecordingOnClose() {}
void TForm1::Image4Click() {}
void TForm1::reccClick() {}
void TForm1::Image2Click() {}

} // namespace sky
