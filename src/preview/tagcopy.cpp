#include "preview/tagcopy.h"

#include "platform/main.h"
#include "preview/previewmark.h"
#include "preview/tagguard.h"
#include "preview/tagpictures.h"

#include <QFile>
#include <QList>

#include <attachedpictureframe.h>
#include <fileref.h>
#include <id3v1tag.h>
#include <id3v2framefactory.h>
#include <id3v2tag.h>
#include <mpegfile.h>
#include <tbytevectorstream.h>
#include <textidentificationframe.h>
#include <tfilestream.h>
#include <infotag.h>
#include <tpropertymap.h>
#include <wavfile.h>

#include <algorithm>
#include <functional>
#include <iterator>
#include <optional>
#include <vector>

namespace TagCopy {

namespace {

using namespace TagLib;
using TagPictures::Picture;
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

// Vorbis comments name a song's comment DESCRIPTION, where ID3v2 has a comment frame that
// TagLib fills only from COMMENT (else a user frame): DESCRIPTION becomes the comment or,
// beside a COMMENT, a second comment described as DESCRIPTION.
PropertyMap withDescriptionAsComment(PropertyMap properties)
{
    if (!properties.contains("DESCRIPTION"))
        return properties;
    const StringList description = properties["DESCRIPTION"];
    properties.erase("DESCRIPTION");
    properties.insert(properties.contains("COMMENT") ? "COMMENT:DESCRIPTION" : "COMMENT", description);
    return properties;
}

// A tag's frames as plain pointers: a copy of a TagLib list shares the tag's own, which
// deletes its frames, so it must not outlive their removal.
std::vector<ID3v2::Frame *> framesOf(const ID3v2::Tag &tag)
{
    return {tag.frameList().begin(), tag.frameList().end()};
}

QString frameName(const ID3v2::Frame &frame)
{
    return QString::fromLatin1(frame.frameID().data(), int(frame.frameID().size()));
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

// The frames of the tag that do not fit in TagBytes together, largest first, taken out.
QStringList fitIn(ID3v2::Tag &tag)
{
    std::vector<std::pair<qint64, ID3v2::Frame *>> sized;
    qint64 total = 0;
    for (ID3v2::Frame *frame : framesOf(tag)) {
        sized.emplace_back(qint64(frame->render().size()), frame);
        total += sized.back().first;
    }
    std::stable_sort(sized.begin(), sized.end(), [](const auto &a, const auto &b) { return a.first > b.first; });
    QStringList taken;
    for (const auto &[size, frame] : sized) {
        if (total <= TagBytes)
            break;
        taken.append(QStringLiteral("%1 of %2 MB (a tag carries at most %3 MB)")
                         .arg(frameName(*frame))
                         .arg(double(size) / (1 << 20), 0, 'f', 1)
                         .arg(TagBytes >> 20));
        total -= size;
        tag.removeFrame(frame);
    }
    return taken;
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
    // What could not be copied; fit() adds the frames that do not fit.
    QStringList notCopied;
    void fit() { notCopied += fitIn(id3v2()); }
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
    preview.fit();
    if (!mark.isEmpty())
        preview.id3v2().addFrame(new ID3v2::UserTextIdentificationFrame(
            PreviewMark::FrameDescription, StringList(QStringToTString(mark)), String::Latin1));
    if (!preview.save())
        return failure + QStringLiteral("TagLib could not write them into the preview");
    if (!problem.isEmpty())
        return failure + problem;
    if (!preview.notCopied.isEmpty())
        return QStringLiteral("tags partly copied: left out ") + preview.notCopied.join(QStringLiteral(", "));
    return QString();
}

void copyInto(Preview &preview, const Source &from)
{
    File &source = from.file();
    preview.notCopied += from.refused();
    if (auto *mpeg = dynamic_cast<MPEG::File *>(&source); mpeg && mpeg->hasID3v1Tag())
        preview.keepId3v1(*mpeg->ID3v1Tag());
    if (ID3v2::Tag *tag = TagPictures::Id3v2Of(source)) {
        moveFrames(*tag, preview.id3v2());
        preview.setVersion(tag->header()->majorVersion() == 4 ? ID3v2::v4 : ID3v2::v3);
        return;
    }
    preview.id3v2().setProperties(withDescriptionAsComment(withoutWholeTrackKeys(withWholeInfoTrack(source.properties(), source))));
    TagPictures::AddPictures(preview.id3v2(), TagPictures::PicturesOf(source));
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
        [&](Preview &preview) {
            const Source source(sourcePath);
            if (source.problem().isEmpty())
                copyInto(preview, source);
            return source.problem();
        },
        mark);
}

QString CopyCommonTags(const QStringList &sourcePaths, const QString &previewPath, const QString &mark)
{
    return replaceTags(
        previewPath, NotCopied,
        [&](Preview &preview) {
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
        preview.id3v2().setProperties(shared->text);
        if (shared->cover)
            TagPictures::AddPictures(preview.id3v2(), {*shared->cover});
        return QString();
        },
        mark);
}

QString MarkOnly(const QString &previewPath, const QString &mark)
{
    return replaceTags(previewPath, QStringLiteral("tags not removed: "), [](Preview &) { return QString(); }, mark);
}

} // namespace TagCopy
