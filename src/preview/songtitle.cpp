#include "preview/songtitle.h"

#include <QFile>

#include <fileref.h>
#include <tag.h>
#include <tfilestream.h>

namespace SongTitle {

namespace {

QString fromTagLib(const TagLib::String &text)
{
    return QString::fromStdWString(text.toWString()).trimmed();
}

} // namespace

Names Read(const QString &path)
{
    TagLib::FileStream stream(QFile::encodeName(path).constData(), true);
    if (!stream.isOpen())
        return {};
    const TagLib::FileRef file(&stream, false);
    if (file.isNull() || !file.tag())
        return {};
    return {fromTagLib(file.tag()->title()), fromTagLib(file.tag()->artist())};
}

} // namespace SongTitle
