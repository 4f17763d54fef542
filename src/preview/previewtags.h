#pragma once
// A preview's tags as its format holds them, opened by OutputFormat::openTags with its old
// tags emptied in memory: TagCopy puts in what the sources give, and save() writes that,
// and no tag at all when nothing was put in.

#include "preview/tagpictures.h"

#include <QString>
#include <QStringList>

#include <tpropertymap.h>

class PreviewTags {
public:
    virtual ~PreviewTags() = default;

    // False when the file cannot be opened, read as the format or written.
    virtual bool isValid() const = 0;
    // Takes the source's own tag as it stands when the format keeps such a tag (an MP3's
    // ID3v2 frames, in its version), true when it did; the caller then adds nothing.
    virtual bool takeOwnTag(TagLib::File &) { return false; }
    virtual void setProperties(const TagLib::PropertyMap &properties) = 0;
    virtual void addPictures(const QList<TagPictures::Picture> &pictures) = 0;
    // Takes out what does not fit in `bytes` together, largest first; returns what it took
    // ("APIC of 15.0 MB (a tag carries at most 16 MB)"). A format whose tag grows as it must
    // (an MP4 atom, an Ogg comment over many pages) takes nothing out.
    virtual QStringList fit(qint64) { return {}; }
    virtual void setMark(const QString &mark) = 0;
    virtual bool save() = 0;
};

// Keys that describe the whole track (its length, its levels) or another cut (the mark of
// a preview): a preview of a few seconds of it would carry them wrongly.
bool DescribesTheWholeTrack(const TagLib::String &key);
