// The tags of previews that the real SoX cut from sources whose tags TagLib wrote: every text
// as TagLib reads it in the source, pictures byte for byte, nothing about the whole track.

#include "audiofixtures.h"
#include "preview/tagcopy.h"
#include "tagcopyfixture.h"
#include "tagfixtures.h"

#include <QFile>
#include <QTest>

#include <infotag.h>
#include <wavfile.h>

using TagFixtures::Text;

class TestTagCopyCopy : public TagCopyFixture {
    Q_OBJECT

private slots:
    void previewKeepsItsSongsTags_data();
    void previewKeepsItsSongsTags();
    void joinedPreviewKeepsWhatAllSongsShare_data();
    void joinedPreviewKeepsWhatAllSongsShare();
    void partsThatCannotBeCopiedAreLeftOut_data();
    void partsThatCannotBeCopiedAreLeftOut();
    void wavInfoTrackKeepsItsTotal();
};

void TestTagCopyCopy::previewKeepsItsSongsTags_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("version"); // of the preview's ID3v2 tag
    QTest::addColumn<bool>("id3v1");  // the preview has the source's ID3v1 tag
    QTest::addColumn<int>("pictures");
    QTest::addColumn<QString>("descriptionAs"); // the key a DESCRIPTION reads back as
    QTest::newRow("ID3v2.2, Latin-1 and UCS-2") << "v22.mp3" << 3 << false << 1 << QString();
    QTest::newRow("ID3v2.3, UTF-16") << "v23.mp3" << 3 << false << 1 << QString();
    QTest::newRow("ID3v2.4, UTF-8, with ID3v1") << "v24.mp3" << 4 << true << 1 << QString();
    QTest::newRow("ID3v1 only") << "id3v1.mp3" << 4 << true << 0 << QString();
    QTest::newRow("APEv2 only") << "ape.mp3" << 4 << false << 1 << QString();
    QTest::newRow("FLAC") << "song.flac" << 4 << false << 1 << QString();
    QTest::newRow("Ogg Vorbis") << "song.ogg" << 4 << false << 1 << QString();
    QTest::newRow("WAV with an ID3v2 chunk") << "song.wav" << 4 << false << 1 << QString();
    QTest::newRow("M4A") << "song.m4a" << 4 << false << 1 << QString();
    QTest::newRow("Opus") << "song.opus" << 4 << false << 1 << QString();
    // Players show an ID3v2 comment, not a user frame.
    QTest::newRow("Ogg Vorbis, its comment as DESCRIPTION") << "described.ogg" << 4 << false << 1 << "COMMENT";
    QTest::newRow("FLAC, a DESCRIPTION beside its comment") << "described.flac" << 4 << false << 1 << "COMMENT:DESCRIPTION";
}

void TestTagCopyCopy::previewKeepsItsSongsTags()
{
    QFETCH(QString, name);
    QFETCH(int, version);
    QFETCH(bool, id3v1);
    QFETCH(int, pictures);
    QFETCH(QString, descriptionAs);
    const QString preview = cut(source(name));

    QCOMPARE(TagCopy::CopyTags(source(name), preview), QString());

    const TagFixtures::Tags from = TagFixtures::Read(source(name));
    const TagFixtures::Tags to = TagFixtures::Read(preview);
    Text expected = from.text;
    for (const QString &key : WholeTrackKeys)
        expected.remove(key);
    if (!descriptionAs.isEmpty())
        expected.insert(descriptionAs, expected.take(QStringLiteral("DESCRIPTION")));
    QVERIFY(expected.size() >= 2);
    QCOMPARE(to.text, expected);
    QCOMPARE(to.pictures, QList<QByteArray>(pictures, TagFixtures::Cover()));
    QCOMPARE(to.id3v2Version, version);
    QCOMPARE(to.id3v1, id3v1 ? from.id3v1 : Text());
    QCOMPARE(to.frames.contains(QStringLiteral("PRIV")), from.frames.contains(QStringLiteral("PRIV")));
    QVERIFY2(!to.frames.contains(QStringLiteral("TLEN")) && !to.frames.contains(QStringLiteral("RVA2")),
             qPrintable(to.frames.join(QLatin1Char(' '))));
}

void TestTagCopyCopy::joinedPreviewKeepsWhatAllSongsShare_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<Text>("expected");
    QTest::addColumn<QList<QByteArray>>("pictures");
    const QList<QByteArray> red{TagFixtures::Cover()};
    Text album = Song;
    for (const char *key : {"TRACKNUMBER", "COMMENT", "LYRICS", "MUSICBRAINZ_ALBUMID"})
        album.remove(QString::fromLatin1(key));
    album[QStringLiteral("TITLE")] = album.value(QStringLiteral("ALBUM"));
    album[QStringLiteral("DATE")] = QStringList{QStringLiteral("2011")};
    QTest::newRow("two songs of one album: its name and cover") << QStringList{"v24.mp3", "other.mp3"} << album << red;
    album.remove(QStringLiteral("ARTIST"));
    QTest::newRow("another artist and cover, in FLAC: the first song's cover")
        << QStringList{"v24.mp3", "other.mp3", "other.flac"} << album << red;
    QTest::newRow("the first song without a cover: the next one's")
        << QStringList{"uncovered.mp3", "other.flac", "v24.mp3"} << album << QList<QByteArray>{TagFixtures::Cover('b')};
    Text mixed = album;
    for (const char *key : {"TITLE", "ALBUM"})
        mixed.remove(QString::fromLatin1(key));
    QTest::newRow("another album, the same cover: no title") << QStringList{"v24.mp3", "other.mp3", "single.mp3"}
                                                             << mixed << red;
    QTest::newRow("another album and cover: neither") << QStringList{"v24.mp3", "other.mp3", "single.flac"} << mixed
                                                      << QList<QByteArray>();
}

void TestTagCopyCopy::joinedPreviewKeepsWhatAllSongsShare()
{
    QFETCH(QStringList, names);
    QFETCH(Text, expected);
    QFETCH(QList<QByteArray>, pictures);
    QStringList sources;
    for (const QString &name : names)
        sources << source(name);
    const QString preview = cut(sources.first());

    QCOMPARE(TagCopy::CopyCommonTags(sources, preview), QString());

    const TagFixtures::Tags joined = TagFixtures::Read(preview);
    QCOMPARE(joined.text, expected);
    QCOMPARE(joined.pictures, pictures);
}

// A tag stays far below the 256 MB players read: a compressed frame is never expanded past
// the cap, and what does not fit is left out, largest first. An encrypted frame would read
// as garbage without its flags.
void TestTagCopyCopy::partsThatCannotBeCopiedAreLeftOut_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QStringList>("frames"); // the preview's
    QTest::newRow("a compressed frame of 20 MB")
        << "zipped.mp3" << "tags partly copied: left out PRIV (expanded, it would pass 16 MB)" << QStringList{"TALB"};
    QTest::newRow("an encrypted title") << "encrypted.mp3" << "tags partly copied: left out TIT2 (encrypted)"
                                        << QStringList{"TALB"};
    QTest::newRow("pictures of 18 MB, in FLAC")
        << "pictures.flac" << "tags partly copied: left out APIC of 9.0 MB (a tag carries at most 16 MB)"
        << QStringList{"COMM", "APIC"};
}

void TestTagCopyCopy::partsThatCannotBeCopiedAreLeftOut()
{
    QFETCH(QString, name);
    QFETCH(QString, expected);
    QFETCH(QStringList, frames);
    const QString path = source(name);
    QVERIFY(makeAudio(path));
    const QByteArray private20Mb = qCompress(QByteArray("lumbrisk.test\0", 14) + QByteArray(20 * 1024 * 1024, 'x'));
    if (name == QLatin1String("zipped.mp3"))
        QVERIFY(Fixtures::WriteFile(path, id3v23Tag("PRIV", char(0x80), private20Mb) + Fixtures::Contents(path)));
    else if (name == QLatin1String("encrypted.mp3"))
        QVERIFY(Fixtures::WriteFile(path, id3v23Tag("TIT2", 0x40, QByteArray("\x01\x8f\x13\xe7\x02\x99", 6))
                                              + Fixtures::Contents(path)));
    else
        QVERIFY(addLargePictures(path));
    const QString preview = cut(path);

    QCOMPARE(TagCopy::CopyTags(path, preview), expected);

    QCOMPARE(TagFixtures::Read(preview).frames, frames);
}

// TagLib reads INFO's track as a number; the preview keeps "1/6" as the song has it.
void TestTagCopyCopy::wavInfoTrackKeepsItsTotal()
{
    const QString path = source(QStringLiteral("info-track.wav"));
    QVERIFY(makeAudio(path));
    {
        TagLib::RIFF::WAV::File file(QFile::encodeName(path).constData(), false);
        file.InfoTag()->setFieldText("IPRT", "1/6");
        QVERIFY(file.save(TagLib::RIFF::WAV::File::Info));
    }
    const QString preview = cut(path);
    QCOMPARE(TagCopy::CopyTags(path, preview), QString());
    QCOMPARE(TagFixtures::Read(preview).text.value(QStringLiteral("TRACKNUMBER")), QStringList{QStringLiteral("1/6")});
}

QTEST_GUILESS_MAIN(TestTagCopyCopy)
#include "tst_tagcopy_copy.moc"
