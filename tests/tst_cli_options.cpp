// lumbrisk-cli's options, seen in the lines of a dry run or in what it shows; names that are
// not valid UTF-8; the start found in the chorus; what a terminal shows.

#include "clitestcase.h"
#include "audiofixtures.h"
#include "tagfixtures.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTest>

#include <algorithm>

class TestCliOptions : public CliTestCase {
    Q_OBJECT

private slots:
    void options_data();
    void options();
    void namesNotValidUtf8AreLeftOut_data();
    void namesNotValidUtf8AreLeftOut();
    void autoStartIsTheChorus();
    void terminalShows_data();
    void terminalShows();
};

// Each option once, seen in the command lines of a dry run (or, for the ones about what is
// shown, in what is shown).
void TestCliOptions::options_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("expected"); // a pattern for standard output

    const QString a = QStringLiteral("Tone A.mp3");
    const QString dry = QStringLiteral("--dry-run");
    QTest::newRow("--start seconds") << QStringList{dry, QStringLiteral("--start"), QStringLiteral("2.5"), a}
                                     << QStringLiteral(" trim 2.5 15\n");
    QTest::newRow("-s m:ss") << QStringList{dry, QStringLiteral("-s"), QStringLiteral("1:05"), a}
                             << QStringLiteral(" trim 65 15\n");
    QTest::newRow("-s share of the track") << QStringList{dry, QStringLiteral("-s"), QStringLiteral("50%"), a}
                                           << QStringLiteral(" trim 2\\.5\\d* 15\n");
    // Too short to hold a chorus: a quarter in.
    QTest::newRow("-s auto") << QStringList{dry, QStringLiteral("-s"), QStringLiteral("auto"), a}
                             << QStringLiteral(" trim 1\\.2\\d* 15\n");
    QTest::newRow("--duration") << QStringList{dry, QStringLiteral("--duration"), QStringLiteral("0:02"), a}
                                << QStringLiteral(" trim 3 2\n");
    QTest::newRow("-b") << QStringList{dry, QStringLiteral("-b"), QStringLiteral("64"), a}
                        << QStringLiteral(" -C 64 ");
    QTest::newRow("--bitrate same") << QStringList{dry, QStringLiteral("--bitrate"), QStringLiteral("same"), a}
                                    << QStringLiteral(" -C 192 ");
    QTest::newRow("-o") << QStringList{dry, QStringLiteral("-o"), QStringLiteral("/tmp"), a}
                        << QStringLiteral(" '/tmp/Tone A_Preview.mp3' ");
    QTest::newRow("--beside") << QStringList{dry, QStringLiteral("--beside"), m_music + QStringLiteral("/") + a}
                              << QStringLiteral(" '%1/Tone A_Preview.mp3' ").arg(m_music);
    QTest::newRow("--join") << QStringList{dry, QStringLiteral("--join"), a}
                            << QStringLiteral(" --combine sequence --no-glob \"\\$work\"/0001.mp3 ");
    // SoX would read "[ab].mp3" as a pattern, and take "a.mp3" if there was one.
    const QString patterns = folder(QStringLiteral("patterns"));
    QVERIFY(copyAnew(m_music + QStringLiteral("/Tone A.mp3"), patterns + QStringLiteral("/[ab].mp3")));
    QTest::newRow("names never globbed") << QStringList{dry, QStringLiteral("-o"), patterns, patterns + QStringLiteral("/[ab].mp3")}
                                         << QStringLiteral("^\\S+ --no-glob '%1/\\[ab\\]\\.mp3' .* --no-glob '%1/\\[ab\\]_Preview\\.mp3' trim ")
                                                .arg(patterns);
    QTest::newRow("-e for folders") << QStringList{dry, QStringLiteral("-e"), QStringLiteral("TXT"), m_music}
                                    << QStringLiteral("^\\S+ --no-glob %1/notes.txt ").arg(m_music);
    // Files marked as previews (any name, any form of the mark) are no songs; a song whose
    // name looks like a preview's is one.
    const QString previews = folder(QStringLiteral("previews"));
    QDir(previews).mkdir(QStringLiteral("out"));
    for (const char *name : {"Song.mp3", "Song_Preview.mp3", "Renamed.mp3", "out/Joined_Preview.mp3"})
        QFile::copy(m_music + QStringLiteral("/Tone A.mp3"), previews + QLatin1Char('/') + QString::fromLatin1(name));
    TagFixtures::Write(previews + QStringLiteral("/Renamed.mp3"), {{QStringLiteral("LUMBRISK"), {QStringLiteral("1")}}});
    TagFixtures::Write(previews + QStringLiteral("/out/Joined_Preview.mp3"),
                       {{QStringLiteral("LUMBRISK"), {QStringLiteral("2 source=/gone/ joined=2")}}});
    QTest::newRow("FOLDER without its previews")
        << QStringList{dry, previews}
        << QStringLiteral("\\A\\S+ --no-glob '?%1/Song_Preview\\.mp3'? [^\\n]*\n\\S+ --no-glob '?%1/Song\\.mp3'? [^\\n]*\n\\z").arg(previews);
    QTest::newRow("FOLDER in name order") << QStringList{dry, m_album->root()}
                                          << QStringLiteral("/Track 1\\.mp3' .*\n.*/track 2\\.mp3' .*\n.*/Track 10\\.mp3' ");
    QTest::newRow("--fade-in") << QStringList{dry, QStringLiteral("--fade-in"), QStringLiteral("1"), a}
                               << QStringLiteral(" fade 1\n");
    QTest::newRow("--fade-out") << QStringList{dry, QStringLiteral("--fade-out"), QStringLiteral("2"), a}
                                << QStringLiteral(" fade 0 -0 2\n");
    // The tone is far louder than -16 LUFS. SoX cuts the stretch the measuring decoded, the
    // 2 s from second 3 to the song's end, and its line has lumbrisk-cli decode it again.
    QTest::newRow("--loudness") << QStringList{dry, QStringLiteral("--loudness"), QStringLiteral("-16"), a}
                                << QStringLiteral(" --decoded-stretch 3 15 '[^']*/Tone A\\.mp3' \\| \\S+ -t wav - "
                                                  ".* trim 0 2\\.0\\d* gain -\\d+\\.\\d+\n");
    // SoX decodes the stretch of a FLAC master as the run's analysis did, lumbrisk-cli limits
    // it, and SoX cuts it with the gain that the limiter let reach the loudness.
    QTest::newRow("--limit") << QStringList{dry, QStringLiteral("--loudness"), QStringLiteral("-14"), QStringLiteral("--limit"),
                                            loudMaster(QStringLiteral("flac"))}
                             << QStringLiteral("^\\S+ --no-glob '?[^ ]*/Loud\\.flac'? -t f32 -c 2 -r 44100 - trim 3 15 \\| \\S+ "
                                               "--limited-stretch 44100 -\\d+\\.\\d+ 0 0 \\| \\S+ -t wav - .* gain \\d+\\.\\d+\n");
    // The plan: each file's command line, its start and where it came from, nothing made.
    QTest::newRow("--dry-run --json")
        << QStringList{dry, QStringLiteral("--json"), QStringLiteral("--loudness"), QStringLiteral("-16"), a}
        << QStringLiteral("\"command\": \"\\S+ --decoded-stretch 3 15 '[^']*/Tone A\\.mp3' \\| [^\"]* trim 0 2\\.0\\d* gain "
                          "-\\d+\\.\\d+\",[\\s\\S]*"
                          "\"made\": false,[\\s\\S]*\"start\": 3,\\s+\"start_from\": \"seconds\"");
    QTest::newRow("--json") << QStringList{QStringLiteral("--json"), QStringLiteral("-o"), folder(QStringLiteral("json")), a}
                            << QStringLiteral("\"made\": 1,");
    // A preview that the song's end makes short says so, whatever kind the source is.
    QTest::newRow("--json, a song that ends") << QStringList{QStringLiteral("--json"), QStringLiteral("-s"), QStringLiteral("2"),
                                                             QStringLiteral("-d"), QStringLiteral("10"), QStringLiteral("-o"),
                                                             folder(QStringLiteral("ends")), m_masters + QStringLiteral("/m4a.m4a")}
                                              << QStringLiteral("\"endsEarly\": \"the song ends at 0:05: the preview is "
                                                                "(2.9|3.0|3.1) s\"");
    // Cut from the samples its measuring decoded, and as long as they last.
    QTest::newRow("--json --loudness, a song that ends")
        << QStringList{QStringLiteral("--json"), QStringLiteral("--loudness"), QStringLiteral("-16"), QStringLiteral("-s"),
                       QStringLiteral("2"), QStringLiteral("-d"), QStringLiteral("10"), QStringLiteral("-o"),
                       folder(QStringLiteral("ends-loud")), a}
        << QStringLiteral("\"endsEarly\": \"the song ends at 0:05: the preview is (2.9|3.0|3.1) s\"");
    QTest::newRow("-q") << QStringList{QStringLiteral("-q"), QStringLiteral("-j"), QStringLiteral("1"),
                                       QStringLiteral("-o"), folder(QStringLiteral("quiet")), a}
                        << QStringLiteral("^$");
    QTest::newRow("--help") << QStringList{QStringLiteral("--help")} << QStringLiteral("^Usage: lumbrisk-cli ");
    QTest::newRow("--version") << QStringList{QStringLiteral("--version")} << QStringLiteral("^lumbrisk-cli \\d");
}

void TestCliOptions::options()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, expected);
    const Run result = run(arguments);
    QCOMPARE(result.status, 0);
    QVERIFY2(QRegularExpression(expected, QRegularExpression::MultilineOption).match(result.out).hasMatch(),
             qPrintable(result.out));
    if (arguments.contains(QStringLiteral("-q")))
        QCOMPARE(result.err, QString());
}

// A name that is not valid UTF-8 cannot be handed on unchanged: it is left out, named with its
// bytes escaped, and the run ends with status 1.
void TestCliOptions::namesNotValidUtf8AreLeftOut_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("rawArgument");
    QTest::addColumn<QString>("expected"); // a pattern for standard output and error
    const QString summary = QStringLiteral("^1 of 1 previews made; left out: caf\\\\351\\.mp3$");
    QTest::newRow("in a folder: the summary") << QStringList{m_latin1->root()} << QString() << summary;
    QTest::newRow("in a folder: the JSON report")
        << QStringList{QStringLiteral("--json"), m_latin1->root()} << QString()
        << QStringLiteral("\"leftOut\": \\[\\s*\\{\\s*\"path\": \"%1/caf\\\\\\\\351\\.mp3\",\\s*\"reason\": \"the name is not "
                          "valid UTF-8, so it cannot be passed on unchanged\"").arg(m_latin1->root());
    QTest::newRow("a FILE argument") << QStringList{QStringLiteral("Tone A.mp3")} << m_latin1->path(QStringLiteral("caf\\351.mp3"))
                                     << summary;
}

void TestCliOptions::namesNotValidUtf8AreLeftOut()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, rawArgument);
    QFETCH(QString, expected);
    const QString output = folder(QStringLiteral("leftout/") + QTest::currentDataTag());
    const Run result = run(QStringList{QStringLiteral("-o"), output} + arguments, QString(), QString(), rawArgument);
    QCOMPARE(result.status, 1);
    QVERIFY2(QRegularExpression(expected, QRegularExpression::MultilineOption).match(result.out + result.err).hasMatch(),
             qPrintable(result.out + result.err));
    QCOMPARE(Fixtures::FilesBelow(output).size(), 1);
}

// A song made with SoX, as MP3 (decoded in the process) and as FLAC (decoded by SoX): the
// report, the progress line and the dry run's cut all give the start found in the chorus,
// also for a row of a --starts list; a tone without one starts a quarter in, and says so.
void TestCliOptions::autoStartIsTheChorus()
{
    const QString songs = folder(QStringLiteral("songs"));
    const QString song = songs + QStringLiteral("/Song.mp3");
    const QList<Fixtures::Span> choruses = Fixtures::MakeSong(song, Fixtures::PopSong());
    QVERIFY(!choruses.isEmpty());
    QCOMPARE(QProcess::execute(QStringLiteral("sox"), {song, songs + QStringLiteral("/Song.flac")}), 0);
    const QStringList common{QStringLiteral("-s"), QStringLiteral("auto"), QStringLiteral("-d"), QStringLiteral("30")};
    const Run json = run(QStringList{QStringLiteral("--json"), QStringLiteral("-o"), folder(QStringLiteral("auto"))} + common
                         + QStringList{song, songs + QStringLiteral("/Song.flac"), QStringLiteral("Tone B.mp3")});
    QCOMPARE(json.status, 0);
    const QJsonArray previews = QJsonDocument::fromJson(json.out.toUtf8()).object().value(QStringLiteral("previews")).toArray();
    QCOMPARE(previews.size(), 3);
    for (const int index : {0, 1}) {
        const QJsonObject found = previews.at(index).toObject();
        const double start = found.value(QStringLiteral("start")).toDouble();
        QCOMPARE(found.value(QStringLiteral("start_from")).toString(), QStringLiteral("chorus"));
        QVERIFY2(std::any_of(choruses.begin(), choruses.end(),
                             [start](const Fixtures::Span &chorus) { return start >= chorus.from - 0.1 && start < chorus.to; }),
                 qPrintable(json.out));
        // The chorus found comes back and again: the start lies in one of its occurrences.
        const QJsonArray sections = found.value(QStringLiteral("sections")).toArray();
        QVERIFY2(sections.size() >= 2 && std::any_of(sections.begin(), sections.end(), [start](const QJsonValue &section) {
                     return start >= section[QStringLiteral("begin")].toDouble() - 1
                            && start < section[QStringLiteral("end")].toDouble();
                 }),
                 qPrintable(json.out));
    }
    const QJsonObject tone = previews.at(2).toObject();
    QCOMPARE(tone.value(QStringLiteral("start_from")).toString(), QStringLiteral("fallback"));
    QVERIFY(qAbs(tone.value(QStringLiteral("start")).toDouble() - 1.5) < 0.05);
    QVERIFY2(json.err.contains(QStringLiteral("Tone B.mp3: nothing repeats in it, so its preview starts a quarter in, at 0:01\n")),
             qPrintable(json.err));

    const double start = previews.at(0).toObject().value(QStringLiteral("start")).toDouble();
    const QString clock = QStringLiteral("%1:%2").arg(int(start) / 60).arg(int(start) % 60, 2, 10, QLatin1Char('0'));
    const Run progress = run(QStringList{QStringLiteral("-o"), folder(QStringLiteral("auto-progress"))} + common
                             + QStringList{song});
    QVERIFY2(progress.err.contains(QStringLiteral("_Preview.mp3 from %1\n").arg(clock)), qPrintable(progress.err));
    // The rows of one song in turn: its chorus, then a second of its own.
    QVERIFY(Fixtures::WriteFile(songs + QStringLiteral("/starts.csv"), "Song.mp3,auto\nSong.mp3,5\n"));
    const Run dry = run({QStringLiteral("--dry-run"), QStringLiteral("-d"), QStringLiteral("30"), QStringLiteral("--starts"),
                         songs + QStringLiteral("/starts.csv")});
    QCOMPARE(dry.status, 0);
    QVERIFY2(dry.out.contains(QStringLiteral(" trim %1 30\n").arg(start)) && dry.out.endsWith(QStringLiteral(" trim 5 30\n")),
             qPrintable(dry.out));
}

// What a terminal shows, through a pseudo-terminal as `script` gives one: progress names
// the file below its FOLDER; a dry run's line shows a name's control characters escaped, as
// bash reads them back, rather than letting them recolour the screen.
void TestCliOptions::terminalShows_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("shown");    // a piece of what the terminal shows
    QTest::addColumn<QString>("notShown"); // none: nothing to look for
    QTest::newRow("progress names the file below its folder")
        << QStringList{QStringLiteral("-j"), QStringLiteral("1"), QStringLiteral("-o"), folder(QStringLiteral("progress")), m_tree}
        << QStringLiteral("  Artist B/Track 01.mp3") << QString();
    const QString bad = folder(QStringLiteral("escaped")) + QStringLiteral("/bad\033[31mred\n.mp3");
    QVERIFY(copyAnew(m_music + QStringLiteral("/Tone A.mp3"), bad));
    QTest::newRow("a dry run's line escapes control characters")
        << QStringList{QStringLiteral("--dry-run"), QStringLiteral("-o"), folder(QStringLiteral("escaped")), bad}
        << QStringLiteral("--no-glob $'%1/bad\\033[31mred\\012.mp3' ").arg(folder(QStringLiteral("escaped")))
        << QStringLiteral("\033[31m");
}

void TestCliOptions::terminalShows()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, shown);
    QFETCH(QString, notShown);
    const QString tools = folder(QStringLiteral("slow"));
    Fixtures::WriteScript(tools, QStringLiteral("sox"),
                          QStringLiteral("case \"$*\" in *Artist\\ B*) sleep 1.5;; esac\nexec /usr/bin/sox \"$@\""));
    QStringList words;
    for (const QString &word : QStringList{program()} + arguments)
        words.append(QLatin1Char('\'') + word + QLatin1Char('\''));
    QProcess *terminal = prepare({}, tools + QStringLiteral(":/usr/bin:/bin"));
    terminal->setProgram(QStringLiteral("script"));
    terminal->setArguments({QStringLiteral("-qec"), words.join(QLatin1Char(' ')), QStringLiteral("/dev/null")});
    terminal->start();
    QVERIFY(terminal->waitForFinished(30000));
    const QString output = QString::fromUtf8(terminal->readAllStandardOutput());
    QCOMPARE(terminal->exitCode(), 0);
    QVERIFY2(output.contains(shown), qPrintable(output));
    QVERIFY2(notShown.isEmpty() || !output.contains(notShown), qPrintable(output));
}

QTEST_GUILESS_MAIN(TestCliOptions)
#include "tst_cli_options.moc"
