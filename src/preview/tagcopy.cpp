#include "preview/tagcopy.h"

#include "platform/main.h"
#include "preview/previewmark.h"

#include <QFile>
#include <QList>
#include <QMimeDatabase>

#include <aifffile.h>
#include <apetag.h>
#include <attachedpictureframe.h>
#include <fileref.h>
#include <flacfile.h>
#include <id3v1tag.h>
#include <id3v2tag.h>
#include <mp4file.h>
#include <mpegfile.h>
#include <textidentificationframe.h>
#include <tfilestream.h>
#include <tpropertymap.h>
#include <wavfile.h>
#include <xiphcomment.h>

#include <algorithm>
#include <functional>
#include <iterator>
#include <optional>
#include <vector>

namespace TagCopy {

namespace {

using namespace TagLib;
using PictureType = ID3v2::AttachedPictureFrame::Type;

const QString NotCopied = QStringLiteral("tags not copied: ");

// Frames that describe the whole track, its length, levels, chapters or timeline: a preview
// of a few seconds of it would carry them wrongly.
bool describesTheWholeTrack(const ByteVector &frameId)
{
    static const char *const ids[] = {"TLEN", "RVA2", "RVAD", "EQU2", "EQUA", "CHAP", "CTOC",
                                      "SYLT", "SYTC", "ETCO", "POSS", "MLLT", "SEEK", "ASPI"};
    return std::any_of(std::begin(ids), std::end(ids), [&](const char *id) { return frameId == id; });
}

// The same in the words of a property map or a user frame: the length and the levels; and
// the mark of a preview, which tells of another cut.
bool describesTheWholeTrack(const String &key)
{
    const String upper = key.upper();
    return upper == "LENGTH" || upper.startsWith("REPLAYGAIN_") || upper.startsWith("R128_")
           || upper == PreviewMark::FrameDescription;
}

bool leftOut(const ID3v2::Frame &frame)
{
    const auto *user = dynamic_cast<const ID3v2::UserTextIdentificationFrame *>(&frame);
    return describesTheWholeTrack(frame.frameID()) || (user && describesTheWholeTrack(user->description()));
}

PropertyMap withoutWholeTrackKeys(PropertyMap properties)
{
    StringList keys;
    for (const auto &property : properties) {
        if (describesTheWholeTrack(property.first))
            keys.append(property.first);
    }
    for (const String &key : keys)
        properties.erase(key);
    return properties;
}

struct Picture {
    ByteVector data;
    String mimeType;
    PictureType type = PictureType::FrontCover;
    String description;
};

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

// The ID3v2 tag a source keeps its tags in: an MP3's, or the ID3v2 chunk of a WAV or AIFF.
ID3v2::Tag *id3v2Of(File &source)
{
    if (auto *mpeg = dynamic_cast<MPEG::File *>(&source))
        return mpeg->hasID3v2Tag() ? mpeg->ID3v2Tag() : nullptr;
    if (auto *wav = dynamic_cast<RIFF::WAV::File *>(&source))
        return wav->hasID3v2Tag() ? wav->ID3v2Tag() : nullptr;
    if (auto *aiff = dynamic_cast<RIFF::AIFF::File *>(&source))
        return aiff->hasID3v2Tag() ? aiff->tag() : nullptr;
    return nullptr;
}

QList<Picture> picturesOf(File &source)
{
    if (const ID3v2::Tag *tag = id3v2Of(source))
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

void addPictures(ID3v2::Tag &tag, const QList<Picture> &pictures)
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

// A tag's frames as plain pointers: a copy of a TagLib list shares the tag's own, which
// deletes its frames, so it must not outlive their removal.
std::vector<ID3v2::Frame *> framesOf(const ID3v2::Tag &tag)
{
    return {tag.frameList().begin(), tag.frameList().end()};
}

// Moved rather than copied: the source is never saved, and the preview's tag renders them
// in its version just as TagLib renders any tag it has read.
void moveFrames(ID3v2::Tag &from, ID3v2::Tag &to)
{
    for (ID3v2::Frame *frame : framesOf(from)) {
        if (leftOut(*frame))
            continue;
        from.removeFrame(frame, false);
        to.addFrame(frame);
    }
}

// A source opened for reading only, so that neither its bytes nor its times can change.
class Source {
public:
    explicit Source(const QString &path)
        : m_name(Main::FileNameOf(path)), m_stream(QFile::encodeName(path).constData(), true), m_ref(&m_stream, false)
    {
    }

    // "" when its tags can be read; otherwise why not.
    QString problem() const
    {
        if (!m_stream.isOpen())
            return QStringLiteral("%1 cannot be opened to read its tags").arg(m_name);
        if (m_ref.isNull())
            return QStringLiteral("TagLib cannot read tags from %1").arg(m_name);
        return QString();
    }
    File &file() const { return *m_ref.file(); }

private:
    QString m_name;
    FileStream m_stream;
    FileRef m_ref;
};

// The preview as TagLib opens it, its tags emptied in memory: save() writes what was put in,
// and no tag at all when nothing was.
class Preview {
public:
    explicit Preview(const QString &path) : m_file(QFile::encodeName(path).constData(), false)
    {
        if (!isValid())
            return;
        ID3v2::Tag &tag = id3v2();
        for (ID3v2::Frame *frame : framesOf(tag))
            tag.removeFrame(frame);
    }

    bool isValid() const { return m_file.isOpen() && m_file.isValid() && !m_file.readOnly(); }
    ID3v2::Tag &id3v2() { return *m_file.ID3v2Tag(true); }
    void setVersion(ID3v2::Version version) { m_version = version; }
    void keepId3v1(const ID3v1::Tag &source)
    {
        Tag::duplicate(&source, m_file.ID3v1Tag(true), true);
        m_id3v1 = true;
    }
    bool save()
    {
        const int tags = MPEG::File::ID3v2 | (m_id3v1 ? MPEG::File::ID3v1 : 0);
        return m_file.save(tags, File::StripOthers, m_version, File::DoNotDuplicate);
    }

private:
    MPEG::File m_file;
    ID3v2::Version m_version = ID3v2::v4;
    bool m_id3v1 = false;
};

// Empties the preview's tags, lets fill put in what it can ("" or why nothing), adds the mark
// unless it is "", and saves.
QString replaceTags(const QString &previewPath, const QString &failure, const std::function<QString(Preview &)> &fill,
                    const QString &mark = QString())
{
    Preview preview(previewPath);
    if (!preview.isValid())
        return failure + QStringLiteral("TagLib cannot open the preview to write them");
    const QString problem = fill(preview);
    if (!mark.isEmpty())
        preview.id3v2().addFrame(new ID3v2::UserTextIdentificationFrame(
            PreviewMark::FrameDescription, StringList(QStringToTString(mark)), String::Latin1));
    if (!preview.save())
        return failure + QStringLiteral("TagLib could not write them into the preview");
    return problem.isEmpty() ? QString() : failure + problem;
}

void copyInto(Preview &preview, File &source)
{
    if (auto *mpeg = dynamic_cast<MPEG::File *>(&source); mpeg && mpeg->hasID3v1Tag())
        preview.keepId3v1(*mpeg->ID3v1Tag());
    if (ID3v2::Tag *tag = id3v2Of(source)) {
        moveFrames(*tag, preview.id3v2());
        preview.setVersion(tag->header()->majorVersion() == 4 ? ID3v2::v4 : ID3v2::v3);
        return;
    }
    preview.id3v2().setProperties(withoutWholeTrackKeys(source.properties()));
    addPictures(preview.id3v2(), picturesOf(source));
}

// What a joined preview may say of all its songs.
struct Shared {
    PropertyMap text;
    std::optional<Picture> cover;
};

Shared sharedPartOf(File &source)
{
    Shared shared;
    const PropertyMap properties = source.properties();
    for (const char *key : {"ALBUM", "ALBUMARTIST", "ARTIST", "GENRE"}) {
        if (properties.contains(key))
            shared.text[key] = properties[key];
    }
    const String year = properties.contains("DATE") ? properties["DATE"].toString().substr(0, 4) : String();
    if (!year.isEmpty())
        shared.text["DATE"] = StringList(year);
    const QList<Picture> pictures = picturesOf(source);
    const auto front = std::find_if(pictures.cbegin(), pictures.cend(),
                                    [](const Picture &picture) { return picture.type == PictureType::FrontCover; });
    if (front != pictures.cend())
        shared.cover = *front;
    else if (!pictures.isEmpty())
        shared.cover = pictures.first();
    return shared;
}

void keepWhatBothHave(Shared &shared, const Shared &other)
{
    StringList differing;
    for (const auto &property : shared.text) {
        if (!other.text.contains(property.first) || other.text[property.first] != property.second)
            differing.append(property.first);
    }
    for (const String &key : differing)
        shared.text.erase(key);
    if (shared.cover && (!other.cover || other.cover->data != shared.cover->data))
        shared.cover.reset();
}

} // namespace

QString CopyTags(const QString &sourcePath, const QString &previewPath, const QString &mark)
{
    return replaceTags(
        previewPath, NotCopied,
        [&](Preview &preview) {
            const Source source(sourcePath);
            if (source.problem().isEmpty())
                copyInto(preview, source.file());
            return source.problem();
        },
        mark);
}

QString CopyCommonTags(const QStringList &sourcePaths, const QString &previewPath)
{
    return replaceTags(previewPath, NotCopied, [&](Preview &preview) {
        std::optional<Shared> shared;
        for (const QString &path : sourcePaths) {
            const Source source(path);
            if (!source.problem().isEmpty())
                return source.problem();
            const Shared own = sharedPartOf(source.file());
            if (shared)
                keepWhatBothHave(*shared, own);
            else
                shared = own;
        }
        if (!shared)
            return QString();
        preview.id3v2().setProperties(shared->text);
        if (shared->cover)
            addPictures(preview.id3v2(), {*shared->cover});
        return QString();
    });
}

QString RemoveTags(const QString &previewPath)
{
    return replaceTags(previewPath, QStringLiteral("tags not removed: "), [](Preview &) { return QString(); });
}

} // namespace TagCopy
