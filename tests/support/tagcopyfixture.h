#pragma once
// Sources whose tags TagLib wrote, made once per test executable, and previews the real SoX
// cuts from them, for the tests of what a preview's tags keep.

#include "tagfixtures.h"

#include <QObject>
#include <QTemporaryDir>

class TagCopyFixture : public QObject {
    Q_OBJECT

public:
    // German, Czech, Japanese and emoji; two artists; a full date; comment, lyrics, a user frame.
    static const TagFixtures::Text Song;
    // What a preview leaves out: the track's length and level.
    static const QStringList WholeTrackKeys;

private slots:
    void initTestCase();

protected:
    // SoX writes every kind but M4A and Opus, which FFmpeg writes.
    static bool makeAudio(const QString &path);
    // An ID3v2.3 tag put together byte by byte, as TagLib writes no compressed or encrypted
    // frame: an album title, then the frame given.
    static QByteArray id3v23Tag(const char *id, char formatFlags, const QByteArray &body);
    // A WAV file's RIFF INFO chunk with the title and artist as the bytes given, and an ID3v2
    // chunk with the title given, if any.
    static bool writeInfo(const QString &path, const QByteArray &title, const QByteArray &artist,
                          const QString &id3Title = QString());
    // A FLAC with two pictures of 9 MB each, which do not both fit into a preview's tag.
    static bool addLargePictures(const QString &path);

    QString source(const QString &name) const { return m_dir.filePath(name); }
    // A preview as the job makes it, with the tags SoX gave it.
    QString cut(const QString &sourcePath);

    QTemporaryDir m_dir;
};
