#include "capture/codec_menu.h"

#include <QAction>
#include <QActionGroup>
#include <QMenu>

namespace sky {

QString CodecFromCaption(const QString &caption) {
    QString code = caption;
    code.remove(QLatin1Char('&'));
    code = code.left(4);
    return code == QLatin1String("No C") ? QString() : code;
}

QString RestoreCodecChoice(const std::optional<QString> &stored, const QStringList &compressors,
                           const QString &current) {
    if (!stored)
        return current;
    // "No C", the first item's caption, is what its click stored once: uncompressed, as the menu shows.
    const QString code = CodecFromCaption(stored->left(4));
    if (code.isEmpty())
        return code;
    for (int i = 1; i < compressors.size(); ++i)
        if (compressors[i].left(4).compare(code, Qt::CaseInsensitive) == 0)
            return compressors[i].left(4);
    return current;
}

void FillCodecMenu(QMenu *codec, const QStringList &compressors, const QString &codecFourCC,
                   const std::function<void(QAction *)> &onClick) {
    auto *group = new QActionGroup(codec);
    group->setExclusionPolicy(QActionGroup::ExclusionPolicy::Exclusive);
    QList<QAction *> items;
    bool matched = false;
    for (const QString &entry : compressors) {
        // "&" in a code would read as an accelerator mark; doubled, it shows as itself.
        QString caption = entry.left(4);
        caption.replace(QLatin1Char('&'), QLatin1String("&&"));
        auto *item = new QAction(caption, codec);
        item->setCheckable(true);
        item->setActionGroup(group);
        const bool match = CodecFromCaption(entry.left(4)).compare(codecFourCC, Qt::CaseInsensitive) == 0;
        if (match && !matched) {
            item->setChecked(true);
            matched = true;
        }
        QObject::connect(item, &QAction::triggered, codec, [item, onClick] {
            if (onClick)
                onClick(item);
        });
        codec->addAction(item);
        items.append(item);
    }
    if (!matched && items.size() > 1)
        items[1]->setChecked(true);
}

void CodecMenuClick(QAction *item, QString &codecFourCC, const std::function<void(const QString &)> &saveCodec) {
    if (!item)
        return;
    codecFourCC = CodecFromCaption(item->text());
    if (saveCodec)
        saveCodec(codecFourCC);
}

} // namespace sky
