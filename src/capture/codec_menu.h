#pragma once
// The Options > "Codec" submenu: one radio item per entry of the compressor list, captioned with
// its 4-character code ("No C" for "No Compression"); a click stores the code at once.
//
// Start-up (main window):
//   QStringList list;  aviWriter->GetCompressorList(list);
//   flags.codecFourCC = RestoreCodecChoice(storedCodecOrNullopt, list, flags.codecFourCC);
//   FillCodecMenu(codec, list, flags.codecFourCC, [this](QAction *a) { CodecMenuClick(a); });
// Click (main window's CodecMenuClick):
//   sky::CodecMenuClick(item, flags.codecFourCC, [this](const QString &c) { save "Codec=" + c });
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class QAction;
class QMenu;

namespace sky {

// The code an item caption stands for: every "&" removed, the first 4 characters, and empty for
// the "No C" item (an uncompressed recording).
QString CodecFromCaption(const QString &caption);

// The codec setting at start-up: the stored "Codec" value when it is empty or names a listed
// compressor (compared case-insensitively, taken in the list's spelling), else `current`.
// `stored` is empty (nullopt) when the settings hold no "Codec" key.
QString RestoreCodecChoice(const std::optional<QString> &stored, const QStringList &compressors,
                           const QString &current);

// Appends one checkable, mutually exclusive item per list entry to `codec`. The item matching
// `codecFourCC` is checked (the first one for an empty code); when none matches, the second one
// (the first compressor) is checked, if there is one. Each item's click calls `onClick`.
void FillCodecMenu(QMenu *codec, const QStringList &compressors, const QString &codecFourCC,
                   const std::function<void(QAction *)> &onClick);

// Click on a codec item: codecFourCC := the item's code, then `saveCodec(codecFourCC)` writes
// "Codec=" + code to the settings file at once.
void CodecMenuClick(QAction *item, QString &codecFourCC, const std::function<void(const QString &)> &saveCodec);

} // namespace sky
