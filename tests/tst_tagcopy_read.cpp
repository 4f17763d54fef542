// What is read back from the tags of songs and previews: Lumbrisk's mark, and each song's title and artist.

#include "preview/previewmark.h"
#include "preview/songtitle.h"
#include "preview/tagcopy.h"
#include "tagcopyfixture.h"

#include <QFile>
#include <QTest>

class TestTagCopyRead : public TagCopyFixture {
    Q_OBJECT

private slots:
    void markReadsBackAndIsNeverCopied_data();
    void markReadsBackAndIsNeverCopied();
    void songIsNamedByItsTags_data();
    void songIsNamedByItsTags();
};

void TestTagCopyRead::markReadsBackAndIsNeverCopied_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("ID3v2.3, its frame sizes not sync-safe, a cover first") << "v23.mp3";
    QTest::newRow("ID3v2.4, with ID3v1") << "v24.mp3";
    QTest::newRow("FLAC") << "song.flac";
}

// Read walks the frames of the preview's own ID3v2 version; a preview made of a marked file
// is not marked unless asked.
void TestTagCopyRead::markReadsBackAndIsNeverCopied()
{
    QFETCH(QString, name);
    const QString preview = cut(source(name));
    const QString mark = QStringLiteral("1 size=5 modified=6.000000007 settings=ab");
    QCOMPARE(TagCopy::CopyTags(source(name), preview, mark), QString());
    QCOMPARE(PreviewMark::Read(preview), std::optional<QString>(mark));
    const QString again = m_dir.filePath(QStringLiteral("again.mp3"));
    QVERIFY(QFile::copy(preview, again));
    QCOMPARE(TagCopy::CopyTags(preview, again), QString());
    QCOMPARE(PreviewMark::Read(again), std::nullopt);
    QFile::remove(again);
}

void TestTagCopyRead::songIsNamedByItsTags_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("artist");
    QTest::newRow("ID3v2") << "v24.mp3" << "Grüße aus Köln" << "Antonín Dvořák 日本語の歌手";
    QTest::newRow("Ogg Vorbis") << "described.ogg" << "Grüße aus Köln" << "Antonín Dvořák 日本語の歌手";
    // A WAV file's own tag is its INFO chunk, whose bytes are UTF-8 today and were Latin-1.
    QTest::newRow("WAV, RIFF INFO in UTF-8") << "info-utf8.wav" << "Grüße aus Köln" << "Antonín Dvořák";
    QTest::newRow("WAV, RIFF INFO in Latin-1") << "info-latin1.wav" << "Grüße aus Köln" << "Künstlerin";
    QTest::newRow("WAV, RIFF INFO in UTF-8 beyond Latin-1") << "info-chinese.wav" << "你好世界" << "胡 HU";
    QTest::newRow("WAV, an ID3v2 title before INFO's") << "info-id3.wav" << "Der ID3-Titel" << "Künstlerin";
    QTest::newRow("WAV without tags") << "bare.wav" << "" << "";
}

// The review page names each song by what its tags say, whatever the kind of file.
void TestTagCopyRead::songIsNamedByItsTags()
{
    QFETCH(QString, name);
    QFETCH(QString, title);
    QFETCH(QString, artist);
    const QString path = source(name);
    const QByteArray latin1Artist = QStringLiteral("Künstlerin").toLatin1();
    if (!QFile::exists(path)) {
        QVERIFY(makeAudio(path));
        if (name == QLatin1String("info-utf8.wav"))
            QVERIFY(writeInfo(path, QStringLiteral("Grüße aus Köln").toUtf8(), QStringLiteral("Antonín Dvořák").toUtf8()));
        else if (name == QLatin1String("info-chinese.wav"))
            QVERIFY(writeInfo(path, QStringLiteral("你好世界").toUtf8(), QStringLiteral("胡 HU").toUtf8()));
        else if (name == QLatin1String("info-latin1.wav"))
            QVERIFY(writeInfo(path, QStringLiteral("Grüße aus Köln").toLatin1(), latin1Artist));
        else if (name == QLatin1String("info-id3.wav"))
            QVERIFY(writeInfo(path, QByteArray("Der INFO-Titel"), latin1Artist, QStringLiteral("Der ID3-Titel")));
    }
    const SongTitle::Names names = SongTitle::Read(path);
    QCOMPARE(names.title, title);
    QCOMPARE(names.artist, artist);
}

QTEST_GUILESS_MAIN(TestTagCopyRead)
#include "tst_tagcopy_read.moc"
