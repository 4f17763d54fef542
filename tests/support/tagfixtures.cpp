#include "tagfixtures.h"

#include <QFile>

#include <attachedpictureframe.h>
#include <fileref.h>
#include <flacfile.h>
#include <id3v1tag.h>
#include <id3v2tag.h>
#include <mp4file.h>
#include <mp4tag.h>
#include <mpegfile.h>
#include <wavfile.h>
#include <xiphcomment.h>

namespace TagFixtures {

namespace {

using namespace TagLib;

Text textOf(const PropertyMap &properties)
{
    Text text;
    for (const auto &property : properties) {
        QStringList values;
        for (const String &value : property.second)
            values.append(TStringToQString(value));
        text.insert(TStringToQString(property.first), values);
    }
    return text;
}

ByteVector bytesOf(const QByteArray &bytes)
{
    return ByteVector(bytes.constData(), unsigned(bytes.size()));
}

void writeId3v2(ID3v2::Tag &tag, const Text &text, const QByteArray &cover)
{
    tag.setProperties(Properties(text));
    if (!cover.isEmpty()) {
        auto *picture = new ID3v2::AttachedPictureFrame;
        picture->setPicture(bytesOf(cover));
        picture->setMimeType("image/png");
        tag.addFrame(picture);
    }
}

FLAC::Picture *frontCover(const QByteArray &cover)
{
    auto *picture = new FLAC::Picture;
    picture->setData(bytesOf(cover));
    picture->setMimeType("image/png");
    picture->setType(FLAC::Picture::FrontCover);
    return picture;
}

} // namespace

PropertyMap Properties(const Text &text)
{
    PropertyMap properties;
    for (auto entry = text.cbegin(); entry != text.cend(); ++entry) {
        StringList values;
        for (const QString &value : entry.value())
            values.append(QStringToTString(value));
        properties[QStringToTString(entry.key())] = values;
    }
    return properties;
}

QByteArray Cover(char colour)
{
    return QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16) + QByteArray(64, colour);
}

bool Write(const QString &path, const Text &text, const QByteArray &cover, int id3v2Version)
{
    FileRef ref(QFile::encodeName(path).constData(), false);
    const ID3v2::Version version = id3v2Version == 3 ? ID3v2::v3 : ID3v2::v4;
    if (auto *mpeg = dynamic_cast<MPEG::File *>(ref.file())) {
        writeId3v2(*mpeg->ID3v2Tag(true), text, cover);
        return mpeg->save(MPEG::File::ID3v2, File::StripOthers, version);
    }
    if (auto *wav = dynamic_cast<RIFF::WAV::File *>(ref.file())) {
        writeId3v2(*wav->ID3v2Tag(), text, cover);
        return wav->save(RIFF::WAV::File::ID3v2, File::StripOthers, version);
    }
    // FLAC keeps its pictures in blocks of their own, Ogg among the comments.
    if (auto *flac = dynamic_cast<FLAC::File *>(ref.file())) {
        flac->xiphComment(true)->setProperties(Properties(text));
        if (!cover.isEmpty())
            flac->addPicture(frontCover(cover));
        return flac->save();
    }
    if (auto *mp4 = dynamic_cast<MP4::File *>(ref.file())) {
        mp4->tag()->setProperties(Properties(text));
        if (!cover.isEmpty())
            mp4->tag()->setItem("covr", MP4::CoverArtList().append(MP4::CoverArt(MP4::CoverArt::PNG, ByteVector(cover.constData(), uint(cover.size())))));
        return mp4->save();
    }
    if (auto *xiph = dynamic_cast<Ogg::XiphComment *>(ref.isNull() ? nullptr : ref.file()->tag())) {
        xiph->setProperties(Properties(text));
        if (!cover.isEmpty())
            xiph->addPicture(frontCover(cover));
        return ref.save();
    }
    return false;
}

Text Album()
{
    return {{QStringLiteral("ARTIST"), {QStringLiteral("Dvořák")}}, {QStringLiteral("ALBUM"), {QStringLiteral("日本語 🎵")}}};
}

bool WriteAlbumSong(const QString &path, const QString &title)
{
    Text song = Album();
    song.insert(QStringLiteral("TITLE"), {title});
    return Write(path, song, Cover());
}

Tags Read(const QString &path)
{
    Tags tags;
    FileRef ref(QFile::encodeName(path).constData(), false);
    if (ref.isNull())
        return tags;
    tags.text = textOf(ref.file()->properties());
    if (auto *mp4 = dynamic_cast<MP4::Tag *>(ref.file()->tag()); mp4 && mp4->contains("covr")) {
        for (const MP4::CoverArt &cover : mp4->item("covr").toCoverArtList())
            tags.pictures.append(QByteArray(cover.data().data(), int(cover.data().size())));
    }
    if (auto *xiph = dynamic_cast<Ogg::XiphComment *>(ref.file()->tag())) {
        for (const FLAC::Picture *picture : xiph->pictureList())
            tags.pictures.append(QByteArray(picture->data().data(), int(picture->data().size())));
    }
    auto *mpeg = dynamic_cast<MPEG::File *>(ref.file());
    if (mpeg && mpeg->hasID3v1Tag())
        tags.id3v1 = textOf(mpeg->ID3v1Tag()->properties());
    if (!mpeg || !mpeg->hasID3v2Tag())
        return tags;
    tags.id3v2Version = int(mpeg->ID3v2Tag()->header()->majorVersion());
    for (const ID3v2::Frame *frame : mpeg->ID3v2Tag()->frameList()) {
        tags.frames.append(QString::fromLatin1(frame->frameID().data(), int(frame->frameID().size())));
        if (const auto *picture = dynamic_cast<const ID3v2::AttachedPictureFrame *>(frame))
            tags.pictures.append(QByteArray(picture->picture().data(), int(picture->picture().size())));
    }
    return tags;
}

} // namespace TagFixtures
