#pragma once
// An MP3 preview's tags: one ID3v2 tag, in the source's ID3v2 version when the source had
// one (2.2 as 2.3), else 2.4, and an ID3v1 tag when the source had one. TagLib's MPEG file.

#include "preview/previewtags.h"

#include <id3v2tag.h>
#include <mpegfile.h>

class Mp3Tags : public PreviewTags {
public:
    explicit Mp3Tags(const QString &path);

    bool isValid() const override;
    // Every ID3v2 frame of an MP3, WAV or AIFF source but those that describe the whole track
    // (its length TLEN, levels RVA2, RVAD, EQU2, EQUA, chapters CHAP, CTOC, frames timed on its
    // timeline SYLT, SYTC, ETCO, POSS, and the structure frames MLLT, SEEK, ASPI) and its ID3v1.
    bool takeOwnTag(TagLib::File &source) override;
    void setProperties(const TagLib::PropertyMap &properties) override;
    void addPictures(const QList<TagPictures::Picture> &pictures) override;
    QStringList fit(qint64 bytes) override;
    void setMark(const QString &mark) override;
    bool save() override;

private:
    TagLib::ID3v2::Tag &id3v2() { return *m_file.ID3v2Tag(true); }

    TagLib::MPEG::File m_file;
    TagLib::ID3v2::Version m_version = TagLib::ID3v2::v4;
    bool m_id3v1 = false;
};
