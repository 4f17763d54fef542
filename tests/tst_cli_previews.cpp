// The previews lumbrisk-cli makes: their songs' tags, their lengths, and each format it writes.

#include "clitestcase.h"
#include "audiofixtures.h"
#include "hostilefixtures.h"
#include "tagfixtures.h"

#include "preview/previewmark.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTest>

#include <optional>

class TestCliPreviews : public CliTestCase {
    Q_OBJECT

private slots:
    void previewsKeepTheirSongsTags_data();
    void previewsKeepTheirSongsTags();
    void previewsLastAsAsked_data();
    void previewsLastAsAsked();
    void previewsInEachFormat_data();
    void previewsInEachFormat();
};

void TestCliPreviews::previewsKeepTheirSongsTags_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("tags"); // each preview's source's own, what all share, or none
    QTest::addColumn<QString>("said"); // a pattern for standard error and output
    const QStringList songs{QStringLiteral("A.mp3"), QStringLiteral("B.mp3")};
    const QString noTags = QStringLiteral("--no-tags");
    const QString join = QStringLiteral("--join");
    QTest::newRow("copied") << songs << "own" << "^2 of 2 previews made$";
    QTest::newRow("joined") << QStringList{join} + songs << "shared" << "Joined_Preview.mp3 made from 2 of 2";
    QTest::newRow("--no-tags") << QStringList{noTags} + songs << "none" << "^2 of 2 previews made$";
    QTest::newRow("--no-tags, joined") << QStringList{noTags, join} + songs << "none" << "made from 2 of 2";
    const QString unread = QStringLiteral("tags not copied: TagLib cannot read tags from C\\.au");
    QTest::newRow("tags not copied") << QStringList{QStringLiteral("C.au")} << "own"
                                     << "^1/1 made: .*/C_Preview\\.mp3; " + unread + "$";
    QTest::newRow("tags not copied, --json") << QStringList{QStringLiteral("--json"), QStringLiteral("C.au")} << "own"
                                             << "\\s+\"tagProblem\": \"" + unread + "\"";
}

void TestCliPreviews::previewsKeepTheirSongsTags()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, tags);
    QFETCH(QString, said);
    const QString output = folder(QStringLiteral("tags/") + QTest::currentDataTag());
    QStringList sources;
    for (QString &argument : arguments) {
        if (argument.contains(QLatin1Char('.')))
            sources << (argument = m_tagged + QLatin1Char('/') + argument);
    }
    const Run result = run(QStringList{QStringLiteral("-o"), output} + arguments);
    QCOMPARE(result.status, 0);
    QVERIFY2(QRegularExpression(said, QRegularExpression::MultilineOption).match(result.err + result.out).hasMatch(),
             qPrintable(result.err + result.out));
    // Every file made carries Lumbrisk's mark, with or without its songs' tags.
    const auto withoutMark = [](TagFixtures::Tags tags) {
        const QStringList mark = tags.text.take(QStringLiteral("LUMBRISK"));
        return mark.size() == 1 && mark.constFirst().startsWith(QStringLiteral("2 source=")) ? std::optional(tags) : std::nullopt;
    };
    if (tags == QLatin1String("own")) {
        for (const QString &source : std::as_const(sources)) {
            const QString preview = output + QLatin1Char('/') + QFileInfo(source).completeBaseName() + QStringLiteral("_Preview.mp3");
            const std::optional<TagFixtures::Tags> copied = withoutMark(TagFixtures::Read(preview));
            QVERIFY(copied);
            QCOMPARE(copied->text, TagFixtures::Read(source).text);
        }
        return;
    }
    const QStringList made = Fixtures::FilesBelow(output);
    QVERIFY(!made.isEmpty());
    // Songs of one album make a sampler named after it.
    TagFixtures::Text sampler = TagFixtures::Album();
    sampler.insert(QStringLiteral("TITLE"), sampler.value(QStringLiteral("ALBUM")));
    for (const QString &name : made) {
        const std::optional<TagFixtures::Tags> preview = withoutMark(TagFixtures::Read(output + QLatin1Char('/') + name));
        QVERIFY(preview);
        if (tags == QLatin1String("none"))
            QVERIFY(preview->text.isEmpty() && preview->frames == QStringList{QStringLiteral("TXXX")} && preview->id3v1.isEmpty());
        else
            QCOMPARE(preview->text, sampler);
    }
}

// Every preview made is stereo at 48000 Hz and lasts as long as its cut, give or take a frame
// or two of LAME's; a crossfaded join lasts its pieces less the overlaps.
void TestCliPreviews::previewsLastAsAsked_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("previews"); // in the output folder
    QTest::addColumn<QList<double>>("seconds"); // each one's
    const QString a = QStringLiteral("Tone A.mp3");
    const QString b = QStringLiteral("Tone B.mp3");
    const QString joined = QStringLiteral("Joined_Preview.mp3");
    QTest::newRow("crossfaded join")
        << QStringList{QStringLiteral("--join"), QStringLiteral("--crossfade"), QStringLiteral("1"), QStringLiteral("-d"),
                       QStringLiteral("3"), QStringLiteral("-s"), QStringLiteral("0"), a, b, a}
        << QStringList{joined} << QList<double>{3 * 3 - 2 * 1};
    QTest::newRow("--starts as the list")
        << QStringList{QStringLiteral("--starts"), QStringLiteral("starts.csv")}
        << QStringList{QStringLiteral("Tone A_Preview.mp3"), QStringLiteral("Tone B_Preview.mp3")} << QList<double>{2, 3};
    // 50 % needs each master's length; the cut's check needs it too.
    QStringList masters;
    for (const char *name : {"aiff", "flac24", "m4a", "ogg", "opus", "wav"})
        masters.append(QString::fromLatin1(name) + QStringLiteral("_Preview.mp3"));
    QTest::newRow("any master, -e list") << QStringList{QStringLiteral("-e"), QStringLiteral("flac,wav,aiff,ogg,m4a,opus"),
                                                        QStringLiteral("-s"), QStringLiteral("50%"), QStringLiteral("-d"),
                                                        QStringLiteral("2"), m_masters}
                                         << masters << QList<double>(6, 2);
    QTest::newRow("any master, by default") << QStringList{QStringLiteral("-s"), QStringLiteral("50%"), QStringLiteral("-d"),
                                                           QStringLiteral("2"), m_masters}
                                            << masters << QList<double>(6, 2);
    // SoX cuts a loudness preview from the two channels the measuring decoded of a mono MP3.
    const QString mono = folder(QStringLiteral("mono")) + QStringLiteral("/Mono.mp3");
    QVERIFY(QProcess::execute(QStringLiteral("sox"), {QStringLiteral("-n"), QStringLiteral("-c"), QStringLiteral("1"),
                                                      QStringLiteral("-r"), QStringLiteral("44100"), mono,
                                                      QStringLiteral("synth"), QStringLiteral("5"), QStringLiteral("sine"),
                                                      QStringLiteral("440")})
            == 0);
    QTest::newRow("--loudness, a mono MP3") << QStringList{QStringLiteral("--loudness"), QStringLiteral("-16"),
                                                           QStringLiteral("-s"), QStringLiteral("1"), QStringLiteral("-d"),
                                                           QStringLiteral("3"), mono}
                                            << QStringList{QStringLiteral("Mono_Preview.mp3")} << QList<double>{3};
    // "[ab].mp3" beside "a.mp3": read as a pattern, the preview would be a.mp3's audio.
    const QString globbed = folder(QStringLiteral("globbed"));
    QVERIFY(Fixtures::MakeTone(globbed + QStringLiteral("/[ab].mp3"), 9)); // before the name it matches is there
    QVERIFY(copyAnew(m_music + QStringLiteral("/Tone A.mp3"), globbed + QStringLiteral("/a.mp3")));
    QTest::newRow("a name that is a pattern") << QStringList{QStringLiteral("-s"), QStringLiteral("0"), QStringLiteral("-d"),
                                                             QStringLiteral("8"), globbed + QStringLiteral("/[ab].mp3")}
                                              << QStringList{QStringLiteral("[ab]_Preview.mp3")} << QList<double>{8};
    // FFmpeg decodes it with a warning for every third frame, far more than a pipe holds.
    const QString warned = folder(QStringLiteral("broken")) + QStringLiteral("/warned.aac");
    QVERIFY(Fixtures::MakeDamagedAac(warned, 90, 3));
    QTest::newRow("an AAC warned of frame by frame, -s auto")
        << QStringList{QStringLiteral("-s"), QStringLiteral("auto"), QStringLiteral("-d"), QStringLiteral("3"), warned}
        << QStringList{QStringLiteral("warned_Preview.mp3")} << QList<double>{3};
    // libmpg123 reads an ID3v2 tag in time that grows with the square of its frames.
    const QString tagged = folder(QStringLiteral("broken")) + QStringLiteral("/Tagged.mp3");
    QVERIFY(Fixtures::WriteWithTextFrames(m_music + QStringLiteral("/Tone B.mp3"), tagged, 20000));
    QTest::newRow("--loudness, behind a tag of 20000 frames")
        << QStringList{QStringLiteral("--loudness"), QStringLiteral("-16"), QStringLiteral("-s"), QStringLiteral("1"),
                       QStringLiteral("-d"), QStringLiteral("3"), tagged}
        << QStringList{QStringLiteral("Tagged_Preview.mp3")} << QList<double>{3};
    // SoX knows no length of what FFmpeg decodes: its fade-out would pad the cut with silence.
    QTest::newRow("an M4A that ends, with a fade-out")
        << QStringList{QStringLiteral("-s"), QStringLiteral("2"), QStringLiteral("-d"), QStringLiteral("10"),
                       QStringLiteral("--fade-out"), QStringLiteral("1"), m_masters + QStringLiteral("/m4a.m4a")}
        << QStringList{QStringLiteral("m4a_Preview.mp3")} << QList<double>{3.05}; // AAC adds a little at the start
}

void TestCliPreviews::previewsLastAsAsked()
{
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, previews);
    QFETCH(QList<double>, seconds);
    const QString output = folder(QStringLiteral("lengths/") + QTest::currentDataTag());
    const Run result = run(QStringList{QStringLiteral("-q"), QStringLiteral("-o"), output} + arguments);
    QVERIFY2(result.status == 0, qPrintable(result.err));
    QCOMPARE(Fixtures::FilesBelow(output), previews);
    for (qsizetype index = 0; index < previews.size(); ++index) {
        const Fixtures::AudioFacts facts = Fixtures::Describe(output + QLatin1Char('/') + previews.at(index));
        QCOMPARE(facts.channels, 2);
        QCOMPARE(facts.sampleRate, 48000);
        QVERIFY2(qAbs(facts.seconds - seconds.at(index)) < 3 * Fixtures::FrameSeconds,
                 qPrintable(QStringLiteral("%1 lasts %2 s").arg(previews.at(index)).arg(facts.seconds)));
    }
}

void TestCliPreviews::previewsInEachFormat_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("extension");
    QTest::addColumn<QString>("codec");
    QTest::addColumn<double>("longest"); // seconds an encoder's padding may add to what was asked
    QTest::newRow("mp3") << "mp3" << "mp3" << "mp3" << 2 * Fixtures::FrameSeconds;
    QTest::newRow("aac") << "aac" << "m4a" << "aac" << 2 * 1024.0 / 48000;
    QTest::newRow("opus") << "opus" << "opus" << "opus" << 960.0 / 48000;
}

// Separate previews and a crossfaded sampler at -14 LUFS with the limiter: FFmpeg reads the
// codec asked, TagLib the songs' tags, cover and Lumbrisk's mark, FFmpeg's meter the
// loudness and the peak of the file as encoded; --update keeps them and --prune takes the
// preview of a song gone, never a file of the user's under a preview's name.
void TestCliPreviews::previewsInEachFormat()
{
    QFETCH(QString, format);
    QFETCH(QString, extension);
    QFETCH(QString, codec);
    QFETCH(double, longest);
    const QString songs = folder(QStringLiteral("formats/songs-") + format);
    const QString out = folder(QStringLiteral("formats/") + format);
    const QString clicks = folder(QStringLiteral("formats/parts-") + format) + QStringLiteral("/clicks.wav");
    const QString tone = folder(QStringLiteral("formats/parts-") + format) + QStringLiteral("/tone.wav");
    QVERIFY(Fixtures::MakeSound(clicks, QStringLiteral("synth 5 square 3 gain -6 highpass 4000").split(QLatin1Char(' '))));
    QVERIFY(Fixtures::MakeSound(tone, QStringLiteral("synth 5 sine 440 gain -19").split(QLatin1Char(' '))));
    QStringList sources{songs + QStringLiteral("/Tick.flac")}; // its clicks must be limited to reach the target
    QCOMPARE(QProcess::execute(QStringLiteral("sox"), {QStringLiteral("-m"), clicks, tone, sources.first()}), 0);
    for (const QString &name : {QStringLiteral("Shout"), QStringLiteral("Gone")}) {
        sources << songs + QLatin1Char('/') + name + QStringLiteral(".flac");
        QCOMPARE(QProcess::execute(QStringLiteral("sox"), QStringList{QStringLiteral("-n"), sources.constLast()}
                                                              + QStringLiteral("synth 5 sine 330 brownnoise gain -6").split(QLatin1Char(' '))),
                 0);
    }
    for (const QString &source : sources)
        QVERIFY(TagFixtures::Write(source, {{QStringLiteral("TITLE"), {QFileInfo(source).baseName()}},
                                            {QStringLiteral("ALBUM"), {QStringLiteral("Formats")}}}, TagFixtures::Cover()));
    const QString users = out + QStringLiteral("/Shout_Preview.") + extension;
    QVERIFY(Fixtures::WriteFile(users, "the user's own"));
    const QStringList common = QStringLiteral("--json -s 0.5 -d 4 --loudness -14 --limit --format").split(QLatin1Char(' ')) << format;
    const Run separate = run(common + QStringList{QStringLiteral("-o"), out} + sources);
    const Run joined = run(common + QStringList{QStringLiteral("--join"), QStringLiteral("--crossfade"), QStringLiteral("1"),
                                                QStringLiteral("-o"), out + QStringLiteral("/joined")} + sources.mid(0, 2));
    QVERIFY2(separate.status == 0 && joined.status == 0, qPrintable(separate.err + joined.err));
    const QString tick = out + QStringLiteral("/Tick_Preview.") + extension;
    const QString gone = out + QStringLiteral("/Gone_Preview.") + extension;
    const QMap<QString, double> made{{tick, 4}, {out + QStringLiteral("/Shout_Preview (2).") + extension, 4}, {gone, 4},
                                     {out + QStringLiteral("/joined/Joined_Preview.") + extension, 7}};
    for (auto preview = made.cbegin(); preview != made.cend(); ++preview) {
        const QString name = QFileInfo(preview.key()).fileName();
        const Fixtures::AudioFacts facts = Fixtures::Describe(preview.key());
        QCOMPARE(facts.codec, codec);
        QVERIFY2(facts.sampleRate == 48000 && facts.channels == 2, qPrintable(name));
        QVERIFY2(facts.seconds >= preview.value() - 0.01 && facts.seconds <= preview.value() + longest,
                 qPrintable(QStringLiteral("%1 plays %2 s").arg(name).arg(facts.seconds)));
        const TagFixtures::Tags tags = TagFixtures::Read(preview.key());
        QCOMPARE(tags.text.value(QStringLiteral("ALBUM")), QStringList{QStringLiteral("Formats")});
        QCOMPARE(tags.pictures, QList<QByteArray>{TagFixtures::Cover()});
        QVERIFY2(PreviewMark::Read(preview.key()), qPrintable(name));
        const Fixtures::LoudnessFacts loudness = Fixtures::MeasureLoudness(preview.key());
        QVERIFY2(qAbs(loudness.integrated + 14) <= 0.5 && loudness.truePeak <= -1,
                 qPrintable(QStringLiteral("%1: %2 LUFS, %3 dBTP").arg(name).arg(loudness.integrated).arg(loudness.truePeak)));
    }
    QCOMPARE(TagFixtures::Read(tick).text.value(QStringLiteral("TITLE")), QStringList{QStringLiteral("Tick")});

    QVERIFY(QFile::remove(sources.takeLast()));
    const QByteArray before = Fixtures::Contents(tick);
    // Its song recorded below a FOLDER argument and not there: gone.
    const Run again = run(common + QStringList{QStringLiteral("--update"), QStringLiteral("--prune"), QStringLiteral("-o"), out, songs});
    QCOMPARE(again.status, 0);
    const QJsonArray previews = QJsonDocument::fromJson(again.out.toUtf8()).object().value(QStringLiteral("previews")).toArray();
    QCOMPARE(previews.size(), 2);
    for (const QJsonValue &preview : previews)
        QVERIFY(preview.toObject().value(QStringLiteral("up_to_date")).toBool());
    QCOMPARE(Fixtures::Contents(tick), before);
    QVERIFY(!QFile::exists(gone));
    QCOMPARE(Fixtures::Contents(users), QByteArray("the user's own"));
}

QTEST_GUILESS_MAIN(TestCliPreviews)
#include "tst_cli_previews.moc"
