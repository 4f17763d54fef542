#include "preview/mp3tags.h"

#include "preview/previewmark.h"

#include <QFile>

#include <id3v1tag.h>
#include <textidentificationframe.h>

#include <algorithm>
#include <iterator>
#include <vector>

namespace {

using namespace TagLib;

// Frames of the whole track: its length, levels, chapters, timeline and structure.
bool describesTheWholeTrack(const ByteVector &frameId)
{
    static const char *const ids[] = {"TLEN", "RVA2", "RVAD", "EQU2", "EQUA", "CHAP", "CTOC",
                                      "SYLT", "SYTC", "ETCO", "POSS", "MLLT", "SEEK", "ASPI"};
    return std::any_of(std::begin(ids), std::end(ids), [&](const char *id) { return frameId == id; });
}

bool leftOut(const ID3v2::Frame &frame)
{
    const auto *user = dynamic_cast<const ID3v2::UserTextIdentificationFrame *>(&frame);
    return describesTheWholeTrack(frame.frameID()) || (user && DescribesTheWholeTrack(user->description()));
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

} // namespace

Mp3Tags::Mp3Tags(const QString &path) : m_file(QFile::encodeName(path).constData(), false)
{
    if (!isValid())
        return;
    ID3v2::Tag &tag = id3v2();
    for (ID3v2::Frame *frame : framesOf(tag))
        tag.removeFrame(frame);
}

bool Mp3Tags::isValid() const
{
    return m_file.isOpen() && m_file.isValid() && !m_file.readOnly();
}

bool Mp3Tags::takeOwnTag(File &source)
{
    if (auto *mpeg = dynamic_cast<MPEG::File *>(&source); mpeg && mpeg->hasID3v1Tag()) {
        Tag::duplicate(mpeg->ID3v1Tag(), m_file.ID3v1Tag(true), true);
        m_id3v1 = true;
    }
    ID3v2::Tag *tag = TagPictures::Id3v2Of(source);
    if (!tag)
        return false;
    moveFrames(*tag, id3v2());
    m_version = tag->header()->majorVersion() == 4 ? ID3v2::v4 : ID3v2::v3;
    return true;
}

void Mp3Tags::setProperties(const PropertyMap &properties)
{
    id3v2().setProperties(withDescriptionAsComment(properties));
}

void Mp3Tags::addPictures(const QList<TagPictures::Picture> &pictures)
{
    TagPictures::AddPictures(id3v2(), pictures);
}

QStringList Mp3Tags::fit(qint64 bytes)
{
    std::vector<std::pair<qint64, ID3v2::Frame *>> sized;
    qint64 total = 0;
    for (ID3v2::Frame *frame : framesOf(id3v2())) {
        sized.emplace_back(qint64(frame->render().size()), frame);
        total += sized.back().first;
    }
    std::stable_sort(sized.begin(), sized.end(), [](const auto &a, const auto &b) { return a.first > b.first; });
    QStringList taken;
    for (const auto &[size, frame] : sized) {
        if (total <= bytes)
            break;
        taken.append(QStringLiteral("%1 of %2 MB (a tag carries at most %3 MB)")
                         .arg(frameName(*frame))
                         .arg(double(size) / (1 << 20), 0, 'f', 1)
                         .arg(bytes >> 20));
        total -= size;
        id3v2().removeFrame(frame);
    }
    return taken;
}

void Mp3Tags::setMark(const QString &mark)
{
    id3v2().addFrame(new ID3v2::UserTextIdentificationFrame(PreviewMark::FrameDescription,
                                                            StringList(QStringToTString(mark)), String::Latin1));
}

bool Mp3Tags::save()
{
    const int tags = MPEG::File::ID3v2 | (m_id3v1 ? MPEG::File::ID3v1 : 0);
    return m_file.save(tags, File::StripOthers, m_version, File::DoNotDuplicate);
}
