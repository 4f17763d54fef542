#include "preview/songtitle.h"

#include <QFile>
#include <QStringDecoder>

#include <fileref.h>
#include <infotag.h>
#include <tag.h>
#include <tfilestream.h>
#include <wavfile.h>

namespace SongTitle {

namespace {

QString fromTagLib(const TagLib::String &text)
{
    return QString::fromStdWString(text.toWString()).trimmed();
}

// A RIFF INFO chunk says nothing of its encoding, and most programs now write UTF-8 there.
// TagLib reads it as UTF-8 (1.13), or as Latin-1, which keeps every byte: text beyond
// Latin-1 was read as UTF-8 already, and cut to its low bytes it would be lost.
QString fromInfo(const TagLib::String &text)
{
    if (!text.isLatin1())
        return fromTagLib(text);
    const TagLib::ByteVector bytes = text.data(TagLib::String::Latin1);
    const QByteArray raw(bytes.data(), int(bytes.size()));
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString decoded = utf8(raw);
    return (utf8.hasError() ? QString::fromLatin1(raw) : decoded).trimmed();
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
    Names names{fromTagLib(file.tag()->title()), fromTagLib(file.tag()->artist())};
    // A WAV file's tag is its ID3v2 chunk; its INFO chunk (INAM, IART) names it where that does not.
    if (auto *wav = dynamic_cast<TagLib::RIFF::WAV::File *>(file.file()); wav && wav->hasInfoTag()) {
        if (names.title.isEmpty())
            names.title = fromInfo(wav->InfoTag()->title());
        if (names.artist.isEmpty())
            names.artist = fromInfo(wav->InfoTag()->artist());
    }
    return names;
}

} // namespace SongTitle
