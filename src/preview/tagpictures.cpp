#include "preview/tagpictures.h"

#include <QMimeDatabase>
#include <QString>

#include <apetag.h>
#include <aifffile.h>
#include <flacfile.h>
#include <mp4file.h>
#include <mpegfile.h>
#include <wavfile.h>
#include <xiphcomment.h>

namespace TagPictures {

namespace {

using namespace TagLib;
using PictureType = ID3v2::AttachedPictureFrame::Type;

QList<Picture> apicPictures(const ID3v2::Tag &tag)
{
    QList<Picture> pictures;
    for (ID3v2::Frame *frame : tag.frameList("APIC")) {
        if (const auto *apic = dynamic_cast<const ID3v2::AttachedPictureFrame *>(frame))
            pictures.append({apic->picture(), apic->mimeType(), apic->type(), apic->description()});
    }
    return pictures;
}

QList<Picture> flacPictures(const List<FLAC::Picture *> &list)
{
    QList<Picture> pictures;
    for (const FLAC::Picture *picture : list) // FLAC numbers its picture types as ID3v2 does
        pictures.append({picture->data(), picture->mimeType(), PictureType(picture->type()), picture->description()});
    return pictures;
}

// MP4 keeps its cover art as images of a known format, without kind or description.
QList<Picture> mp4Pictures(const MP4::CoverArtList &list)
{
    QList<Picture> pictures;
    for (const MP4::CoverArt &art : list) {
        const String mimeType = art.format() == MP4::CoverArt::PNG  ? "image/png"
                                : art.format() == MP4::CoverArt::BMP ? "image/bmp"
                                : art.format() == MP4::CoverArt::GIF ? "image/gif"
                                                                     : "image/jpeg";
        pictures.append({art.data(), mimeType, PictureType::FrontCover, String()});
    }
    return pictures;
}

// APEv2 keeps a picture as a binary item "Cover Art (Front)" and the like: a file name, a
// zero byte, the image; its kind is read from its bytes.
QList<Picture> apePictures(const APE::Tag &tag)
{
    QList<Picture> pictures;
    for (const auto &item : tag.itemListMap()) {
        const String key = item.first.upper();
        const ByteVector value = item.second.binaryData();
        const int nameEnd = value.find('\0');
        if (item.second.type() != APE::Item::Binary || !key.startsWith("COVER ART (") || nameEnd < 0)
            continue;
        Picture picture;
        picture.data = value.mid(nameEnd + 1);
        picture.description = String(value.mid(0, nameEnd), String::UTF8);
        const QByteArray image = QByteArray::fromRawData(picture.data.data(), int(picture.data.size()));
        picture.mimeType = QStringToTString(QMimeDatabase().mimeTypeForData(image).name());
        picture.type = key == "COVER ART (FRONT)" ? PictureType::FrontCover
                       : key == "COVER ART (BACK)" ? PictureType::BackCover
                                                   : PictureType::Other;
        pictures.append(picture);
    }
    return pictures;
}

} // namespace

ID3v2::Tag *Id3v2Of(File &source)
{
    if (auto *mpeg = dynamic_cast<MPEG::File *>(&source))
        return mpeg->hasID3v2Tag() ? mpeg->ID3v2Tag() : nullptr;
    if (auto *wav = dynamic_cast<RIFF::WAV::File *>(&source))
        return wav->hasID3v2Tag() ? wav->ID3v2Tag() : nullptr;
    if (auto *aiff = dynamic_cast<RIFF::AIFF::File *>(&source))
        return aiff->hasID3v2Tag() ? aiff->tag() : nullptr;
    return nullptr;
}

QList<Picture> PicturesOf(File &source)
{
    if (const ID3v2::Tag *tag = Id3v2Of(source))
        return apicPictures(*tag);
    if (auto *mpeg = dynamic_cast<MPEG::File *>(&source))
        return mpeg->hasAPETag() ? apePictures(*mpeg->APETag()) : QList<Picture>();
    if (auto *flac = dynamic_cast<FLAC::File *>(&source)) // in blocks of their own, or among the comments
        return flacPictures(flac->pictureList())
               + (flac->hasXiphComment() ? flacPictures(flac->xiphComment()->pictureList()) : QList<Picture>());
    if (auto *xiph = dynamic_cast<Ogg::XiphComment *>(source.tag()))
        return flacPictures(xiph->pictureList());
    if (auto *mp4 = dynamic_cast<MP4::File *>(&source); mp4 && mp4->hasMP4Tag())
        return mp4Pictures(mp4->tag()->item("covr").toCoverArtList());
    return {};
}

void AddPictures(ID3v2::Tag &tag, const QList<Picture> &pictures)
{
    for (const Picture &picture : pictures) {
        auto *frame = new ID3v2::AttachedPictureFrame;
        frame->setTextEncoding(String::UTF8); // becomes UTF-16 in ID3v2.3
        frame->setPicture(picture.data);
        frame->setMimeType(picture.mimeType);
        frame->setType(picture.type);
        frame->setDescription(picture.description);
        tag.addFrame(frame);
    }
}

} // namespace TagPictures
