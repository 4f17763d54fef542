// The tags of previews that the real SoX cut from sources whose tags TagLib wrote: every text
// as TagLib reads it in the source, pictures byte for byte, nothing about the whole track.

#include "audiofixtures.h"
#include "analysis/sourceaudio.h"
#include "preview/previewmark.h"
#include "preview/songtitle.h"
#include "preview/tagcopy.h"
#include "tagfixtures.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <apetag.h>
#include <flacfile.h>
#include <id3v1tag.h>
#include <infotag.h>
#include <id3v2tag.h>
#include <mpegfile.h>
#include <privateframe.h>
#include <relativevolumeframe.h>
#include <wavfile.h>

using TagFixtures::Text;

namespace {

// German, Czech, Japanese and emoji; two artists; a full date; comment, lyrics, a user frame.
const Text Song{
    {QStringLiteral("TITLE"), {QStringLiteral("Grüße aus Köln")}},
    {QStringLiteral("ARTIST"), {QStringLiteral("Antonín Dvořák"), QStringLiteral("日本語の歌手")}},
    {QStringLiteral("ALBUM"), {QStringLiteral("Slovanské tance 🎻")}},
    {QStringLiteral("ALBUMARTIST"), {QStringLiteral("Dvořák")}},
    {QStringLiteral("GENRE"), {QStringLiteral("Folk")}},
    {QStringLiteral("DATE"), {QStringLiteral("2011-09-27")}},
    {QStringLiteral("TRACKNUMBER"), {QStringLiteral("3/12")}},
    {QStringLiteral("COMMENT"), {QStringLiteral("Ein schöner Tag ☀")}},
    {QStringLiteral("LYRICS"), {QStringLiteral("歌詞の一行目\nzweite Zeile")}},
    {QStringLiteral("MUSICBRAINZ_ALBUMID"), {QStringLiteral("0f2e0c1a-6a3b-4a9e-9a48-3c1f1d7c2b10")}},
};

// What a preview leaves out: the track's length and level.
const QStringList WholeTrackKeys{QStringLiteral("LENGTH"), QStringLiteral("REPLAYGAIN_TRACK_GAIN")};

Text withWholeTrackKeys(Text text)
{
    text.insert(WholeTrackKeys.at(0), {QStringLiteral("180000")});
    text.insert(WholeTrackKeys.at(1), {QStringLiteral("-6.20 dB")});
    return text;
}

// The second song of the album: its own title, track and day.
Text secondSong()
{
    Text text = Song;
    text[QStringLiteral("TITLE")] = QStringList{QStringLiteral("Zweites Lied")};
    text[QStringLiteral("TRACKNUMBER")] = QStringList{QStringLiteral("4/12")};
    text[QStringLiteral("DATE")] = QStringList{QStringLiteral("2011-10-01")};
    return text;
}

// SoX writes every kind but M4A and Opus, which FFmpeg writes.
bool makeAudio(const QString &path)
{
    const QString codec = path.endsWith(QLatin1String(".m4a")) ? QStringLiteral("aac")
                          : path.endsWith(QLatin1String(".opus")) ? QStringLiteral("libopus")
                                                                  : QString();
    if (!codec.isEmpty())
        return QProcess::execute(QStringLiteral("ffmpeg"), {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-f"),
                                                            QStringLiteral("lavfi"), QStringLiteral("-i"),
                                                            QStringLiteral("sine=d=1"), QStringLiteral("-c:a"), codec, path})
               == 0;
    return QProcess::execute(QStringLiteral("sox"), {QStringLiteral("-n"), QStringLiteral("-r"), QStringLiteral("44100"),
                                                     QStringLiteral("-c"), QStringLiteral("2"), path, QStringLiteral("synth"),
                                                     QStringLiteral("2"), QStringLiteral("sine"), QStringLiteral("440")})
           == 0;
}

// TagLib writes no ID3v2.2, so that tag is put together here: a Latin-1 title, a UCS-2
// artist, the track's length and a picture.
QByteArray id3v22Tag()
{
    const auto frame = [](const char *id, const QByteArray &body) {
        const int size = int(body.size());
        return QByteArray(id) + char(size >> 16) + char(size >> 8 & 0xff) + char(size & 0xff) + body;
    };
    const QString artist = QStringLiteral("日本語の歌手");
    const QByteArray ucs2 = QByteArray("\x01\xff\xfe", 3)
                            + QByteArray(reinterpret_cast<const char *>(artist.utf16()), int(artist.size()) * 2)
                            + QByteArray(2, '\0');
    const QByteArray frames = frame("TT2", QByteArray(1, '\0') + QStringLiteral("Grüße").toLatin1()) + frame("TP1", ucs2)
                              + frame("TLE", QByteArray("\0" "180000", 7))
                              + frame("PIC", QByteArray("\0PNG\x03\0", 6) + TagFixtures::Cover());
    QByteArray header("ID3\x02\0\0", 6);
    for (const int shift : {21, 14, 7, 0})
        header += char(frames.size() >> shift & 0x7f);
    return header + frames;
}

// Frames the property map does not name: a private one, kept, and a level, left out.
bool addId3v2Frames(const QString &path, TagLib::ID3v2::Version version, bool withId3v1)
{
    TagLib::MPEG::File file(QFile::encodeName(path).constData(), false);
    auto *owned = new TagLib::ID3v2::PrivateFrame;
    owned->setOwner("lumbrisk.test");
    owned->setData(TagLib::ByteVector("seen", 4));
    file.ID3v2Tag()->addFrame(owned);
    auto *level = new TagLib::ID3v2::RelativeVolumeFrame;
    level->setVolumeAdjustment(-6.2f);
    file.ID3v2Tag()->addFrame(level);
    if (withId3v1)
        file.ID3v1Tag(true)->setTitle("Gr\xfc\xdf" "e");
    const int tags = TagLib::MPEG::File::ID3v2 | (withId3v1 ? TagLib::MPEG::File::ID3v1 : 0);
    return file.save(tags, TagLib::File::StripOthers, version);
}

bool writeOtherMp3Tag(const QString &path, bool ape)
{
    TagLib::MPEG::File file(QFile::encodeName(path).constData(), false);
    // ID3v1 has no room for the whole track's keys.
    const TagLib::PropertyMap properties = TagFixtures::Properties(ape ? withWholeTrackKeys(Song) : Song);
    if (!ape) {
        file.ID3v1Tag(true)->setProperties(properties);
        return file.save(TagLib::MPEG::File::ID3v1);
    }
    file.APETag(true)->setProperties(properties);
    const QByteArray cover = QByteArray("cover.png", 10) + TagFixtures::Cover();
    file.APETag()->setItem("Cover Art (Front)", TagLib::APE::Item("Cover Art (Front)",
                                                                 TagLib::ByteVector(cover.constData(), cover.size()), true));
    return file.save(TagLib::MPEG::File::APE);
}

// An ID3v2.3 tag put together byte by byte, as TagLib writes no compressed or encrypted
// frame: an album title, then the frame given.
QByteArray id3v23Tag(const char *id, char formatFlags, const QByteArray &body)
{
    const auto frame = [](const char *frameId, char flags, const QByteArray &frameBody) {
        const int size = int(frameBody.size());
        return QByteArray(frameId) + char(size >> 24) + char(size >> 16 & 0xff) + char(size >> 8 & 0xff)
               + char(size & 0xff) + '\0' + flags + frameBody;
    };
    const QByteArray frames = frame("TALB", 0, QByteArray("\0Album", 6)) + frame(id, formatFlags, body);
    QByteArray header("ID3\x03\0\0", 6);
    for (const int shift : {21, 14, 7, 0})
        header += char(frames.size() >> shift & 0x7f);
    return header + frames;
}

// The song's comment under Vorbis's name for it, alone or beside a COMMENT.
Text described(bool withComment)
{
    Text text = Song;
    const QStringList comment = withComment ? text.value(QStringLiteral("COMMENT")) : text.take(QStringLiteral("COMMENT"));
    text.insert(QStringLiteral("DESCRIPTION"), withComment ? QStringList{QStringLiteral("Beschreibung ✎")} : comment);
    return text;
}

// A WAV file's RIFF INFO chunk with the title and artist as the bytes given, and an ID3v2
// chunk with the title given, if any.
bool writeInfo(const QString &path, const QByteArray &title, const QByteArray &artist, const QString &id3Title = QString())
{
    TagLib::RIFF::WAV::File file(QFile::encodeName(path).constData(), false);
    // Latin-1 is how TagLib takes bytes as they are.
    file.InfoTag()->setTitle(TagLib::String(title.toStdString(), TagLib::String::Latin1));
    file.InfoTag()->setArtist(TagLib::String(artist.toStdString(), TagLib::String::Latin1));
    if (!id3Title.isEmpty())
        file.ID3v2Tag()->setTitle(TagLib::String(id3Title.toStdString(), TagLib::String::UTF8));
    return file.save(TagLib::RIFF::WAV::File::AllTags);
}

// A FLAC with two pictures of 9 MB each, which do not both fit into a preview's tag.
bool addLargePictures(const QString &path)
{
    TagLib::FLAC::File file(QFile::encodeName(path).constData(), false);
    for (const char fill : {'a', 'b'}) {
        auto *picture = new TagLib::FLAC::Picture;
        picture->setMimeType("image/png");
        picture->setType(fill == 'a' ? TagLib::FLAC::Picture::FrontCover : TagLib::FLAC::Picture::BackCover);
        picture->setData(TagLib::ByteVector(9 * 1024 * 1024, fill));
        file.addPicture(picture);
    }
    return file.save();
}

} // namespace

class TestTagCopy : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void previewKeepsItsSongsTags_data();
    void previewKeepsItsSongsTags();
    void joinedPreviewKeepsWhatAllSongsShare_data();
    void joinedPreviewKeepsWhatAllSongsShare();
    void markReadsBackAndIsNeverCopied_data();
    void markReadsBackAndIsNeverCopied();
    void partsThatCannotBeCopiedAreLeftOut_data();
    void partsThatCannotBeCopiedAreLeftOut();
    void songIsNamedByItsTags_data();
    void songIsNamedByItsTags();
    void wavInfoTrackKeepsItsTotal();

private:
    QString source(const QString &name) const { return m_dir.filePath(name); }
    QString cut(const QString &sourcePath);

    QTemporaryDir m_dir;
};

void TestTagCopy::initTestCase()
{
    for (const char *name : {"v22.mp3", "v23.mp3", "v24.mp3", "id3v1.mp3", "ape.mp3", "other.mp3", "song.flac",
                             "other.flac", "song.ogg", "song.wav", "song.m4a", "song.opus", "described.ogg",
                             "described.flac", "uncovered.mp3", "single.mp3", "single.flac"})
        QVERIFY(makeAudio(source(QString::fromLatin1(name))));
    QVERIFY(Fixtures::WriteFile(source(QStringLiteral("v22.mp3")),
                                id3v22Tag() + Fixtures::Contents(source(QStringLiteral("v22.mp3")))));
    const Text full = withWholeTrackKeys(Song);
    const QByteArray cover = TagFixtures::Cover();
    QVERIFY(TagFixtures::Write(source(QStringLiteral("v23.mp3")), full, cover, 3));
    QVERIFY(addId3v2Frames(source(QStringLiteral("v23.mp3")), TagLib::ID3v2::v3, false));
    QVERIFY(TagFixtures::Write(source(QStringLiteral("v24.mp3")), full, cover));
    QVERIFY(addId3v2Frames(source(QStringLiteral("v24.mp3")), TagLib::ID3v2::v4, true));
    QVERIFY(writeOtherMp3Tag(source(QStringLiteral("id3v1.mp3")), false));
    QVERIFY(writeOtherMp3Tag(source(QStringLiteral("ape.mp3")), true));
    QVERIFY(TagFixtures::Write(source(QStringLiteral("other.mp3")), secondSong(), cover));
    Text otherArtist = secondSong();
    otherArtist[QStringLiteral("ARTIST")] = QStringList{QStringLiteral("Someone Else")};
    QVERIFY(TagFixtures::Write(source(QStringLiteral("other.flac")), otherArtist, TagFixtures::Cover('b')));
    QVERIFY(TagFixtures::Write(source(QStringLiteral("uncovered.mp3")), secondSong()));
    // A single of the same artist and year: its album is its own.
    Text single = otherArtist;
    single[QStringLiteral("ALBUM")] = QStringList{QStringLiteral("Grüße (Single)")};
    QVERIFY(TagFixtures::Write(source(QStringLiteral("single.mp3")), single, cover));
    QVERIFY(TagFixtures::Write(source(QStringLiteral("single.flac")), single, TagFixtures::Cover('g')));
    for (const char *name : {"song.flac", "song.ogg", "song.wav", "song.m4a", "song.opus"})
        QVERIFY(TagFixtures::Write(source(QString::fromLatin1(name)), full, cover));
    QVERIFY(TagFixtures::Write(source(QStringLiteral("described.ogg")), described(false), cover));
    QVERIFY(TagFixtures::Write(source(QStringLiteral("described.flac")), described(true), cover));
}

// A preview as the job makes it, with the tags SoX gave it.
QString TestTagCopy::cut(const QString &sourcePath)
{
    const QString preview = m_dir.filePath(QStringLiteral("preview-") + QFileInfo(sourcePath).completeBaseName()
                                           + QStringLiteral(".mp3"));
    // SoX cannot read every source; the tags do not care which audio the preview holds.
    const QString audio = SourceAudio::NeedsDecoder(sourcePath) ? source(QStringLiteral("song.wav")) : sourcePath;
    QProcess::execute(QStringLiteral("sox"), {audio, QStringLiteral("-c"), QStringLiteral("2"), QStringLiteral("-r"),
                                              QStringLiteral("48000"), QStringLiteral("-C"), QStringLiteral("128"), preview,
                                              QStringLiteral("trim"), QStringLiteral("0"), QStringLiteral("1")});
    return preview;
}

void TestTagCopy::previewKeepsItsSongsTags_data()
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

void TestTagCopy::previewKeepsItsSongsTags()
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

void TestTagCopy::joinedPreviewKeepsWhatAllSongsShare_data()
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

void TestTagCopy::joinedPreviewKeepsWhatAllSongsShare()
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

void TestTagCopy::markReadsBackAndIsNeverCopied_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("ID3v2.3, its frame sizes not sync-safe, a cover first") << "v23.mp3";
    QTest::newRow("ID3v2.4, with ID3v1") << "v24.mp3";
    QTest::newRow("FLAC") << "song.flac";
}

// Read walks the frames of the preview's own ID3v2 version; a preview made of a marked file
// is not marked unless asked.
void TestTagCopy::markReadsBackAndIsNeverCopied()
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

// A tag stays far below the 256 MB players read: a compressed frame is never expanded past
// the cap, and what does not fit is left out, largest first. An encrypted frame would read
// as garbage without its flags.
void TestTagCopy::partsThatCannotBeCopiedAreLeftOut_data()
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

void TestTagCopy::partsThatCannotBeCopiedAreLeftOut()
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

void TestTagCopy::songIsNamedByItsTags_data()
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
void TestTagCopy::songIsNamedByItsTags()
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

// TagLib reads INFO's track as a number; the preview keeps "1/6" as the song has it.
void TestTagCopy::wavInfoTrackKeepsItsTotal()
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

QTEST_GUILESS_MAIN(TestTagCopy)
#include "tst_tagcopy.moc"
