#include "preview/tagcopy.h"

#include "platform/main.h"
#include "preview/outputformat.h"
#include "preview/previewmark.h"
#include "preview/previewtags.h"
#include "preview/tagguard.h"
#include "preview/tagpictures.h"

#include <QFile>
#include <QList>

#include <fileref.h>
#include <id3v2framefactory.h>
#include <mpegfile.h>
#include <tbytevectorstream.h>
#include <tfilestream.h>
#include <infotag.h>
#include <tpropertymap.h>
#include <wavfile.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>

bool DescribesTheWholeTrack(const TagLib::String &key)
{
    const TagLib::String upper = key.upper();
    return upper == "LENGTH" || upper.startsWith("REPLAYGAIN_") || upper.startsWith("R128_")
           || upper == PreviewMark::FrameDescription;
}

namespace TagCopy {

namespace {

using namespace TagLib;
using TagPictures::Picture;
using PictureType = ID3v2::AttachedPictureFrame::Type;

const QString NotCopied = QStringLiteral("tags not copied: ");

PropertyMap withoutWholeTrackKeys(PropertyMap properties)
{
    StringList keys;
    for (const auto &property : properties) {
        if (DescribesTheWholeTrack(property.first))
            keys.append(property.first);
    }
    for (const String &key : keys)
        properties.erase(key);
    return properties;
}

// TagLib reads a WAV file's INFO track (IPRT, or ITRK) as a number: "1/6" would lose its total.
PropertyMap withWholeInfoTrack(PropertyMap properties, File &source)
{
    const auto *wav = dynamic_cast<RIFF::WAV::File *>(&source);
    if (!wav || !wav->hasInfoTag())
        return properties;
    for (const char *id : {"IPRT", "ITRK"}) {
        const String track = wav->InfoTag()->fieldText(id);
        if (!track.isEmpty()) {
            properties.replace("TRACKNUMBER", StringList(track));
            break;
        }
    }
    return properties;
}

// A source opened for reading only, so that neither its bytes nor its times can change.
// An MP3 whose tag has a frame that cannot be copied (TagGuard) is read through a stand-in
// without it.
class Source {
public:
    explicit Source(const QString &path)
        : m_name(Main::FileNameOf(path)), m_stream(QFile::encodeName(path).constData(), true),
          m_guarded(TagGuard::Look(path, TagBytes)),
          m_standIn(m_guarded.standIn.constData(), uint(m_guarded.standIn.size())),
          m_standInStream(m_standIn),
          m_ref(m_guarded.standIn.isEmpty() ? FileRef(&m_stream, false)
                                            : FileRef(new MPEG::File(&m_standInStream, ID3v2::FrameFactory::instance(), false)))
    {
    }
    // The frames left out already, and why.
    const QStringList &refused() const { return m_guarded.refused; }

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
    TagGuard::Guarded m_guarded;
    ByteVector m_standIn;
    ByteVectorStream m_standInStream;
    FileRef m_ref;
};

// What a source gives a preview, and the frames it left out, with why.
using Fill = std::function<QString(PreviewTags &preview, QStringList &notCopied)>;

// Empties the preview's tags, lets fill put in what it can ("" or why nothing), adds the mark
// unless it is "", and saves, in the tags of the preview's format.
QString replaceTags(const QString &previewPath, const QString &failure, const Fill &fill,
                    const QString &mark = QString())
{
    const std::unique_ptr<PreviewTags> preview = OutputFormat::OfPreview(previewPath).openTags(previewPath);
    if (!preview->isValid())
        return failure + QStringLiteral("TagLib cannot open the preview to write them");
    QStringList notCopied;
    const QString problem = fill(*preview, notCopied);
    notCopied += preview->fit(TagBytes);
    if (!mark.isEmpty())
        preview->setMark(mark);
    if (!preview->save())
        return failure + QStringLiteral("TagLib could not write them into the preview");
    if (!problem.isEmpty())
        return failure + problem;
    if (!notCopied.isEmpty())
        return QStringLiteral("tags partly copied: left out ") + notCopied.join(QStringLiteral(", "));
    return QString();
}

void copyInto(PreviewTags &preview, const Source &from)
{
    File &source = from.file();
    if (preview.takeOwnTag(source))
        return;
    preview.setProperties(withoutWholeTrackKeys(withWholeInfoTrack(source.properties(), source)));
    preview.addPictures(TagPictures::PicturesOf(source));
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
    const QList<Picture> pictures = TagPictures::PicturesOf(source);
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
        [&](PreviewTags &preview, QStringList &notCopied) {
            const Source source(sourcePath);
            if (!source.problem().isEmpty())
                return source.problem();
            notCopied += source.refused();
            copyInto(preview, source);
            return QString();
        },
        mark);
}

QString CopyCommonTags(const QStringList &sourcePaths, const QString &previewPath, const QString &mark)
{
    return replaceTags(
        previewPath, NotCopied,
        [&](PreviewTags &preview, QStringList &) {
        std::optional<Shared> shared;
        std::optional<Picture> firstCover;
        for (const QString &path : sourcePaths) {
            const Source source(path);
            if (!source.problem().isEmpty())
                return source.problem();
            const Shared own = sharedPartOf(source.file());
            if (!firstCover)
                firstCover = own.cover;
            if (shared)
                keepWhatBothHave(*shared, own);
            else
                shared = own;
        }
        if (!shared)
            return QString();
        // Songs of one album make a sampler of that album: a player lists it by the album's
        // name and shows its cover, which a re-encoded picture need not match byte for byte.
        if (shared->text.contains("ALBUM")) {
            shared->text["TITLE"] = shared->text["ALBUM"];
            if (!shared->cover)
                shared->cover = firstCover;
        }
        preview.setProperties(shared->text);
        if (shared->cover)
            preview.addPictures({*shared->cover});
        return QString();
        },
        mark);
}

QString MarkOnly(const QString &previewPath, const QString &mark)
{
    const Fill nothing = [](PreviewTags &, QStringList &) { return QString(); };
    return replaceTags(previewPath, QStringLiteral("tags not removed: "), nothing, mark);
}

} // namespace TagCopy
