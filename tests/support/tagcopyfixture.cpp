#include "tagcopyfixture.h"

#include "analysis/sourceaudio.h"
#include "audiofixtures.h"

#include <QFileInfo>
#include <QProcess>
#include <QTest>

#include <apetag.h>
#include <flacfile.h>
#include <id3v1tag.h>
#include <id3v2tag.h>
#include <infotag.h>
#include <mpegfile.h>
#include <privateframe.h>
#include <relativevolumeframe.h>
#include <wavfile.h>

using TagFixtures::Text;

const Text TagCopyFixture::Song{
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

const QStringList TagCopyFixture::WholeTrackKeys{QStringLiteral("LENGTH"), QStringLiteral("REPLAYGAIN_TRACK_GAIN")};

namespace {

Text withWholeTrackKeys(Text text)
{
    text.insert(TagCopyFixture::WholeTrackKeys.at(0), {QStringLiteral("180000")});
    text.insert(TagCopyFixture::WholeTrackKeys.at(1), {QStringLiteral("-6.20 dB")});
    return text;
}

// The second song of the album: its own title, track and day.
Text secondSong()
{
    Text text = TagCopyFixture::Song;
    text[QStringLiteral("TITLE")] = QStringList{QStringLiteral("Zweites Lied")};
    text[QStringLiteral("TRACKNUMBER")] = QStringList{QStringLiteral("4/12")};
    text[QStringLiteral("DATE")] = QStringList{QStringLiteral("2011-10-01")};
    return text;
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
    const TagLib::PropertyMap properties = TagFixtures::Properties(ape ? withWholeTrackKeys(TagCopyFixture::Song) : TagCopyFixture::Song);
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

// The song's comment under Vorbis's name for it, alone or beside a COMMENT.
Text described(bool withComment)
{
    Text text = TagCopyFixture::Song;
    const QStringList comment = withComment ? text.value(QStringLiteral("COMMENT")) : text.take(QStringLiteral("COMMENT"));
    text.insert(QStringLiteral("DESCRIPTION"), withComment ? QStringList{QStringLiteral("Beschreibung ✎")} : comment);
    return text;
}

} // namespace

bool TagCopyFixture::makeAudio(const QString &path)
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

QByteArray TagCopyFixture::id3v23Tag(const char *id, char formatFlags, const QByteArray &body)
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

bool TagCopyFixture::writeInfo(const QString &path, const QByteArray &title, const QByteArray &artist, const QString &id3Title)
{
    TagLib::RIFF::WAV::File file(QFile::encodeName(path).constData(), false);
    // Latin-1 is how TagLib takes bytes as they are.
    file.InfoTag()->setTitle(TagLib::String(title.toStdString(), TagLib::String::Latin1));
    file.InfoTag()->setArtist(TagLib::String(artist.toStdString(), TagLib::String::Latin1));
    if (!id3Title.isEmpty())
        file.ID3v2Tag()->setTitle(TagLib::String(id3Title.toStdString(), TagLib::String::UTF8));
    return file.save(TagLib::RIFF::WAV::File::AllTags);
}

bool TagCopyFixture::addLargePictures(const QString &path)
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

void TagCopyFixture::initTestCase()
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

QString TagCopyFixture::cut(const QString &sourcePath)
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
