// lumbrisk-cli as installed, run with real SoX and FFmpeg and no display: its options, its
// exit statuses, the stops a shell gives it (Ctrl+C, SIGHUP, a closed pipe, kill -9), runs
// side by side, that parallel runs and dry runs make the very same previews as one tool at a
// time, lists of some thousand files, and previews brought to a loudness.

#include "audiofixtures.h"
#include "foldertree.h"
#include "hostilefixtures.h"
#include "tagfixtures.h"

#include "analysis/loudness.h"
#include "filelist/addfolder.h"
#include "platform/consoleprompts.h"
#include "platform/main.h"
#include "preview/previewmark.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct Run {
    int status = -1;
    QString out;
    QString err;
};

QString program()
{
    return qEnvironmentVariable("LUMBRISK_BUILD_DIR") + QStringLiteral("/installed/bin/lumbrisk-cli");
}

// True once the process catches the signal, that is, once its handler is in place.
bool catches(qint64 pid, int signalNumber)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("SigCgt:"))
            return (line.mid(7).trimmed().toULongLong(nullptr, 16) >> (signalNumber - 1)) & 1;
    }
    return false;
}

// The source and the preview of each line of a dry run, in order.
QList<QPair<QString, QString>> plannedPairs(const QString &lines)
{
    static const QRegularExpression cut(QStringLiteral("^\\S+ --no-glob '([^']+)' .* --no-glob '([^']+)' trim "));
    QList<QPair<QString, QString>> pairs;
    for (const QString &line : lines.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QRegularExpressionMatch match = cut.match(line);
        pairs.append({match.captured(1), match.captured(2)});
    }
    return pairs;
}

// A PATH whose sox, made in the folder, hangs on Tone B after noting its process id in the
// folder's "pids", and hands every other run to the real SoX. withChild: it waits on a
// program of its own, noted in "children", as SoX waits on the shell fetching an address.
QString hangingTools(const QString &folder, bool withChild = false)
{
    const QString hang = withChild ? QStringLiteral("sleep 60 & echo $! >> '%1/children'; wait").arg(folder) : QStringLiteral("exec sleep 60");
    Fixtures::WriteScript(folder, QStringLiteral("sox"),
                          QStringLiteral("case \"$*\" in *Tone\\ B*) echo $$ >> '%1/pids'; %2;; esac\n"
                                         "exec /usr/bin/sox \"$@\"").arg(folder, hang));
    return folder + QStringLiteral(":/usr/bin:/bin");
}

// A PATH whose sox, made in the folder, notes that it started (a file "started.<pid>"), then
// takes a second before it runs the real SoX: another run is started meanwhile.
QString slowTools(const QString &folder)
{
    Fixtures::WriteScript(folder, QStringLiteral("sox"),
                          QStringLiteral("case \"$1\" in -h) exec /usr/bin/sox \"$@\";; esac\n: > '%1/started.'$$\n"
                                         "sleep 1\nexec /usr/bin/sox \"$@\"").arg(folder));
    return folder + QStringLiteral(":/usr/bin:/bin");
}

// A PATH whose sox, made in the folder, adds a line to its "encodings" for each run that
// encodes into the output folder, and hands every run to the real SoX.
QString countingTools(const QString &folder, const QString &output)
{
    Fixtures::WriteScript(folder, QStringLiteral("sox"),
                          QStringLiteral("case \"$*\" in *' -C '*'%2/'*) echo >> '%1/encodings';; esac\n"
                                         "exec /usr/bin/sox \"$@\"").arg(folder, output));
    return folder + QStringLiteral(":/usr/bin:/bin");
}

QList<pid_t> hungTools(const QString &folder, const QString &file = QStringLiteral("pids"))
{
    QList<pid_t> pids;
    for (const QByteArray &line : Fixtures::Contents(folder + QLatin1Char('/') + file).split('\n')) {
        if (!line.isEmpty())
            pids.append(pid_t(line.toInt()));
    }
    return pids;
}

// A loud song as dance music may be mastered: low kicks of `hertz` every `period` seconds over
// pink noise, near full scale; 12 s, the same each time it is made (SoX's -R).
bool makeKickSong(const QString &path, int hertz, double period)
{
    const auto sox = [](const QStringList &arguments) {
        return QProcess::execute(QStringLiteral("sox"), QStringList{QStringLiteral("-R")} + arguments) == 0;
    };
    const QStringList format{QStringLiteral("-n"), QStringLiteral("-r"), QStringLiteral("44100"), QStringLiteral("-c"), QStringLiteral("2")};
    const QString kicks = path + QStringLiteral(".kicks.wav");
    const QString bed = path + QStringLiteral(".bed.wav");
    const bool made =
        sox(format + QStringList{kicks, QStringLiteral("synth"), QStringLiteral("0.2"), QStringLiteral("sine"), QString::number(hertz),
                                 QStringLiteral("fade"), QStringLiteral("0"), QStringLiteral("0.2"), QStringLiteral("0.1"),
                                 QStringLiteral("pad"), QStringLiteral("0"), QString::number(period), QStringLiteral("repeat"),
                                 QStringLiteral("100"), QStringLiteral("trim"), QStringLiteral("0"), QStringLiteral("12")})
        && sox(format + QStringList{bed, QStringLiteral("synth"), QStringLiteral("12"), QStringLiteral("pinknoise"),
                                    QStringLiteral("gain"), QStringLiteral("-14")})
        && sox({QStringLiteral("-m"), kicks, bed, QStringLiteral("-C"), QStringLiteral("192"), path, QStringLiteral("gain"),
                QStringLiteral("-n"), QStringLiteral("-0.2")});
    return QFile::remove(kicks) && QFile::remove(bed) && made;
}

// A copy, or a link, made anew: a data function runs again for each of its rows asked for.
bool copyAnew(const QString &from, const QString &to)
{
    QFile::remove(to);
    return QFile::copy(from, to);
}

bool linkAnew(const QString &target, const QString &link)
{
    QFile::remove(link);
    return QFile::link(target, link);
}

// Whether the process runs: one killed when its parent died stays a zombie until it is reaped.
bool running(pid_t pid)
{
    const QByteArray status = Fixtures::Contents(QStringLiteral("/proc/%1/stat").arg(pid));
    const qsizetype nameEnd = status.lastIndexOf(')');
    return nameEnd > 0 && status.size() > nameEnd + 2 && status.at(nameEnd + 2) != 'Z';
}

} // namespace

class TestCli : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void options_data();
    void options();
    void exitStatuses_data();
    void exitStatuses();
    void namesNotValidUtf8AreLeftOut_data();
    void namesNotValidUtf8AreLeftOut();
    void stopsKeepFinishedPreviewsOnly_data();
    void stopsKeepFinishedPreviewsOnly();
    void killedRunLeavesNoToolAndTheNextRunCleansUp_data();
    void killedRunLeavesNoToolAndTheNextRunCleansUp();
    void relativeNamesNeedAReadableCurrentFolder_data();
    void relativeNamesNeedAReadableCurrentFolder();
    void twoRunsIntoOneFolderDoNotClash();
    void jobsDoNotChangeThePreviews();
    void dryRunLinesMakeTheSamePreviews_data();
    void dryRunLinesMakeTheSamePreviews();
    void loudnessMeetsTheTarget_data();
    void loudnessMeetsTheTarget();
    void encodedPreviewStaysBelowThePeakCeiling_data();
    void encodedPreviewStaysBelowThePeakCeiling();
    void limitBringsLoudMastersToTheTarget_data();
    void limitBringsLoudMastersToTheTarget();
    void previewsKeepTheirSongsTags_data();
    void previewsKeepTheirSongsTags();
    void previewsLastAsAsked_data();
    void previewsLastAsAsked();
    void largeListIsPlannedWholeInOrder();
    void signalStopsALargeListBeforeItsCuts_data();
    void signalStopsALargeListBeforeItsCuts();
    void autoStartIsTheChorus();
    void terminalShows_data();
    void terminalShows();
    void updateKeepsWhatIsUpToDate_data();
    void updateKeepsWhatIsUpToDate();
    void overlappingNightsMakeNothingTwice_data();
    void overlappingNightsMakeNothingTwice();
    void pruneRemovesOnlyWhatIsProvedGone_data();
    void pruneRemovesOnlyWhatIsProvedGone();
    void jobsKeepWithinTheLimitOfOpenFiles();
    void previewsInEachFormat_data();
    void previewsInEachFormat();

private:
    // rawArgument: printf's format of one more argument, for bytes that are not valid UTF-8.
    QProcess *prepare(const QStringList &arguments, const QString &path = QString(), const QString &temp = QString(),
                      const QString &rawArgument = QString());
    QProcess *launch(const QStringList &arguments, const QString &path = QString(), const QString &temp = QString(),
                     const QString &rawArgument = QString());
    Run run(const QStringList &arguments, const QString &path = QString(), const QString &temp = QString(),
            const QString &rawArgument = QString());
    QString folder(const QString &name) const;
    QStringList previewsIn(const QString &name) const;
    QString largeTree();
    // A loud master of the kind the extension names (mp3, 320.mp3, flac, wav, m4a, opus), made once.
    QString loudMaster(const QString &extension);

    QTemporaryDir m_dir;
    // Tone A.mp3 (5 s), Tone B.mp3 (6 s), both 192 kbps, notes.txt, pipe.mp3, a FIFO, and
    // starts.csv, giving each tone its own cut, and bad starts.csv, naming a file not there
    QString m_music;
    QString m_masters; // Tone A (5 s) as 24-bit FLAC, WAV, AIFF, Ogg Vorbis, M4A (AAC) and Opus
    QString m_tagged; // A.mp3 and B.mp3, tagged songs of one album, and C.au, whose tags TagLib cannot read
    std::unique_ptr<FolderTree> m_album;  // Track 1, track 2 and Track 10.mp3, copies of Tone A
    std::unique_ptr<FolderTree> m_latin1; // plain.mp3 and caf\351.mp3, a name in Latin-1
    QString m_tree;  // Artist A/Album 1/Track 01.mp3 (Tone A) and Artist B/Track 01.mp3 (Tone B)
};

void TestCli::initTestCase()
{
    QVERIFY2(QFileInfo(program()).isExecutable(), "install the build tree first (the install_tree test)");
    m_music = folder(QStringLiteral("music"));
    QVERIFY(Fixtures::MakeTone(m_music + QStringLiteral("/Tone A.mp3"), 5, 440));
    QVERIFY(Fixtures::MakeTone(m_music + QStringLiteral("/Tone B.mp3"), 6, 660));
    QVERIFY(Fixtures::WriteFile(m_music + QStringLiteral("/notes.txt"), "not audio"));
    m_masters = folder(QStringLiteral("masters"));
    for (const char *name : {"flac24.flac", "wav.wav", "aiff.aiff", "ogg.ogg"})
        QCOMPARE(QProcess::execute(QStringLiteral("sox"), {m_music + QStringLiteral("/Tone A.mp3"), QStringLiteral("-b"),
                                                           QStringLiteral("24"), m_masters + QLatin1Char('/') + QString::fromLatin1(name)}),
                 0);
    for (const char *codec : {"aac", "libopus"}) {
        const QString name = m_masters + (qstrcmp(codec, "aac") == 0 ? QStringLiteral("/m4a.m4a") : QStringLiteral("/opus.opus"));
        QCOMPARE(QProcess::execute(QStringLiteral("ffmpeg"), {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-i"),
                                                              m_music + QStringLiteral("/Tone A.mp3"), QStringLiteral("-c:a"),
                                                              QString::fromLatin1(codec), name}),
                 0);
    }
    QVERIFY(Fixtures::WriteFile(m_music + QStringLiteral("/starts.csv"),
                                "file,start,duration\r\nTone B.mp3,50%,\r\n\"Tone A.mp3\",1,2\r\n"));
    QVERIFY(Fixtures::WriteFile(m_music + QStringLiteral("/bad starts.csv"), "Tone A.mp3,1\nTone C.mp3,1\n"));
    QCOMPARE(::mkfifo(QFile::encodeName(m_music + QStringLiteral("/pipe.mp3")).constData(), 0600), 0);
    m_tagged = folder(QStringLiteral("tagged"));
    for (const QString name : {QStringLiteral("A"), QStringLiteral("B")}) {
        const QString song = m_tagged + QLatin1Char('/') + name + QStringLiteral(".mp3");
        QVERIFY(Fixtures::MakeTone(song, 5));
        QVERIFY(TagFixtures::WriteAlbumSong(song, QStringLiteral("Café ") + name));
    }
    QCOMPARE(QProcess::execute(QStringLiteral("sox"), {m_music + QStringLiteral("/Tone A.mp3"), m_tagged + QStringLiteral("/C.au")}), 0);
    m_album = std::make_unique<FolderTree>(folder(QStringLiteral("album")));
    for (const char *track : {"Track 10.mp3", "Track 1.mp3", "track 2.mp3"})
        QVERIFY(QFile::copy(m_music + QStringLiteral("/Tone A.mp3"), m_album->path(QString::fromLatin1(track))));
    m_latin1 = std::make_unique<FolderTree>(folder(QStringLiteral("latin1")));
    QVERIFY(QFile::copy(m_music + QStringLiteral("/Tone A.mp3"), m_latin1->path(QStringLiteral("plain.mp3"))));
    m_latin1->withBytes("caf\xe9.mp3", false);
    m_tree = folder(QStringLiteral("tree"));
    QVERIFY(QDir(m_tree).mkpath(QStringLiteral("Artist A/Album 1")) && QDir(m_tree).mkpath(QStringLiteral("Artist B")));
    QVERIFY(QFile::copy(m_music + QStringLiteral("/Tone A.mp3"), m_tree + QStringLiteral("/Artist A/Album 1/Track 01.mp3")));
    QVERIFY(QFile::copy(m_music + QStringLiteral("/Tone B.mp3"), m_tree + QStringLiteral("/Artist B/Track 01.mp3")));
}

void TestCli::cleanupTestCase()
{
    // QTemporaryDir cannot remove a name that is not valid UTF-8; none is made when the set-up failed.
    if (m_latin1)
        m_latin1->removeAll();
    QCOMPARE(Fixtures::FilesBelow(folder(QStringLiteral("config"))), QStringList()); // no settings file
}

QString TestCli::folder(const QString &name) const
{
    QDir(m_dir.path()).mkpath(name);
    return m_dir.filePath(name);
}

QStringList TestCli::previewsIn(const QString &name) const
{
    return Fixtures::FilesBelow(folder(name));
}

// Without any display and with a settings folder of its own, which must stay empty; PATH
// and TEMP as given, when given. The caller starts it.
QProcess *TestCli::prepare(const QStringList &arguments, const QString &path, const QString &temp,
                           const QString &rawArgument)
{
    auto *process = new QProcess(this);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *display : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QString::fromLatin1(display));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), folder(QStringLiteral("config")));
    if (!path.isEmpty())
        environment.insert(QStringLiteral("PATH"), path);
    if (!temp.isEmpty())
        environment.insert(QStringLiteral("TEMP"), temp);
    process->setProcessEnvironment(environment);
    process->setWorkingDirectory(m_music);
    if (rawArgument.isEmpty()) {
        process->setProgram(program());
        process->setArguments(arguments);
        return process;
    }
    environment.insert(QStringLiteral("RAW"), rawArgument);
    process->setProcessEnvironment(environment);
    process->setProgram(QStringLiteral("sh"));
    process->setArguments(QStringList{QStringLiteral("-c"), QStringLiteral("exec \"$0\" \"$@\" \"$(printf \"$RAW\")\""),
                                      program()} + arguments);
    return process;
}

QProcess *TestCli::launch(const QStringList &arguments, const QString &path, const QString &temp,
                          const QString &rawArgument)
{
    QProcess *process = prepare(arguments, path, temp, rawArgument);
    process->start();
    return process;
}

Run TestCli::run(const QStringList &arguments, const QString &path, const QString &temp, const QString &rawArgument)
{
    QProcess *process = launch(arguments, path, temp, rawArgument);
    Run result;
    if (!process->waitForFinished(60000))
        return result;
    result.status = process->exitCode();
    result.out = QString::fromUtf8(process->readAllStandardOutput());
    result.err = QString::fromUtf8(process->readAllStandardError());
    delete process;
    return result;
}

// Each option once, seen in the command lines of a dry run (or, for the ones about what is
// shown, in what is shown).
void TestCli::options_data()
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

void TestCli::options()
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

void TestCli::exitStatuses_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("path");     // PATH for the run; empty: the usual one
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("message"); // a pattern for the last line on standard error
    QTest::addColumn<QStringList>("made");

    const QString out = QStringLiteral("-o");
    const QString a = QStringLiteral("Tone A.mp3");
    const QStringList none;
    QTest::newRow("all made") << QStringList{QStringLiteral("Tone B.mp3"), a} << QString() << 0
                              << QStringLiteral("^2 of 2 previews made$")
                              << QStringList{QStringLiteral("Tone A_Preview.mp3"), QStringLiteral("Tone B_Preview.mp3")};
    QTest::newRow("one not made") << QStringList{QStringLiteral("notes.txt"), a} << QString() << 1
                                  << QStringLiteral("^1 of 2 previews made; not made: notes.txt$")
                                  << QStringList{QStringLiteral("Tone A_Preview.mp3")};
    // LAME writes a cut of one frame as its delay and padding only.
    QTest::newRow("a cut of 0.01 s") << QStringList{QStringLiteral("-q"), QStringLiteral("-d"), QStringLiteral("0.01"), a}
                                     << QString() << 1
                                     << QStringLiteral("^lumbrisk-cli: not made: .*/Tone A.mp3: the cut came out 0.01 s long, "
                                                       "no longer than one MP3 frame \\(0.024 s\\), so it holds no audio$")
                                     << none;
    QTest::newRow("unknown option") << QStringList{QStringLiteral("--loud"), a} << QString() << 2
                                    << QStringLiteral("^lumbrisk-cli: Unknown option 'loud'\\.$") << none;
    QTest::newRow("bad number") << QStringList{QStringLiteral("-d"), QStringLiteral("0"), a} << QString() << 2
                                << QStringLiteral("^lumbrisk-cli: --duration '0': .*above 0 and up to 1000 hours$") << none;
    QTest::newRow("exponent") << QStringList{QStringLiteral("-d"), QStringLiteral("1e9"), a} << QString() << 2
                              << QStringLiteral("^lumbrisk-cli: --duration '1e9': give seconds \\(65, 2.5\\) or m:ss "
                                                "\\(1:05\\), above 0 and up to 1000 hours$")
                              << none;
    // SoX counts samples in 64 bits: a start of 10^15 s wraps around to a wrong stretch.
    QTest::newRow("start past the limit") << QStringList{QStringLiteral("-s"), QStringLiteral("1000000000000000"), a}
                                          << QString() << 2 << QStringLiteral("^lumbrisk-cli: --start '1000000000000000': "
                                                                              ".* up to 1000 hours, .*$")
                                          << none;
    QTest::newRow("crossfade of half a preview")
        << QStringList{QStringLiteral("--join"), QStringLiteral("--crossfade"), QStringLiteral("1.5"), QStringLiteral("-d"),
                       QStringLiteral("3"), a}
        << QString() << 2 << QStringLiteral("^lumbrisk-cli: the crossfade \\(1.5 s\\) must be shorter than half the preview \\(3 s\\)$")
        << none;
    // The joined file is what a join makes: without it the run failed.
    QTest::newRow("a join that fails")
        << QStringList{QStringLiteral("--join"), QStringLiteral("--crossfade"), QStringLiteral("1"), QStringLiteral("-d"),
                       QStringLiteral("3"), QStringLiteral("-s"), QStringLiteral("4"), a}
        << QString() << 1
        << QStringLiteral("^the pieces were cut, but the joined preview was not made: the preview of Tone A.mp3 came out "
                          ".* too short for a crossfade of 1 s .*$")
        << none;
    // A gain of 45 dB would bring up noise and hum; silence stays as it is.
    const QString quiet = folder(QStringLiteral("quiet"));
    QVERIFY(Fixtures::MakeSound(quiet + QStringLiteral("/Quiet.mp3"), {"synth", "5", "sine", "440", "gain", "-56"}));
    QVERIFY(Fixtures::MakeSound(quiet + QStringLiteral("/Silent.mp3"), {"synth", "5", "sine", "440", "gain", "-90"}));
    QTest::newRow("--loudness, too quiet")
        << QStringList{QStringLiteral("-q"), QStringLiteral("--loudness"), QStringLiteral("-16"), quiet + QStringLiteral("/Quiet.mp3")}
        << QString() << 0 << QStringLiteral("^lumbrisk-cli: Quiet.mp3: too quiet to bring to -16 LUFS: raised by 30 dB$")
        << QStringList{QStringLiteral("Quiet_Preview.mp3")};
    QTest::newRow("--loudness, silent")
        << QStringList{QStringLiteral("-q"), QStringLiteral("--loudness"), QStringLiteral("-16"), quiet + QStringLiteral("/Silent.mp3")}
        << QString() << 0 << QStringLiteral("^lumbrisk-cli: Silent.mp3: silent: left as it is$")
        << QStringList{QStringLiteral("Silent_Preview.mp3")};
    // A name is text, never a format: "%2" in it stays as it is, and so do the numbers after it.
    QVERIFY(copyAnew(quiet + QStringLiteral("/Quiet.mp3"), quiet + QStringLiteral("/Quiet %2.mp3")));
    QTest::newRow("--loudness, too quiet, a name holding %2")
        << QStringList{QStringLiteral("-q"), QStringLiteral("--loudness"), QStringLiteral("-16"), quiet + QStringLiteral("/Quiet %2.mp3")}
        << QString() << 0 << QStringLiteral("^lumbrisk-cli: Quiet %2.mp3: too quiet to bring to -16 LUFS: raised by 30 dB$")
        << QStringList{QStringLiteral("Quiet %2_Preview.mp3")};
    QTest::newRow("a join into o%1x%2") << QStringList{QStringLiteral("--join"), a} << QString() << 0
                                        << QStringLiteral("^.* o%1x%2/Joined_Preview.mp3 made from 1 of 1 previews$")
                                        << QStringList{QStringLiteral("Joined_Preview.mp3")};
    // A warning names the file as progress does, below its FOLDER: albums repeat track names.
    const QString albums = folder(QStringLiteral("albums"));
    QVERIFY(QDir(albums).mkpath(QStringLiteral("Album 1")));
    QVERIFY(copyAnew(quiet + QStringLiteral("/Quiet.mp3"), albums + QStringLiteral("/Album 1/01 - Song.mp3")));
    QTest::newRow("a warning names the file below its FOLDER")
        << QStringList{QStringLiteral("-q"), QStringLiteral("--loudness"), QStringLiteral("-16"), albums} << QString() << 0
        << QStringLiteral("^lumbrisk-cli: Album 1/01 - Song.mp3: too quiet to bring to -16 LUFS: raised by 30 dB$")
        << QStringList{QStringLiteral("01 - Song_Preview.mp3")};
    // A mix or a whole work is not looked into, and says so rather than that nothing repeats.
    const QString hours = folder(QStringLiteral("hours")) + QStringLiteral("/Three hours.mp3");
    QVERIFY(QProcess::execute(QStringLiteral("sox"), {"-n", "-r", "8000", "-c", "1", "-C", "8", hours, "synth", "10800", "sine", "440"}) == 0);
    QTest::newRow("-s auto, three hours long")
        << QStringList{QStringLiteral("-q"), QStringLiteral("-s"), QStringLiteral("auto"), QStringLiteral("-d"), QStringLiteral("1"), hours}
        << QString() << 0
        << QStringLiteral("^lumbrisk-cli: Three hours.mp3: too long to look into \\(over 15 minutes\\), so its preview starts "
                          "a quarter in, at 45:00$")
        << QStringList{QStringLiteral("Three hours_Preview.mp3")};
    QTest::newRow("--starts naming no such file")
        << QStringList{QStringLiteral("--starts"), QStringLiteral("bad starts.csv")} << QString() << 2
        << QStringLiteral("^lumbrisk-cli: --starts 'bad starts.csv', line 2: no such file: Tone C.mp3$") << none;
    // Each row of one song and cut would make that preview again, and keep it for good.
    QVERIFY(Fixtures::WriteFile(m_music + QStringLiteral("/repeated.csv"), "Tone A.mp3,1\nTone B.mp3,1\n./Tone A.mp3,1\n"));
    QTest::newRow("--starts with a row repeated")
        << QStringList{QStringLiteral("--starts"), QStringLiteral("repeated.csv")} << QString() << 2
        << QStringLiteral("^lumbrisk-cli: --starts 'repeated.csv', line 3: ./Tone A.mp3 again, with the start and duration of "
                          "line 1, which makes that preview already$") << none;
    // A folder names each song once: a second cut of one would be ignored.
    QVERIFY(Fixtures::WriteFile(m_music + QStringLiteral("/two cuts.csv"), "Tone A.mp3,1\nTone B.mp3,1\nTone A.mp3,2\n"));
    QTest::newRow("--starts with two cuts of a song, FOLDER") << QStringList{QStringLiteral("--starts"), QStringLiteral("two cuts.csv"), m_music}
                                                             << QString() << 2
                                                             << QStringLiteral("^lumbrisk-cli: --starts, line 3: the run makes no "
                                                                               "preview with that cut, .*; nothing is made$")
                                                             << none;
    QVERIFY(Fixtures::WriteFile(m_music + QStringLiteral("/spreadsheet.csv"), "Tone A.mp3;1,5\nTone C.mp3;1\nTone D.mp3;1\n"));
    QTest::newRow("--starts from a spreadsheet, every bad row")
        << QStringList{QStringLiteral("--starts"), QStringLiteral("spreadsheet.csv")} << QString() << 2
        << QStringLiteral("^  line 3: no such file: Tone D.mp3$") << none;
    QVERIFY(Fixtures::WriteFile(m_tree + QStringLiteral("/starts.csv"), "Artist A/Album 1/Track 01.mp3,0\nArtist B/Track 01.mp3,1\n"));
    QTest::newRow("--starts, its folders kept")
        << QStringList{QStringLiteral("--keep-folders"), QStringLiteral("--starts"), m_tree + QStringLiteral("/starts.csv")}
        << QString() << 0 << QStringLiteral("^2 of 2 previews made$")
        << QStringList{QStringLiteral("Artist A"), QStringLiteral("Artist A/Album 1"), QStringLiteral("Artist A/Album 1/Track 01_Preview.mp3"),
                       QStringLiteral("Artist B"), QStringLiteral("Artist B/Track 01_Preview.mp3")};
    QTest::newRow("a sampler per folder") << QStringList{QStringLiteral("--join"), QStringLiteral("--keep-folders"), m_tree}
                                          << QString() << 0 << QStringLiteral("^2 joined previews made from 2 of 2 previews$")
                                          << QStringList{QStringLiteral("Artist A"), QStringLiteral("Artist A/Album 1"),
                                                         QStringLiteral("Artist A/Album 1/Joined_Preview.mp3"),
                                                         QStringLiteral("Artist B"), QStringLiteral("Artist B/Joined_Preview.mp3")};
    // A pipe would hold the run up for ever; a device would fill the memory.
    QTest::newRow("--starts a FIFO") << QStringList{QStringLiteral("--starts"), QStringLiteral("pipe.mp3")} << QString() << 2
                                     << QStringLiteral("^lumbrisk-cli: --starts 'pipe.mp3': it is not a regular file .*$")
                                     << none;
    QTest::newRow("loudness out of range") << QStringList{QStringLiteral("--loudness"), QStringLiteral("3"), a}
                                           << QString() << 2
                                           << QStringLiteral("^lumbrisk-cli: --loudness '3': .* from -70 to 0, such as -16$")
                                           << none;
    QTest::newRow("--limit without a loudness") << QStringList{QStringLiteral("--limit"), a} << QString() << 2
                                                << QStringLiteral("^lumbrisk-cli: --limit needs --loudness$") << none;
    QTest::newRow("a format Lumbrisk does not write") << QStringList{QStringLiteral("--format"), QStringLiteral("flac"), a}
                                                      << QString() << 2
                                                      << QStringLiteral("^lumbrisk-cli: --format 'flac': give mp3, aac or opus$") << none;
    QTest::newRow("an MP3 rate Opus has not") << QStringList{QStringLiteral("--format"), QStringLiteral("opus"), QStringLiteral("-b"),
                                                             QStringLiteral("320"), a}
                                              << QString() << 2
                                              << QStringLiteral("^lumbrisk-cli: --bitrate '320': Opus takes 6 to 256 kbit/s; give "
                                                                "one of those, or same$")
                                              << none;
    // An FFmpeg built without libopus.
    const QString noOpus = folder(QStringLiteral("no-opus"));
    Fixtures::WriteScript(noOpus, QStringLiteral("ffmpeg"),
                          QStringLiteral("case \"$*\" in *-encoders*) /usr/bin/ffmpeg \"$@\" | grep -v libopus; exit;; esac\n"
                                         "exec /usr/bin/ffmpeg \"$@\""));
    QTest::newRow("Opus without its encoder") << QStringList{QStringLiteral("--format"), QStringLiteral("opus"), a}
                                              << noOpus + QStringLiteral(":/usr/bin:/bin") << 3
                                              << QStringLiteral("^lumbrisk-cli: FFmpeg \\(.*/no-opus/ffmpeg\\) has no libopus "
                                                                "encoder\\. Install the Debian package ffmpeg, whose libavcodec has it\\.$")
                                              << none;
    // AAC's default, 256, is no rate to check against MP3's list: the format is read first.
    QTest::newRow("AAC at its default rate") << QStringList{QStringLiteral("--format"), QStringLiteral("AAC"), a}
                                             << QString() << 0 << QStringLiteral("^1 of 1 previews made$")
                                             << QStringList{QStringLiteral("Tone A_Preview.m4a")};
    // -b same cannot keep a 320 kbit/s MP3's rate in Opus: said of the song, after its JSON line.
    QTest::newRow("-b same, a rate Opus has not")
        << QStringList{QStringLiteral("--json"), QStringLiteral("--format"), QStringLiteral("opus"), QStringLiteral("-b"),
                       QStringLiteral("same"), QStringLiteral("-d"), QStringLiteral("2"), loudMaster(QStringLiteral("320.mp3"))}
        << QString() << 0
        << QStringLiteral("^lumbrisk-cli: Loud\\.320\\.mp3: its 320 kbit/s is more than Opus takes: its preview has 256 kbit/s$")
        << QStringList{QStringLiteral("Loud.320_Preview.opus")};
    QTest::newRow("missing folder") << QStringList{a, QStringLiteral("gone/")} << QString() << 2
                                    << QStringLiteral("^lumbrisk-cli: 'gone/': no such folder$") << none;
    const QString pictures = folder(QStringLiteral("pictures"));
    for (const char *name : {"front.jpg", "back.jpg", "notes.txt"})
        QVERIFY(Fixtures::WriteFile(pictures + QLatin1Char('/') + QString::fromLatin1(name), "no audio"));
    QTest::newRow("no audio file") << QStringList{QStringLiteral("-q"), pictures} << QString() << 1
                                   << QStringLiteral("^lumbrisk-cli: no audio files in %1; 2 .jpg, 1 .txt$").arg(pictures)
                                   << none;
    QTest::newRow("output is a file") << QStringList{out, a, a} << QString() << 2
                                      << QStringLiteral("^lumbrisk-cli: --output 'Tone A.mp3': it is a file, not a folder$")
                                      << none;
    // The output folder is made before the run, with the folders above it: the page may go there.
    const QString shop = folder(QStringLiteral("status/review beside the folder the run makes")) + QStringLiteral("/Shop");
    QTest::newRow("review beside the folder the run makes")
        << QStringList{out, shop + QStringLiteral("/previews"), QStringLiteral("--review"), shop + QStringLiteral("/review.html"), a}
        << QString() << 0 << QStringLiteral("^lumbrisk-cli: review page: .*/Shop/review.html$")
        << QStringList{QStringLiteral("Shop"), QStringLiteral("Shop/previews"), QStringLiteral("Shop/previews/Tone A_Preview.mp3"),
                       QStringLiteral("Shop/review.html")};
    // SoX reads a list by its name and fetches its addresses through a shell: a scan that
    // takes every file hands SoX neither list.
    const QString playlists = folder(QStringLiteral("playlists"));
    const QString fetched = folder(QStringLiteral("status/playlists in a scanned folder")) + QStringLiteral("/fetched");
    QVERIFY(copyAnew(m_music + QStringLiteral("/Tone A.mp3"), playlists + QStringLiteral("/Song.mp3")));
    QVERIFY(Fixtures::WriteFile(playlists + QStringLiteral("/fetch.m3u"), "http://localhost/$(touch '" + fetched.toUtf8() + "')\n"));
    QVERIFY(Fixtures::WriteFile(playlists + QStringLiteral("/names.m3u"), m_music.toUtf8() + "/Tone B.mp3\n"));
    QTest::newRow("playlists in a scanned folder")
        << QStringList{QStringLiteral("-q"), QStringLiteral("-e"), QStringLiteral("*"), playlists} << QString() << 1
        << QStringLiteral("^lumbrisk-cli: not made: .*/names.m3u: it is a playlist \\(.m3u\\), not an audio file, so it was not read$")
        << QStringList{QStringLiteral("Song_Preview.mp3")};
    // The page never replaces what is not its own, and says so before anything is made.
    const QString pages = folder(QStringLiteral("pages"));
    const QString song = pages + QStringLiteral("/Song.mp3");
    QVERIFY(copyAnew(m_music + QStringLiteral("/Tone A.mp3"), song));
    QVERIFY(linkAnew(song, pages + QStringLiteral("/link.html")));
    const QString review = QStringLiteral("--review");
    QTest::newRow("review page is a song") << QStringList{review, song, song} << QString() << 2
                                           << QStringLiteral("^lumbrisk-cli: --review '%1': it would replace a song of the run, %1$").arg(song)
                                           << none;
    QTest::newRow("review page links to a song") << QStringList{review, pages + QStringLiteral("/link.html"), song} << QString() << 2
                                                 << QStringLiteral("^lumbrisk-cli: --review '.*/link.html': it would replace a song of the run, .*$")
                                                 << none;
    const QString ownOutput = folder(QStringLiteral("status/review page is a preview"));
    QTest::newRow("review page is a preview") << QStringList{review, ownOutput + QStringLiteral("/Song_Preview.mp3"), song}
                                              << QString() << 2
                                              << QStringLiteral("^lumbrisk-cli: --review '.*/Song_Preview.mp3': it would replace a "
                                                                "preview or waveform file the run writes$")
                                              << none;
    QTest::newRow("review page is a waveform file")
        << QStringList{QStringLiteral("--waveform"), QStringLiteral("dat"), review,
                       folder(QStringLiteral("status/review page is a waveform file")) + QStringLiteral("/Song_Preview (2).dat"), song}
        << QString() << 2 << QStringLiteral("^lumbrisk-cli: --review '.*/Song_Preview \\(2\\)\\.dat': it would replace a preview .*$")
        << none;
    QTest::newRow("review page is a FIFO") << QStringList{review, QStringLiteral("pipe.mp3"), a} << QString() << 2
                                           << QStringLiteral("^lumbrisk-cli: --review 'pipe.mp3': it is a pipe \\(FIFO\\), not a regular file$")
                                           << none;
    // Through a link too; no device is tried here, as a run without the check, as root, would
    // replace it for the whole system.
    QVERIFY(linkAnew(m_music + QStringLiteral("/pipe.mp3"), pages + QStringLiteral("/pipe.html")));
    QTest::newRow("review page links to a FIFO")
        << QStringList{review, pages + QStringLiteral("/pipe.html"), a} << QString() << 2
        << QStringLiteral("^lumbrisk-cli: --review '.*/pipe.html': it is a pipe \\(FIFO\\), not a regular file$") << none;
    // /proc/self/root is the whole file system again: a folder on the kernel's own file
    // systems is never scanned, however it is reached.
    QVERIFY(linkAnew(QStringLiteral("/proc/self"), folder(QStringLiteral("system")) + QStringLiteral("/self")));
    QTest::newRow("a FOLDER that leads into /proc")
        << QStringList{QStringLiteral("-e"), QStringLiteral("*"), folder(QStringLiteral("system")) + QStringLiteral("/self")}
        << QString() << 1 << QStringLiteral("^lumbrisk-cli: no files in .*/self; no other file either$") << none;
    // FFmpeg gives up on a stream damaged throughout, after a warning per frame: said at
    // once in words of ours, not after a minute's stall on its unread warnings.
    const QString broken = folder(QStringLiteral("broken")) + QStringLiteral("/damaged.aac");
    QVERIFY(Fixtures::MakeDamagedAac(broken, 30, 1));
    QTest::newRow("an AAC damaged throughout, -s auto")
        << QStringList{QStringLiteral("-q"), QStringLiteral("-s"), QStringLiteral("auto"), broken} << QString() << 1
        << QStringLiteral("^lumbrisk-cli: not made: .*/damaged.aac: it cannot be decoded: its audio is damaged \\(FFmpeg: [^[]*\\)$")
        << none;
    // SoX would cut what FFmpeg decoded before it gave up, as if the song ended there.
    QTest::newRow("an AAC damaged throughout")
        << QStringList{QStringLiteral("-q"), broken} << QString() << 1
        << QStringLiteral("^lumbrisk-cli: not made: .*/damaged.aac: it cannot be decoded: its audio is damaged \\(FFmpeg: [^[]*\\)$")
        << none;
    // Every tool has its own words for an empty file, and the analysis none: ours are the same.
    const QString empty = folder(QStringLiteral("empty"));
    for (const char *name : {"empty.flac", "empty.m4a", "empty.mp3"})
        QVERIFY(Fixtures::WriteFile(empty + QLatin1Char('/') + QString::fromLatin1(name)));
    QTest::newRow("an empty FLAC") << QStringList{QStringLiteral("-q"), empty + QStringLiteral("/empty.flac")} << QString() << 1
                                   << QStringLiteral("^lumbrisk-cli: not made: .*/empty.flac: the file is empty$") << none;
    QTest::newRow("an empty M4A") << QStringList{QStringLiteral("-q"), empty + QStringLiteral("/empty.m4a")} << QString() << 1
                                  << QStringLiteral("^lumbrisk-cli: not made: .*/empty.m4a: the file is empty$") << none;
    QTest::newRow("an empty MP3, -s auto")
        << QStringList{QStringLiteral("-q"), QStringLiteral("-s"), QStringLiteral("auto"), empty + QStringLiteral("/empty.mp3")}
        << QString() << 1 << QStringLiteral("^lumbrisk-cli: not made: .*/empty.mp3: the file is empty$") << none;
    QTest::newRow("no sox") << QStringList{a} << QStringLiteral("/nonexistent") << 3
                            << QStringLiteral("^lumbrisk-cli: .*Install the Debian packages sox and libsox-fmt-mp3\\.$")
                            << none;
    // Truncated in place just before SoX reads it: the short cut is no short track.
    const QString shrinking = folder(QStringLiteral("shrinking"));
    QVERIFY(Fixtures::MakeTone(shrinking + QStringLiteral("/Shrinks.mp3"), 6));
    Fixtures::WriteScript(shrinking, QStringLiteral("sox"),
                          QStringLiteral("[ \"$1\" = -h ] || truncate -s 100000 \"$2\"\nexec /usr/bin/sox \"$@\""));
    // FFmpeg reads the file named, and nothing that file names: a list under an audio name
    // would make a preview of another file, or wait forever on a pipe.
    const QString lists = folder(QStringLiteral("lists"));
    QVERIFY(Fixtures::WriteFile(lists + QStringLiteral("/list.m4a"), "ffconcat version 1.0\nfile '" + m_music.toUtf8() + "/Tone B.mp3'\n"));
    QVERIFY(Fixtures::WriteFile(lists + QStringLiteral("/waits.m4a"), "ffconcat version 1.0\nfile '" + m_music.toUtf8() + "/pipe.mp3'\n"));
    const QString refused = QStringLiteral("FFmpeg reads it as concat, a list of other files, .*");
    QTest::newRow("ffconcat naming another file")
        << QStringList{QStringLiteral("-q"), lists + QStringLiteral("/list.m4a")} << QString() << 1
        << QStringLiteral("^lumbrisk-cli: not made: .*/list.m4a: ") + refused << none;
    QTest::newRow("ffconcat naming a FIFO, probed")
        << QStringList{QStringLiteral("-q"), QStringLiteral("-b"), QStringLiteral("same"), lists + QStringLiteral("/waits.m4a")}
        << QString() << 1 << QStringLiteral("^lumbrisk-cli: not made: .*/waits.m4a: ") + refused << none;
    // Damaged or video-only sources are told in words.
    const QString damaged = folder(QStringLiteral("damaged"));
    QCOMPARE(QProcess::execute(QStringLiteral("ffmpeg"), {"-v", "error", "-f", "lavfi", "-i", "testsrc=d=1", damaged + "/video.mp4"}), 0);
    QCOMPARE(QProcess::execute(QStringLiteral("ffmpeg"), {"-v", "error", "-i", m_music + "/Tone A.mp3", damaged + "/raw.aac"}), 0);
    QTest::newRow("video only, probed")
        << QStringList{QStringLiteral("-q"), QStringLiteral("-b"), QStringLiteral("same"), damaged + QStringLiteral("/video.mp4")}
        << QString() << 1 << QStringLiteral("^lumbrisk-cli: not made: .*/video.mp4: it holds no audio stream \\(a video file\\?\\)$")
        << none;
    QTest::newRow("video only")
        << QStringList{QStringLiteral("-q"), damaged + QStringLiteral("/video.mp4")}
        << QString() << 1 << QStringLiteral("^lumbrisk-cli: not made: .*/video.mp4: it holds no audio stream \\(a video file\\?\\)$")
        << none;
    // FFmpeg stops at the cut-off data with status 0: the short stream is no short song.
    QVERIFY(Fixtures::MakeCutOffM4a(damaged + QStringLiteral("/cut off.m4a"), 30, 0.3));
    const QString cutOff = QStringLiteral("^lumbrisk-cli: not made: .*/cut off.m4a: it cannot be decoded: its audio is damaged "
                                          "\\(FFmpeg: .*partial file\\)$");
    QTest::newRow("an M4A cut off, the preview past its audio")
        << QStringList{QStringLiteral("-q"), QStringLiteral("-s"), QStringLiteral("5"), damaged + QStringLiteral("/cut off.m4a")}
        << QString() << 1 << cutOff << none;
    QTest::newRow("an M4A cut off, from the chorus")
        << QStringList{QStringLiteral("-q"), QStringLiteral("-s"), QStringLiteral("auto"), damaged + QStringLiteral("/cut off.m4a")}
        << QString() << 1 << cutOff << none;
    QTest::newRow("a stream of unknown length, ending before the start")
        << QStringList{QStringLiteral("-q"), QStringLiteral("-s"), QStringLiteral("10"), damaged + QStringLiteral("/raw.aac")}
        << QString() << 1 << QStringLiteral("^lumbrisk-cli: not made: .*/raw.aac: the file ends before the preview's start \\(0:10\\)$")
        << none;
    // What the window's details say of the same sources (tst_previewjob).
    const QString notMade = QStringLiteral("^lumbrisk-cli: not made: .*/");
    QVERIFY(Fixtures::WriteFile(damaged + QStringLiteral("/notes.mp3"), "These are notes, not music.\n"));
    QTest::newRow("a text named .mp3")
        << QStringList{QStringLiteral("-q"), damaged + QStringLiteral("/notes.mp3")} << QString() << 1
        << notMade + QStringLiteral("notes.mp3: it holds no audio that SoX can read \\(not an MP3 file, or damaged\\)$") << none;
    // A missing path is a mistake on the command line, never a song for SoX, with or without
    // its slash: a share not mounted at night must not look like a withdrawn catalogue.
    QTest::newRow("a missing song")
        << QStringList{QStringLiteral("-q"), damaged + QStringLiteral("/gone.mp3")} << QString() << 2
        << QStringLiteral("^lumbrisk-cli: '.*/gone.mp3': no such file or folder$") << none;
    QTest::newRow("a missing M4A master")
        << QStringList{QStringLiteral("-q"), damaged + QStringLiteral("/gone.m4a")} << QString() << 2
        << QStringLiteral("^lumbrisk-cli: '.*/gone.m4a': no such file or folder$") << none;
    QTest::newRow("missing folder, no slash") << QStringList{a, QStringLiteral("gone")} << QString() << 2
                                              << QStringLiteral("^lumbrisk-cli: 'gone': no such file or folder$") << none;
    QVERIFY(linkAnew(damaged + QStringLiteral("/unmounted"), damaged + QStringLiteral("/music")));
    QTest::newRow("FOLDER, a link to nothing")
        << QStringList{a, damaged + QStringLiteral("/music")} << QString() << 2
        << QStringLiteral("^lumbrisk-cli: '.*/music': no such file or folder: it is a link to .*/unmounted, which is not there$")
        << none;
    QTest::newRow("a song, start after its end")
        << QStringList{QStringLiteral("-q"), QStringLiteral("-s"), QStringLiteral("10"), QStringLiteral("Tone A.mp3")}
        << QString() << 1 << notMade + QStringLiteral("Tone A.mp3: the track is only 0:05 long, so a preview from 0:10 has nothing in it$")
        << none;
    QTest::newRow("an M4A master, start after its end")
        << QStringList{QStringLiteral("-q"), QStringLiteral("-s"), QStringLiteral("10"), m_masters + QStringLiteral("/m4a.m4a")}
        << QString() << 1 << notMade + QStringLiteral("m4a.m4a: the track is only 0:05 long, so a preview from 0:10 has nothing in it$")
        << none;
    // A name cannot recolour or rewrite the terminal: its control characters are escaped.
    QVERIFY(Fixtures::WriteFile(damaged + QStringLiteral("/bad\033[31mred\n.mp3"), "not audio"));
    QTest::newRow("control characters in a name")
        << QStringList{QStringLiteral("-q"), damaged + QStringLiteral("/bad\033[31mred\n.mp3")} << QString() << 1
        << QStringLiteral("^lumbrisk-cli: not made: .*/bad\\\\033\\[31mred\\\\n\\.mp3: .*$") << none;
    // Nor make it read backwards: "evil\u202egnp.mp3" would show as "evil3pm.png".
    QVERIFY(Fixtures::WriteFile(damaged + QStringLiteral("/evil\u202egnp.mp3"), "not audio"));
    QTest::newRow("a bidi control in a name")
        << QStringList{QStringLiteral("-q"), damaged + QStringLiteral("/evil\u202egnp.mp3")} << QString() << 1
        << QStringLiteral("^lumbrisk-cli: not made: .*/evil\\\\u202egnp\\.mp3: .*$") << none;
    QTest::newRow("source shrinks while it is cut")
        << QStringList{QStringLiteral("-q"), shrinking + QStringLiteral("/Shrinks.mp3")}
        << shrinking + QStringLiteral(":/usr/bin:/bin") << 1
        << QStringLiteral("^lumbrisk-cli: not made: .*/Shrinks.mp3: the file changed while it was read$") << none;
}

void TestCli::exitStatuses()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, path);
    QFETCH(int, status);
    QFETCH(QString, message);
    QFETCH(QStringList, made);
    const QString output = folder(QStringLiteral("status/") + QTest::currentDataTag());
    const Run result = run(QStringList{QStringLiteral("-o"), output} + arguments, path);
    QCOMPARE(result.status, status);
    const QString last = result.err.trimmed().split(QLatin1Char('\n')).constLast();
    QVERIFY2(QRegularExpression(message).match(last).hasMatch(), qPrintable(result.err));
    QCOMPARE(Fixtures::FilesBelow(output), made);
}

// A name that is not valid UTF-8 cannot be handed on unchanged: it is left out, named with its
// bytes escaped, and the run ends with status 1.
void TestCli::namesNotValidUtf8AreLeftOut_data()
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

void TestCli::namesNotValidUtf8AreLeftOut()
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

// The second source's SoX hangs. Each stop must end it, remove the file it was to write,
// keep the first preview, and end with 128 + the signal.
void TestCli::stopsKeepFinishedPreviewsOnly_data()
{
    QTest::addColumn<int>("signalNumber"); // sent once Tone B's SoX hangs; 0: none
    QTest::addColumn<int>("closedStream"); // a standard stream whose pipe nobody reads; -1: none
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QStringList>("left"); // in the output folder and TEMP

    const QStringList both{QStringLiteral("-j"), QStringLiteral("1"), QStringLiteral("Tone A.mp3"), QStringLiteral("Tone B.mp3")};
    const QStringList a{QStringLiteral("Tone A_Preview.mp3")};
    QTest::newRow("Ctrl+C") << SIGINT << -1 << both << 130 << a;
    QTest::newRow("SIGHUP, a closed terminal") << SIGHUP << -1 << both << 129 << a;
    // The encoder SoX writes into is ended with it, and its unfinished file goes.
    QTest::newRow("Ctrl+C, Opus") << SIGINT << -1 << QStringList{QStringLiteral("--format"), QStringLiteral("opus")} + both
                                  << 130 << QStringList{QStringLiteral("Tone A_Preview.opus")};
    QTest::newRow("standard error into a closed pipe") << 0 << STDERR_FILENO << both << 141 << a;
    // Feeding SoX the measured samples through a pipe must not leave SIGPIPE ignored.
    QTest::newRow("standard error into a closed pipe, samples fed to SoX")
        << 0 << STDERR_FILENO << QStringList{QStringLiteral("--loudness"), QStringLiteral("-16")} + both << 141 << a;
    // A dry run writes at once; the private folder that names its join's pieces must go too.
    QTest::newRow("standard output of a dry run into a closed pipe")
        << 0 << STDOUT_FILENO << QStringList{QStringLiteral("--dry-run"), QStringLiteral("--join")} + both << 141
        << QStringList();
}

void TestCli::stopsKeepFinishedPreviewsOnly()
{
    QFETCH(int, signalNumber);
    QFETCH(int, closedStream);
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QStringList, left);
    const QString base = QStringLiteral("stopped/%1/").arg(QTest::currentDataTag());
    const QString tools = folder(base + QStringLiteral("tools"));
    const QString output = folder(base + QStringLiteral("out"));
    const QString temp = folder(base + QStringLiteral("temp"));
    QProcess *process = prepare(QStringList{QStringLiteral("-o"), output} + arguments, hangingTools(tools, true), temp);
    int pipeEnds[2] = {-1, -1};
    if (closedStream >= 0) {
        QCOMPARE(::pipe2(pipeEnds, O_CLOEXEC), 0);
        ::close(pipeEnds[0]);
        process->setChildProcessModifier([closedStream, end = pipeEnds[1]] { ::dup2(end, closedStream); });
    }
    process->start();
    if (closedStream >= 0)
        ::close(pipeEnds[1]);
    if (signalNumber != 0) {
        QTRY_VERIFY_WITH_TIMEOUT(hungTools(tools).size() == 1, 20000); // A made, B begun
        ::kill(pid_t(process->processId()), signalNumber);
    }
    QVERIFY(process->waitForFinished(20000));
    QCOMPARE(process->exitStatus(), QProcess::NormalExit);
    QCOMPARE(process->exitCode(), status);
    QCOMPARE(Fixtures::FilesBelow(output) + Fixtures::FilesBelow(temp), left);
    for (const pid_t tool : hungTools(tools) + hungTools(tools, QStringLiteral("children")))
        QVERIFY2(!running(tool), "a tool, or a program it started, runs on after its program stopped");
}

// kill -9 leaves no tool running, and the file its tool was writing only until the next run
// into that folder; a run going on at the same time (into another folder: runs into one take
// turns) keeps its own unfinished file. The killed run's lock file is the next run's to take,
// and goes as that one ends.
void TestCli::killedRunLeavesNoToolAndTheNextRunCleansUp_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("separate: a hidden file in the output folder") << QStringList();
    QTest::newRow("joined: a private folder in TEMP") << QStringList{QStringLiteral("--join")};
}

void TestCli::killedRunLeavesNoToolAndTheNextRunCleansUp()
{
    QFETCH(QStringList, arguments);
    const QString base = QStringLiteral("killed/%1/").arg(arguments.isEmpty() ? QStringLiteral("separate") : QStringLiteral("joined"));
    const QString tools = folder(base + QStringLiteral("tools"));
    const QString output = folder(base + QStringLiteral("out"));
    const QString temp = folder(base + QStringLiteral("temp"));
    const QString hanging = hangingTools(tools);
    const auto leftovers = [&] {
        QStringList entries = Fixtures::FilesBelow(temp);
        for (const QString &entry : Fixtures::FilesBelow(output)) {
            if (!entry.endsWith(QLatin1String("_Preview.mp3")) && entry != QLatin1String(".lumbrisk-run.lock"))
                entries.append(entry);
        }
        return entries;
    };
    const QStringList both = arguments + QStringList{QStringLiteral("-j"), QStringLiteral("1"), QStringLiteral("-o"),
                                                     output, QStringLiteral("Tone A.mp3"), QStringLiteral("Tone B.mp3")};

    QProcess *killed = launch(both, hanging, temp);
    QTRY_VERIFY_WITH_TIMEOUT(hungTools(tools).size() == 1, 20000);
    ::kill(pid_t(killed->processId()), SIGKILL);
    QVERIFY(killed->waitForFinished(10000));
    QTRY_VERIFY2(!running(hungTools(tools).constFirst()), "the tool outlived its program");
    const QStringList stale = leftovers();
    QVERIFY(!stale.isEmpty());

    QProcess *working = launch(both, hanging, temp);
    QTRY_VERIFY_WITH_TIMEOUT(hungTools(tools).size() == 2, 20000);
    const QStringList live = leftovers();
    QVERIFY(!live.isEmpty());
    for (const QString &entry : stale)
        QVERIFY2(!live.contains(entry), qPrintable(entry + QStringLiteral(" was left by the killed run")));
    QCOMPARE(run(arguments + QStringList{QStringLiteral("-o"), folder(base + QStringLiteral("other")), QStringLiteral("Tone A.mp3")},
                 QString(), temp).status, 0);
    QCOMPARE(leftovers(), live);

    ::kill(pid_t(working->processId()), SIGTERM);
    QVERIFY(working->waitForFinished(10000));
    QCOMPARE(working->exitCode(), 143);
    QCOMPARE(leftovers(), QStringList());
}

// Qt makes a relative name count from "/" when the current folder cannot be read, which
// would cut another file and write elsewhere.
void TestCli::relativeNamesNeedAReadableCurrentFolder_data()
{
    QTest::addColumn<QString>("leave"); // shell lines that make the current folder unreadable
    QTest::newRow("removed") << QStringLiteral("mkdir gone && cd gone && rmdir ../gone");
    QTest::newRow("deeper than 4096 bytes")
        << QStringLiteral("d=$(printf %0100d 0); for i in $(seq 42); do mkdir $d && cd $d || exit 9; done");
}

void TestCli::relativeNamesNeedAReadableCurrentFolder()
{
    QFETCH(QString, leave);
    const QString root = folder(QStringLiteral("unreadable/") + QTest::currentDataTag());
    const QString output = folder(QStringLiteral("unreadable/out"));
    // bash, as dash cannot enter a folder that deep; the tree goes at the end, whatever happens.
    QProcess *process = prepare({QStringLiteral("-c"),
                                 QStringLiteral("trap \"cd '%2' && rm -rf -- *\" EXIT\n%1\n\"$0\" \"$@\"").arg(leave, root),
                                 program(), QStringLiteral("-o"), output, QStringLiteral("Tone A.mp3")});
    process->setProgram(QStringLiteral("bash"));
    process->setWorkingDirectory(root);
    process->start();
    QVERIFY(process->waitForFinished(20000));
    QCOMPARE(process->exitCode(), 2);
    QCOMPARE(QString::fromUtf8(process->readAllStandardError()),
             QStringLiteral("lumbrisk-cli: 'Tone A.mp3' is relative, but the current folder cannot be read (it was "
                            "removed, or its path is longer than 4096 bytes); give the full path\n"));
    QCOMPARE(Fixtures::FilesBelow(output), QStringList());
}

// Two runs at once into one folder, each with its own a.mp3 (the README's distributed use),
// take turns: the later one waits, and says so. The preview the first saved meanwhile came
// after the later one began, so it is never replaced: the later one saves under a free name
// and says so. A third run replaces an earlier run's preview.
void TestCli::twoRunsIntoOneFolderDoNotClash()
{
    const QString tools = folder(QStringLiteral("together"));
    const QString path = slowTools(tools);
    const QString shared = folder(QStringLiteral("shared"));
    const QStringList sources{folder(QStringLiteral("d1")) + QStringLiteral("/a.mp3"),
                              folder(QStringLiteral("d2")) + QStringLiteral("/a.mp3")};
    QVERIFY(QFile::copy(m_music + QStringLiteral("/Tone A.mp3"), sources[0]));
    QVERIFY(QFile::copy(m_music + QStringLiteral("/Tone B.mp3"), sources[1]));
    QList<QProcess *> runs;
    for (const QString &source : sources) {
        runs << launch({QStringLiteral("--json"), QStringLiteral("-o"), shared, source}, path);
        QTRY_VERIFY_WITH_TIMEOUT(!QDir(tools).entryList({QStringLiteral("started.*")}).isEmpty(), 20000);
    }
    QStringList planned;
    QList<double> pitches;
    for (QProcess *process : std::as_const(runs)) {
        QVERIFY(process->waitForFinished(30000));
        QCOMPARE(process->exitCode(), 0);
        const QJsonObject report = QJsonDocument::fromJson(process->readAllStandardOutput()).object();
        const QJsonObject preview = report[QStringLiteral("previews")].toArray().at(0).toObject();
        QVERIFY(preview[QStringLiteral("made")].toBool());
        planned << preview[QStringLiteral("planned")].toString();
        pitches << Fixtures::RoughFrequency(preview[QStringLiteral("preview")].toString(), 0.2, 1.5);
        const QString said = QString::fromUtf8(process->readAllStandardError());
        QCOMPARE(said.contains(QStringLiteral("made under a free name: ")), !planned.constLast().isEmpty());
        QCOMPARE(said.contains(QStringLiteral("waiting for another lumbrisk-cli run into %1 to end").arg(shared)),
                 process == runs.constLast());
    }
    planned.sort();
    QCOMPARE(planned, (QStringList{QString(), shared + QStringLiteral("/a_Preview.mp3")}));
    QVERIFY2(pitches[1] > 1.3 * pitches[0], "each preview holds its own run's source");
    const QStringList both{QStringLiteral("a_Preview (2).mp3"), QStringLiteral("a_Preview.mp3")};
    QCOMPARE(previewsIn(QStringLiteral("shared")), both);

    const Run again = run({QStringLiteral("-o"), shared, sources[1]});
    QCOMPARE(again.status, 0);
    QVERIFY2(!again.err.contains(QStringLiteral("free name")), qPrintable(again.err));
    QCOMPARE(previewsIn(QStringLiteral("shared")), both);
    QVERIFY(Fixtures::RoughFrequency(shared + QStringLiteral("/a_Preview.mp3"), 0.2, 1.5) > 1.3 * pitches[0]);
}

void TestCli::jobsDoNotChangeThePreviews()
{
    for (const QString jobs : {QStringLiteral("1"), QStringLiteral("4")}) {
        const Run result = run({QStringLiteral("-j"), jobs, QStringLiteral("-s"), QStringLiteral("25%"),
                                QStringLiteral("-o"), folder(QStringLiteral("jobs") + jobs), m_music});
        QCOMPARE(result.status, 0);
    }
    const QStringList made = previewsIn(QStringLiteral("jobs1"));
    QCOMPARE(made.size(), 2);
    QCOMPARE(previewsIn(QStringLiteral("jobs4")), made);
    for (const QString &name : made)
        QCOMPARE(Fixtures::Contents(folder(QStringLiteral("jobs4/")) + name),
                 Fixtures::Contents(folder(QStringLiteral("jobs1/")) + name));
}

void TestCli::dryRunLinesMakeTheSamePreviews_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");      // of the dry run and of the real run
    QTest::addColumn<QString>("madeAlso"); // one of the files made
    QTest::newRow("separate, with fades")
        << QStringList{QStringLiteral("--fade-in"), QStringLiteral("0.5"), QStringLiteral("--fade-out"),
                       QStringLiteral("0.5"), QStringLiteral("-b"), QStringLiteral("same")}
        << 0 << "Tone A_Preview.mp3";
    QTest::newRow("joined") << QStringList{QStringLiteral("--join"), QStringLiteral("-b"), QStringLiteral("24")} << 0
                            << "Joined_Preview.mp3";
    // Each line's gain comes from a decoding the dry run measured; the samples a run measured
    // with its fades reach SoX as they came, as the line's own decoding gives them.
    QTest::newRow("separate, at a loudness, with fades")
        << QStringList{QStringLiteral("--loudness"), QStringLiteral("-23"), QStringLiteral("--fade-in"), QStringLiteral("0.5"),
                       QStringLiteral("--fade-out"), QStringLiteral("0.4")}
        << 0 << "Tone A_Preview.mp3";
    // The line of a limited preview decodes its stretch as the run did, by lumbrisk-cli for an
    // MP3 and by SoX (after FFmpeg) for the others, and has lumbrisk-cli limit it; the tones
    // reach the loudness without it.
    QTest::newRow("separate, limited, with fades")
        << QStringList{QStringLiteral("--loudness"), QStringLiteral("-14"), QStringLiteral("--limit"), QStringLiteral("--fade-in"),
                       QStringLiteral("0.5"), QStringLiteral("--fade-out"), QStringLiteral("0.4"), loudMaster(QStringLiteral("mp3")),
                       loudMaster(QStringLiteral("flac")), loudMaster(QStringLiteral("m4a"))}
        << 0 << "Loud_Preview (3).mp3";
    // The pipe is left out; the lines must still make their private folder first.
    QTest::newRow("joined, after a pipe") << QStringList{QStringLiteral("--join"), QStringLiteral("pipe.mp3")} << 1
                                          << "Joined_Preview.mp3";
    // Two "Track 01.mp3" in different folders, each in its own folder below the output.
    QTest::newRow("kept folders") << QStringList{QStringLiteral("--keep-folders"), m_tree} << 0
                                  << "Artist A/Album 1/Track 01_Preview.mp3";
    QTest::newRow("joined per kept folder") << QStringList{QStringLiteral("--join"), QStringLiteral("--keep-folders"), m_tree}
                                            << 0 << "Artist B/Joined_Preview.mp3";
    // SoX's lines pipe into FFmpeg's encoder, after the decoding and the limiter's.
    QTest::newRow("AAC, limited") << QStringList{QStringLiteral("--format"), QStringLiteral("aac"), QStringLiteral("--loudness"),
                                                 QStringLiteral("-14"), QStringLiteral("--limit"), loudMaster(QStringLiteral("mp3")),
                                                 loudMaster(QStringLiteral("flac"))}
                                  << 0 << "Loud_Preview (2).m4a";
    // Opus's limiter line takes out what lies below 20 Hz first, as a run's limiter does.
    QTest::newRow("Opus, limited") << QStringList{QStringLiteral("--format"), QStringLiteral("opus"), QStringLiteral("--loudness"),
                                                  QStringLiteral("-14"), QStringLiteral("--limit"), loudMaster(QStringLiteral("mp3"))}
                                   << 0 << "Loud_Preview.opus";
    QTest::newRow("Opus, joined with a crossfade")
        << QStringList{QStringLiteral("--format"), QStringLiteral("opus"), QStringLiteral("--join"), QStringLiteral("--crossfade"),
                       QStringLiteral("0.3")}
        << 0 << "Joined_Preview.opus";
}

// Into output folders that are not there yet: the real run makes its own, the dry run's
// lines make theirs, with the folders below them.
void TestCli::dryRunLinesMakeTheSamePreviews()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, madeAlso);
    const QString tag = QString::fromLatin1(QTest::currentDataTag()).replace(QLatin1Char(' '), QLatin1Char('-'));
    const QStringList common = arguments + QStringList{QStringLiteral("-d"), QStringLiteral("1"), QStringLiteral("Tone A.mp3"),
                                                       QStringLiteral("Tone B.mp3")};
    const QString shelled = m_dir.filePath(QStringLiteral("shelled-") + tag);
    const Run dry = run(QStringList{QStringLiteral("--dry-run"), QStringLiteral("-o"), shelled} + common);
    QCOMPARE(dry.status, status);
    QVERIFY(!QFileInfo::exists(shelled)); // a dry run makes nothing

    QProcess shell;
    const auto shelledLines = [&shell](const QString &lines) {
        shell.start(QStringLiteral("sh"), {QStringLiteral("-e"), QStringLiteral("-c"), lines});
        return shell.waitForFinished(30000) ? shell.exitCode() : -1;
    };
    QVERIFY2(shelledLines(dry.out) == 0, qPrintable(dry.out + shell.readAllStandardError()));
    const QString ran = m_dir.filePath(QStringLiteral("ran-") + tag);
    const Run real = run(QStringList{QStringLiteral("-o"), ran} + common);
    QCOMPARE(real.status, status);
    QVERIFY2(real.err.startsWith(QStringLiteral("lumbrisk-cli: made the folder ") + ran + QLatin1Char('\n')), qPrintable(real.err));
    const QStringList made = previewsIn(QStringLiteral("ran-") + tag);
    QVERIFY2(made.contains(madeAlso), qPrintable(made.join(QLatin1Char('\n'))));
    QCOMPARE(previewsIn(QStringLiteral("shelled-") + tag), made);
    // The lines that versions 1.2.2 and 1.2.3 wrote read raw floats; a line whose song has
    // gone must fail and leave the preview it was to replace as it was.
    QString floats = dry.out;
    floats.replace(QRegularExpression(QStringLiteral("--decoded-stretch([^\n]*) -t wav - ")),
                   QStringLiteral("--stretch-floats\\1 -t f32 -r 44100 -c 2 - "));
    QString gone = dry.out;
    gone.replace(QStringLiteral("/Tone A.mp3"), QStringLiteral("/Gone.mp3"));
    QVERIFY2(floats == dry.out || shelledLines(floats) == 0, qPrintable(floats + shell.readAllStandardError()));
    QVERIFY(shelledLines(gone) > 0);
    QCOMPARE(previewsIn(QStringLiteral("shelled-") + tag), made); // nothing left beside them
    // The lines copy no tags, and so write no mark.
    for (const QString &name : made)
        QCOMPARE(Fixtures::AudioContents(shelled + QLatin1Char('/') + name), Fixtures::AudioContents(ran + QLatin1Char('/') + name));
    // New folders get the usual mode.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    for (const QString &name : QStringList{QString()} + made) {
        struct stat status {};
        QCOMPARE(::stat(QFile::encodeName(ran + QLatin1Char('/') + name).constData(), &status), 0);
        if (S_ISDIR(status.st_mode))
            QCOMPARE(status.st_mode & 0777, 0777 & ~mask);
    }
}

void TestCli::loudnessMeetsTheTarget_data()
{
    QTest::addColumn<bool>("join");
    QTest::addColumn<bool>("previewsFirst"); // with --update, after a run that made the previews
    QTest::addColumn<bool>("limit");
    QTest::newRow("separate previews") << false << false << false;
    QTest::newRow("joined, each piece") << true << false << false;
    // Planned for one encoding, each preview is raised in the join as a piece cut for it would be.
    QTest::newRow("joined of the previews made before, each piece") << true << true << false;
    // What the limiter took off a preview's peaks holds its piece back no more.
    QTest::newRow("joined of the limited previews made before, each piece") << true << true << true;
}

// Sources from a whisper to a shout, and clicks whose peaks leave little room: FFmpeg's own
// meter must read each preview at the target, or where its peaks held it, as it says.
void TestCli::loudnessMeetsTheTarget()
{
    QFETCH(bool, join);
    QFETCH(bool, previewsFirst);
    QFETCH(bool, limit);
    // Names and what SoX makes them of: 5 s from nothing.
    const QList<QPair<QString, QString>> sources{{QStringLiteral("Whisper"), QStringLiteral("sine 440 gain -35")},
                                                 {QStringLiteral("Talk"), QStringLiteral("brownnoise gain -20")},
                                                 {QStringLiteral("Shout"), QStringLiteral("sine 330 brownnoise gain -6")},
                                                 {QStringLiteral("Clicks"), QStringLiteral("square 3 gain -6 highpass 4000")}};
    QStringList arguments = QStringLiteral("--json -j 2 -s 0.5 -d 4 --loudness -16").split(QLatin1Char(' '));
    arguments << QStringLiteral("-o") << folder(QStringLiteral("loudness-%1-%2-%3").arg(join).arg(previewsFirst).arg(limit));
    if (previewsFirst)
        arguments << QStringLiteral("--update");
    if (limit)
        arguments << QStringLiteral("--limit");
    for (const auto &[name, effects] : sources) {
        const QString path = folder(QStringLiteral("levels")) + QLatin1Char('/') + name + QStringLiteral(".mp3");
        QVERIFY(QFile::exists(path) || Fixtures::MakeSound(path, (QStringLiteral("synth 5 ") + effects).split(QLatin1Char(' '))));
        arguments << path;
    }
    const Run first = previewsFirst ? run(arguments) : Run{0, QString(), QString()};
    QCOMPARE(first.status, 0);
    if (join)
        arguments << QStringLiteral("--join");
    const Run result = run(arguments);
    QCOMPARE(result.status, 0);
    const QJsonObject report = QJsonDocument::fromJson(result.out.toUtf8()).object();
    const QString joined = report.value(QStringLiteral("joined")).toObject().value(QStringLiteral("preview")).toString();
    const QJsonArray previews = report.value(QStringLiteral("previews")).toArray();
    QCOMPARE(previews.size(), sources.size());
    for (int index = 0; index < previews.size(); ++index) {
        const QString name = sources[index].first;
        const QJsonObject preview = previews[index].toObject();
        QCOMPARE(preview.value(QStringLiteral("up_to_date")).toBool(), previewsFirst);
        const QJsonObject loudness = preview.value(QStringLiteral("loudness")).toObject();
        const bool heldBack = loudness.value(QStringLiteral("held_back")).toBool();
        QCOMPARE(heldBack, name == QLatin1String("Clicks"));
        // A limited preview is its piece as it is, its peaks at the ceiling: no room to make up
        // what the join's encoding takes.
        const double retaken = limit && heldBack ? Loudness::EncodingLoss(128) : 0;
        const double expected = heldBack ? loudness.value(QStringLiteral("result")).toDouble() - retaken : -16;
        // A piece of the join plays from second 4 * index, a few MP3 frames later.
        const Fixtures::LoudnessFacts facts
            = join ? Fixtures::MeasureLoudness(joined, 4 * index + 0.3, 3.4)
                   : Fixtures::MeasureLoudness(preview.value(QStringLiteral("preview")).toString());
        // Well inside the half LU a shop allows, so that a lost encoder allowance shows.
        QVERIFY2(qAbs(facts.integrated - expected) <= 0.3,
                 qPrintable(QStringLiteral("%1: %2 LUFS, not %3").arg(name).arg(facts.integrated).arg(expected)));
        QVERIFY2(facts.truePeak < -0.5, qPrintable(QStringLiteral("%1: %2 dBTP").arg(name).arg(facts.truePeak)));
    }
    if (limit) { // the sampler as one cut whole is
        arguments.removeAll(QStringLiteral("--update"));
        arguments[arguments.indexOf(QStringLiteral("-o")) + 1] += QStringLiteral("-whole");
        const Run whole = run(arguments);
        QCOMPARE(whole.status, 0);
        const Fixtures::LoudnessFacts taken = Fixtures::MeasureLoudness(joined);
        const Fixtures::LoudnessFacts cut = Fixtures::MeasureLoudness(
            QJsonDocument::fromJson(whole.out.toUtf8()).object().value(QStringLiteral("joined")).toObject().value(QStringLiteral("preview")).toString());
        QVERIFY2(qAbs(taken.integrated - cut.integrated) <= 0.5 && taken.truePeak <= -1,
                 qPrintable(QStringLiteral("%1 LUFS, %2 dBTP; cut whole %3 LUFS").arg(taken.integrated).arg(taken.truePeak).arg(cut.integrated)));
        return;
    }
    // Told by the run that made it.
    const QRegularExpression told(QStringLiteral("Clicks\\.mp3: -3\\d\\.\\d LUFS, held back by its peaks\n"));
    QVERIFY2(told.match(first.err + result.err).hasMatch(), qPrintable(first.err + result.err));
}

void TestCli::encodedPreviewStaysBelowThePeakCeiling_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("songs");   // what they are made of
    QTest::addColumn<double>("ceiling");  // the highest true peak FFmpeg may read (to a tenth)
    QTest::addColumn<bool>("lowered");    // the joined file was lowered as a whole; else it is at the target
    QTest::addColumn<int>("encodings");   // of the joined file, when counted: the SoX runs that encode it
    // LAME overshoots a loud square wave at a low bit rate by several dB. A square's peak is
    // its loudness: -1 LUFS plans it right at the ceiling.
    QTest::newRow("a square at 32 kbit/s")
        << QStringLiteral("-b 32 -s 0.5 -d 4 --loudness -1").split(QLatin1Char(' ')) << "square" << -0.9 << false << 0;
    // Pieces held back to the ceiling by their kicks, whose crossfades add them up: joined as
    // they are, the sampler reads -0.9 dBTP.
    QTest::newRow("a crossfaded sampler of loud songs at -14 LUFS")
        << QStringLiteral("--join --crossfade 2 -s 2 -d 6 --loudness -14").split(QLatin1Char(' ')) << "kicks" << -1.0
        << true << 0;
    // Pieces whose clicks the limiter took down to the ceiling: their crossfades pass it
    // again, and the limiter, not a lower gain, keeps the sampler there at the target, which
    // its one encoding reaches.
    QTest::newRow("a crossfaded sampler of limited clicks")
        << QStringLiteral("--join --crossfade 2 -s 2 -d 6 --loudness -14 --limit").split(QLatin1Char(' ')) << "clicks"
        << -1.0 << false << 1;
    // The same of the previews a run without the join made: each taken as it is, their second
    // encoding made up through the limiter.
    QTest::newRow("a crossfaded sampler of limited clicks, of the previews made before")
        << QStringLiteral("--update --join --crossfade 2 -s 2 -d 6 --loudness -14 --limit").split(QLatin1Char(' '))
        << "clicks" << -1.0 << false << 1;
    // libopus's own high-pass lifts the peaks of a low rumble by 2 dB once encoded: planned
    // without the limiter, the preview is limited then, not made quieter, and stays at the target.
    QTest::newRow("brown noise in Opus, limited after its encoding")
        << QStringLiteral("--format opus -s 0.5 -d 4 --loudness -14 --limit").split(QLatin1Char(' ')) << "brown" << -1.0
        << false << 0;
}

// The file as encoded must keep below the ceiling, and the report give the figures it really has.
void TestCli::encodedPreviewStaysBelowThePeakCeiling()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, songs);
    QFETCH(double, ceiling);
    QFETCH(bool, lowered);
    QFETCH(int, encodings);
    QStringList sources;
    if (songs == QLatin1String("square")) {
        sources << folder(QStringLiteral("levels")) + QStringLiteral("/Square.mp3");
        QVERIFY(Fixtures::MakeSound(sources.constLast(), {"synth", "5", "square", "440", "gain", "-3"}));
    }
    for (int song = 1; songs == QLatin1String("kicks") && song <= 8; ++song) {
        sources << folder(QStringLiteral("kicks")) + QStringLiteral("/%1.mp3").arg(song);
        QVERIFY(makeKickSong(sources.constLast(), 50 + song, 0.1 + 0.02 * song));
    }
    // Repeatable: now and then a peak of fresh noise passes the ceiling once encoded, and is
    // rightly limited and encoded again.
    for (int song = 1; songs == QLatin1String("clicks") && song <= 3; ++song) {
        sources << folder(QStringLiteral("clicks")) + QStringLiteral("/%1.mp3").arg(song);
        const QString effects = QStringLiteral("synth 12 pinknoise synth 12 square mix %1 highpass 300 gain -n -0.3");
        QVERIFY(Fixtures::MakeSound(sources.constLast(), effects.arg(2 + song % 3).split(QLatin1Char(' ')), true));
    }
    if (songs == QLatin1String("brown")) {
        sources << folder(QStringLiteral("brown")) + QStringLiteral("/Brown.flac");
        QCOMPARE(QProcess::execute(QStringLiteral("sox"), QStringLiteral("-R -n -r 44100 -c 2 %1 synth 5 brownnoise lowpass 200 gain -n -15")
                                                              .arg(sources.constLast()).split(QLatin1Char(' '))),
                 0);
    }
    const QString output = folder(QStringLiteral("peaks/") + QTest::currentDataTag());
    // With update, the previews first, as the README's nightly pair makes them.
    if (arguments.contains(QStringLiteral("--update"))) {
        const QStringList previews = arguments.mid(arguments.indexOf(QStringLiteral("--crossfade")) + 2);
        QCOMPARE(run(QStringList{QStringLiteral("--update"), QStringLiteral("-o"), output} + previews + sources).status,
                 0);
    }
    const QString tools = folder(QStringLiteral("counting/") + QTest::currentDataTag());
    const Run result = run(QStringList{QStringLiteral("--json"), QStringLiteral("-o"), output} + arguments + sources,
                           encodings > 0 ? countingTools(tools, output) : QString());
    QCOMPARE(result.status, 0);
    if (encodings > 0)
        QCOMPARE(Fixtures::Contents(tools + QStringLiteral("/encodings")).count('\n'), encodings);
    const QJsonObject report = QJsonDocument::fromJson(result.out.toUtf8()).object();
    const QJsonObject made = report.contains(QStringLiteral("joined"))
                                 ? report.value(QStringLiteral("joined")).toObject()
                                 : report.value(QStringLiteral("previews")).toArray().first().toObject();
    const QJsonObject loudness = made.value(QStringLiteral("loudness")).toObject();
    const Fixtures::LoudnessFacts facts = Fixtures::MeasureLoudness(made.value(QStringLiteral("preview")).toString());
    // With update, the pieces are the previews made before, taken as they are.
    const QJsonObject first = report.value(QStringLiteral("previews")).toArray().first().toObject();
    QCOMPARE(first.value(QStringLiteral("up_to_date")).toBool(), arguments.contains(QStringLiteral("--update")));
    QVERIFY2(facts.truePeak <= ceiling, qPrintable(QStringLiteral("%1 dBTP").arg(facts.truePeak)));
    QVERIFY2(loudness.value(QStringLiteral("true_peak")).toDouble() <= -1, qPrintable(result.out));
    QVERIFY2(qAbs(loudness.value(QStringLiteral("true_peak")).toDouble() - facts.truePeak) <= 0.3, qPrintable(result.out));
    QVERIFY2(qAbs(loudness.value(QStringLiteral("result")).toDouble() - facts.integrated) <= 0.3, qPrintable(result.out));
    if (lowered)
        QVERIFY2(loudness.value(QStringLiteral("held_back")).toBool() && loudness.value(QStringLiteral("gain")).toDouble() < 0,
                 qPrintable(result.out));
    const double target = arguments.at(arguments.indexOf(QStringLiteral("--loudness")) + 1).toDouble();
    if (!lowered && (report.contains(QStringLiteral("joined")) || songs == QLatin1String("brown")))
        QVERIFY2(qAbs(facts.integrated - target) <= 0.3, qPrintable(QStringLiteral("%1 LUFS").arg(facts.integrated)));
}

// Brown noise carries the loudness (-19 LUFS) and clicks the peaks (0 dBFS): at -14 LUFS
// they would pass the ceiling by almost 6 dB, which holds a plain gain back as much.
QString TestCli::loudMaster(const QString &extension)
{
    const QString loud = folder(QStringLiteral("loud"));
    const QString wav = loud + QStringLiteral("/Loud.wav");
    const QString made = loud + QStringLiteral("/Loud.") + extension;
    const auto sox = [](const QString &effects, const QStringList &files) {
        QStringList arguments = files;
        // No comment, so that neither a run's previews nor a dry run's lines carry tags.
        arguments.insert(files.size() - 1, QStringLiteral("--comment"));
        arguments.insert(files.size(), QString());
        return QProcess::execute(QStringLiteral("sox"), arguments + effects.split(QLatin1Char(' '), Qt::SkipEmptyParts));
    };
    // Repeatable noise: now and then a master made by chance asked the limiter for more than it
    // may take, and its preview was held back.
    const QStringList synth{QStringLiteral("-R"), QStringLiteral("-n"), QStringLiteral("-r"), QStringLiteral("44100"),
                            QStringLiteral("-c"), QStringLiteral("2")};
    if (!QFile::exists(wav)) {
        const QString noise = loud + QStringLiteral("/noise.wav");
        const QString clicks = loud + QStringLiteral("/clicks.wav");
        sox(QStringLiteral("synth 5 brownnoise gain -7"), synth + QStringList{noise});
        sox(QStringLiteral("synth 5 square 3 highpass 4000"), synth + QStringList{clicks});
        sox(QStringLiteral("gain -n -0.1"), {QStringLiteral("-m"), QStringLiteral("-v"), QStringLiteral("0.8"), noise,
                                             QStringLiteral("-v"), QStringLiteral("0.8"), clicks, wav});
    }
    if (QFile::exists(made))
        return made;
    if (extension == QLatin1String("mp3") || extension == QLatin1String("flac"))
        sox(QString(), {wav, made});
    else if (extension == QLatin1String("320.mp3"))
        sox(QString(), {wav, QStringLiteral("-C"), QStringLiteral("320"), made});
    else if (extension == QLatin1String("dc.flac"))
        sox(QStringLiteral("vol 0.6 dcshift 0.35"), {wav, made});
    else
        QProcess::execute(QStringLiteral("ffmpeg"), {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-i"), wav,
                                                      QStringLiteral("-map_metadata"), QStringLiteral("-1"), QStringLiteral("-fflags"),
                                                      QStringLiteral("+bitexact"), QStringLiteral("-flags:a"), QStringLiteral("+bitexact"),
                                                      QStringLiteral("-c:a"),
                                                      extension == QLatin1String("m4a") ? QStringLiteral("aac") : QStringLiteral("libopus"),
                                                      made});
    return made;
}

void TestCli::limitBringsLoudMastersToTheTarget_data()
{
    QTest::addColumn<QString>("extension");
    QTest::addColumn<bool>("limit");
    // MP3 is decoded in the process, FLAC and WAV by SoX, M4A and Opus by FFmpeg into SoX.
    for (const char *kind : {"mp3", "flac", "wav", "m4a", "opus"})
        QTest::newRow(qPrintable(QStringLiteral("%1, limited").arg(QLatin1String(kind)))) << QString::fromLatin1(kind) << true;
    QTest::newRow("mp3, without --limit: held back as before") << QStringLiteral("mp3") << false;
    // The offset lifts every peak on its side: a limiter answering to it would cut the whole
    // preview, past its deepest cut, and leave it quieter.
    QTest::newRow("flac with a DC offset, limited") << QStringLiteral("dc.flac") << true;
}

// FFmpeg's own meter reads a limited preview at the target, its true peak at the ceiling or
// below; the report says how much the limiter took off. Without --limit the peaks hold it back.
void TestCli::limitBringsLoudMastersToTheTarget()
{
    QFETCH(QString, extension);
    QFETCH(bool, limit);
    const QString master = loudMaster(extension);
    QStringList arguments = QStringLiteral("--json -s 0.5 -d 4 --loudness -14").split(QLatin1Char(' '));
    if (limit)
        arguments << QStringLiteral("--limit");
    arguments << QStringLiteral("-o") << folder(QStringLiteral("limited/") + QTest::currentDataTag()) << master;
    const Run result = run(arguments);
    QCOMPARE(result.status, 0);
    const QJsonObject preview =
        QJsonDocument::fromJson(result.out.toUtf8()).object().value(QStringLiteral("previews")).toArray().first().toObject();
    const QJsonObject loudness = preview.value(QStringLiteral("loudness")).toObject();
    const Fixtures::LoudnessFacts facts = Fixtures::MeasureLoudness(preview.value(QStringLiteral("preview")).toString());
    QCOMPARE(loudness.value(QStringLiteral("held_back")).toBool(), !limit);
    QVERIFY2(facts.truePeak <= -0.9, qPrintable(QStringLiteral("%1 dBTP").arg(facts.truePeak)));
    QVERIFY2(qAbs(loudness.value(QStringLiteral("result")).toDouble() - facts.integrated) <= 0.5, qPrintable(result.out));
    if (!limit) {
        QVERIFY2(facts.integrated < -18, qPrintable(QStringLiteral("%1 LUFS").arg(facts.integrated)));
        QVERIFY(loudness.value(QStringLiteral("limited")).isNull());
        QVERIFY2(result.err.contains(QStringLiteral("LUFS, held back by its peaks\n")), qPrintable(result.err));
        return;
    }
    QVERIFY2(qAbs(facts.integrated + 14) <= 0.5, qPrintable(QStringLiteral("%1 LUFS").arg(facts.integrated)));
    QVERIFY2(loudness.value(QStringLiteral("true_peak")).toDouble() <= -1, qPrintable(result.out));
    const double limited = loudness.value(QStringLiteral("limited")).toDouble();
    QVERIFY2(limited >= 3 && limited <= 10, qPrintable(result.out)); // some dB, as the master asks; AAC lands near 4
    const QRegularExpression told(
        QStringLiteral("Loud\\.%1: -1[34]\\.\\d LUFS, its peaks limited by up to \\d+\\.\\d dB\n").arg(extension));
    QVERIFY2(told.match(result.err).hasMatch(), qPrintable(result.err));
    // -q says nothing of it: a nightly cron job mails whatever is printed.
    arguments[0] = QStringLiteral("-q");
    arguments[arguments.indexOf(QStringLiteral("-o")) + 1] += QStringLiteral("-quiet");
    const Run quiet = run(arguments);
    QCOMPARE(quiet.status, 0);
    QCOMPARE(quiet.err, QString());
}

void TestCli::previewsKeepTheirSongsTags_data()
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

void TestCli::previewsKeepTheirSongsTags()
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
void TestCli::previewsLastAsAsked_data()
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

void TestCli::previewsLastAsAsked()
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

// 300 albums of "Track 01.mp3" to "Track 10.mp3", links to one tone; made once.
QString TestCli::largeTree()
{
    const QString tree = m_dir.filePath(QStringLiteral("large"));
    if (QFileInfo::exists(tree))
        return tree;
    const QString tone = m_music + QStringLiteral("/Tone A.mp3");
    for (int album = 1; album <= 300; ++album) {
        const QString folder = QStringLiteral("%1/Album %2/").arg(tree).arg(album, 3, 10, QLatin1Char('0'));
        QDir().mkpath(folder);
        for (int track = 1; track <= 10; ++track)
            QFile::link(tone, folder + QStringLiteral("Track %1.mp3").arg(track, 2, 10, QLatin1Char('0')));
    }
    return tree;
}

// Every file once, in the scan's order, and the same-name rule across 300 files of one name,
// which also steps over a file of the list that has a free name's name.
void TestCli::largeListIsPlannedWholeInOrder()
{
    const QString tree = largeTree();
    const QString output = folder(QStringLiteral("large-plan"));
    const QString listed = output + QStringLiteral("/Track 01_Preview (2).mp3");
    QVERIFY(QFile::link(m_music + QStringLiteral("/Tone A.mp3"), listed));
    const Run dry = run({QStringLiteral("--dry-run"), QStringLiteral("-o"), output, listed, tree});
    QCOMPARE(dry.status, 0);

    ConsolePrompts prompts;
    const QStringList sources = QStringList{listed} + AddFolder::ScanFolder(prompts, tree, QStringLiteral("*.mp3"));
    QCOMPARE(sources.size(), 3001);
    const QList<QPair<QString, QString>> planned = plannedPairs(dry.out);
    QCOMPARE(planned.size(), sources.size());
    QHash<QString, int> seen; // per base name, the files planned so far
    for (qsizetype index = 0; index < planned.size(); ++index) {
        QCOMPARE(planned[index].first, sources[index]);
        const QString base = QFileInfo(sources[index]).completeBaseName();
        const int count = ++seen[base];
        const int number = count > 1 && base == QLatin1String("Track 01") ? count + 1 : count;
        const QString name = number == 1 ? base + QStringLiteral("_Preview.mp3")
                                         : QStringLiteral("%1_Preview (%2).mp3").arg(base).arg(number);
        QCOMPARE(planned[index].second, output + QLatin1Char('/') + name);
    }
}

void TestCli::signalStopsALargeListBeforeItsCuts_data()
{
    QTest::addColumn<int>("signalNumber");
    QTest::addColumn<bool>("asFolder"); // else every file as an argument of its own
    QTest::newRow("Ctrl+C, the folder") << SIGINT << true;
    QTest::newRow("SIGTERM, the files") << SIGTERM << false;
}

// The signal comes as soon as the handler is in place: while the folder is scanned or the
// list planned, or at the latest while the first cuts hang. The run must end with 128 plus
// the signal, leave nothing in the output folder and no tool running.
void TestCli::signalStopsALargeListBeforeItsCuts()
{
    QFETCH(int, signalNumber);
    QFETCH(bool, asFolder);
    const QString tree = largeTree();
    const QString tools = folder(QStringLiteral("hanging-large"));
    const QString pids = tools + QStringLiteral("/pids");
    Fixtures::WriteScript(tools, QStringLiteral("sox"),
                          QStringLiteral("case \"$*\" in *trim*) echo $$ >> '%1'; exec sleep 60;; esac\n"
                                         "exec /usr/bin/sox \"$@\"").arg(pids));
    const QString output = folder(QStringLiteral("large-stopped-") + QString::number(signalNumber));
    QStringList arguments{QStringLiteral("-j"), QStringLiteral("2"), QStringLiteral("-o"), output};
    if (asFolder) {
        arguments.append(tree);
    } else {
        ConsolePrompts prompts;
        arguments += AddFolder::ScanFolder(prompts, tree, QStringLiteral("*.mp3"));
    }
    QProcess *process = launch(arguments, tools + QStringLiteral(":/usr/bin:/bin"));
    QVERIFY(process->waitForStarted());
    QDeadlineTimer deadline(20000);
    while (!catches(process->processId(), signalNumber) && !deadline.hasExpired())
        ::usleep(500);
    QVERIFY(::kill(pid_t(process->processId()), signalNumber) == 0);
    QVERIFY(process->waitForFinished(20000));
    QCOMPARE(process->exitStatus(), QProcess::NormalExit);
    QCOMPARE(process->exitCode(), 128 + signalNumber);
    QCOMPARE(Fixtures::FilesBelow(output), QStringList());
    for (const QByteArray &pid : Fixtures::Contents(pids).split('\n')) {
        if (!pid.isEmpty())
            QVERIFY2(::kill(pid.toInt(), 0) != 0, "a tool runs on after the run ended");
    }
}

// A song made with SoX, as MP3 (decoded in the process) and as FLAC (decoded by SoX): the
// report, the progress line and the dry run's cut all give the start found in the chorus,
// also for a row of a --starts list; a tone without one starts a quarter in, and says so.
void TestCli::autoStartIsTheChorus()
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
void TestCli::terminalShows_data()
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

void TestCli::terminalShows()
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

// A second --update run over the same folder: what it keeps, and what it makes again.
void TestCli::updateKeepsWhatIsUpToDate_data()
{
    QTest::addColumn<QStringList>("both");  // options of both runs
    QTest::addColumn<QStringList>("again"); // options of the second run only
    QTest::addColumn<QString>("between");   // what changes between them
    QTest::addColumn<QString>("said");      // a pattern for the second run's standard error and output
    const QStringList none;
    const QString json = QStringLiteral("--json");
    QTest::newRow("unchanged: kept") << none << none << "" << "^nothing to make; up to date: 2$";
    QTest::newRow("a changed song: made again") << none << none << "touch Tone A" << "^1 of 1 previews made; up to date: 1$";
    QTest::newRow("other settings: made again") << none << QStringList{QStringLiteral("--fade-in"), QStringLiteral("0.5")}
                                                << "" << "^2 of 2 previews made$";
    // The mark alone tells that the preview is up to date.
    QTest::newRow("--no-tags: kept") << QStringList{QStringLiteral("--no-tags")} << none << ""
                                     << "^nothing to make; up to date: 2$";
    const QStringList loudness{QStringLiteral("--loudness"), QStringLiteral("-14")};
    QTest::newRow("--limit added: made again") << loudness << QStringList{QStringLiteral("--limit")} << ""
                                               << "^2 of 2 previews made$";
    QTest::newRow("--limit both times: kept") << loudness + QStringList{QStringLiteral("--limit")} << none << ""
                                              << "^nothing to make; up to date: 2$";
    QTest::newRow("beside their songs, which are scanned again") << QStringList{QStringLiteral("--beside")} << none
                                                                 << "touch Tone A" << "^1 of 1 previews made; up to date: 1$";
    QTest::newRow("--json") << none << QStringList{json} << ""
                            << "\"start\": 3,\\s+\"start_from\": \"seconds\",\\s+\"up_to_date\": true";
    QTest::newRow("--dry-run") << none << QStringList{QStringLiteral("--dry-run")} << "touch Tone A"
                               << "\\A\\S+ --no-glob '?\\S+/Tone A\\.mp3'? .*\nlumbrisk-cli: up to date: 1; the lines above make the other 1\n\\z";
    // A shop dry-runs its own nightly line, which asks for waveforms: nothing is written.
    QTest::newRow("--dry-run --waveform") << none << QStringList{QStringLiteral("--dry-run"), QStringLiteral("--waveform"), QStringLiteral("dat")}
                                          << "touch Tone A" << "^lumbrisk-cli: up to date: 1; the lines above make the other 1$";
    QTest::newRow("a preview cut short: made again") << none << none << "cut Tone A's preview"
                                                     << "^1 of 1 previews made; up to date: 1$";
    QTest::newRow("a mark of 1.2: made again, said once") << none << none << "mark Tone A's preview as 1.2 did"
                                                          << "^1 of 1 previews made; up to date: 1; made again: 1 whose marks "
                                                             "were written by a version before 1.3$";
    // A start approved as it was changes nothing, whatever gave it before; another remakes
    // that preview alone.
    QTest::newRow("a list of starts: the same second kept, another made")
        << none << QStringList{QStringLiteral("--starts"), QStringLiteral("starts.csv")} << "list Tone A at 3, Tone B at 0:04"
        << "^1 of 1 previews made; up to date: 1$";
    // A row of a song withdrawn since the review is an orphan: told, and the night goes on.
    QTest::newRow("a list of starts, a song withdrawn: told, not stopped")
        << none << QStringList{QStringLiteral("--starts"), QStringLiteral("starts.csv")} << "list Tone A at 3, Gone at 2"
        << "^lumbrisk-cli: --starts '.+/starts\\.csv', line 2: no such file: Gone\\.mp3: its song is gone, so the row is left out\n"
           "(?![\\s\\S]*Gone)[\\s\\S]*^nothing to make; up to date: 2$";
    // A new mix of a song whose start a review pinned keeps that start, and the console says so.
    QTest::newRow("a list of starts, a pinned song changed: told")
        << none << QStringList{QStringLiteral("--starts"), QStringLiteral("starts.csv")} << "list Tone A at 3, Tone B at 0:04; touch Tone A"
        << "^Tone A\\.mp3: changed since its start was pinned; kept at 0:03 as its row of --starts says, check it on "
           "the review page\n(?![\\s\\S]*changed since)";
    // A kept preview still gets what this run asks beside it.
    QTest::newRow("--waveform over kept previews") << none << QStringList{json, QStringLiteral("--waveform"), QStringLiteral("dat")}
                                                   << "" << "\"waveform\": \"[^\"]+/Tone B_Preview\\.dat\"";
    // Only a marked file is Lumbrisk's own: a song under a preview's name is a song, left alone.
    QTest::newRow("beside: a song under a preview's name") << QStringList{QStringLiteral("--beside")} << none
                                                          << "put a song under Tone A's preview's name"
                                                          << "^2 of 2 previews made; up to date: 1; 1 preview took a numbered "
                                                             "name, as files without Lumbrisk's mark hold its name \\(songs, or "
                                                             "previews made before version 1\\.3\\): Tone A_Preview\\.mp3$";
    QTest::newRow("a withdrawn song: its preview listed") << none << none << "remove Tone B"
                                                          << "^orphan: .+/Tone B_Preview\\.mp3: its song .+/Tone B\\.mp3 is gone$";
    QTest::newRow("a withdrawn song: --prune removes its preview")
        << none << QStringList{QStringLiteral("--prune")} << "remove Tone B"
        << "^nothing to make; up to date: 1; removed: 1 whose songs are gone$";
    // A sampler is kept as a preview is, and made again when what it is made of changed.
    const QStringList join{QStringLiteral("--join")};
    const QString joinedMade = QStringLiteral("^.+/Joined_Preview\\.mp3 made from 2 of 2 previews");
    QTest::newRow("a sampler: kept") << join << none << "" << "^nothing to make; up to date: 1 joined preview of 2 previews$";
    QTest::newRow("a sampler, a changed song: made again") << join << none << "touch Tone A" << joinedMade + "$";
    QTest::newRow("a sampler cut short: made again") << join << none << "cut the joined preview" << joinedMade + "$";
    QTest::newRow("a sampler, another crossfade: made again")
        << join << QStringList{QStringLiteral("--crossfade"), QStringLiteral("0.2")} << "" << joinedMade + "$";
    // A review that approves the starts a sampler was cut from (a fifth in: 1.008 s of Tone A's
    // 5.04, 1.207 of Tone B's 6.04) remakes nothing; one changed, its album.
    const QStringList shares{QStringLiteral("--join"), QStringLiteral("-s"), QStringLiteral("20%")};
    const QStringList starts{QStringLiteral("--starts"), QStringLiteral("starts.csv")};
    QTest::newRow("a sampler, its starts pinned as cut: kept")
        << shares << starts << "list Tone A at 1.008, Tone B at 1.207" << "^nothing to make; up to date: 1 joined preview of 2 previews$";
    QTest::newRow("a sampler, a start pinned elsewhere: made again")
        << shares << starts << "list Tone A at 1.008, Tone B at 2" << joinedMade + "$";
    QTest::newRow("a sampler, a song withdrawn: made again of the others")
        << join << none << "remove Tone B" << "^.+/Joined_Preview\\.mp3 made from 1 of 1 previews$";
    QTest::newRow("a sampler per album, one changed: that one made again")
        << QStringList{QStringLiteral("--join"), QStringLiteral("--keep-folders")} << none << "touch Tone A"
        << "^1 joined previews made from 1 of 1 previews; up to date: 1 joined preview of 1 previews$";
    QTest::newRow("a kept sampler, --json: its loudness as its mark records it")
        << QStringList{QStringLiteral("--join"), QStringLiteral("--loudness"), QStringLiteral("-14")} << QStringList{json} << ""
        << "\"joined\": \\{\\s+\"loudness\": \\{[^}]*\"true_peak\": -\\d[^}]*\\},\\s+\"made\": false,\\s+"
           "\"preview\": \"[^\"]+\",\\s+\"up_to_date\": true";
    QTest::newRow("--waveform over a kept sampler") << join << QStringList{json, QStringLiteral("--waveform"), QStringLiteral("dat")}
                                                    << "" << "\"waveform\": \"[^\"]+/Joined_Preview\\.dat\"";
    // A shop makes the previews, then the samplers of the same songs: a song's preview that is
    // up to date is its piece, as it is, and the song is neither looked into nor cut again.
    QTest::newRow("previews, then a sampler of them: no song cut again")
        << none << join << "" << joinedMade + "; pieces taken from previews that were up to date: 2$";
    QTest::newRow("previews, then a sampler, a song changed: that one cut")
        << none << join << "touch Tone A" << joinedMade + "; pieces taken from previews that were up to date: 1$";
    QTest::newRow("previews, then a sampler, --dry-run: the preview in the join's line")
        << none << QStringList{QStringLiteral("--join"), QStringLiteral("--dry-run")} << "touch Tone B"
        << "--combine sequence --no-glob '.+/Tone A_Preview\\.mp3' --no-glob \"\\$work\"/0002\\.mp3 [\\s\\S]*^lumbrisk-cli: pieces taken from "
           "previews that were up to date: 1; the lines above make the others$";
}

void TestCli::updateKeepsWhatIsUpToDate()
{
    QFETCH(QStringList, both);
    QFETCH(QStringList, again);
    QFETCH(QString, between);
    QFETCH(QString, said);
    const QString songs = folder(QStringLiteral("update/") + QTest::currentDataTag());
    // With --keep-folders each song is an album of its own: A/Tone A.mp3, B/Tone B.mp3.
    const bool albums = both.contains(QStringLiteral("--keep-folders"));
    const auto below = [albums](const QString &root, const QString &name) {
        return root + QLatin1Char('/') + (albums ? name.mid(5, 1) + QLatin1Char('/') : QString()) + name;
    };
    for (const QString name : {QStringLiteral("Tone A.mp3"), QStringLiteral("Tone B.mp3")}) {
        QVERIFY(QDir().mkpath(QFileInfo(below(songs, name)).path()));
        QVERIFY(QFile::copy(m_music + QLatin1Char('/') + name, below(songs, name)));
    }
    QStringList options = QStringList{QStringLiteral("--update"), QStringLiteral("-d"), QStringLiteral("1")} + both;
    QString previews = songs;
    if (!both.contains(QStringLiteral("--beside")))
        options += QStringList{QStringLiteral("-o"), previews = folder(QStringLiteral("update-previews/") + QTest::currentDataTag())};
    QCOMPARE(run(options + QStringList{songs}).status, 0);
    const QString toneA = below(previews, QStringLiteral("Tone A_Preview.mp3"));
    for (const QString &step : between.split(QStringLiteral("; "))) {
        if (step.startsWith(QLatin1String("touch Tone "))) {
            QFile song(below(songs, step.mid(6) + QStringLiteral(".mp3")));
            QVERIFY(song.open(QIODevice::ReadWrite));
            QVERIFY(song.setFileTime(song.fileTime(QFileDevice::FileModificationTime).addSecs(60),
                                     QFileDevice::FileModificationTime));
        } else if (step == QLatin1String("cut Tone A's preview")) {
            QVERIFY(QFile::resize(toneA, QFileInfo(toneA).size() * 2 / 3));
        } else if (step == QLatin1String("cut the joined preview")) {
            const QString joined = previews + QStringLiteral("/Joined_Preview.mp3");
            QVERIFY(QFile::resize(joined, QFileInfo(joined).size() * 2 / 3));
        } else if (step == QLatin1String("mark Tone A's preview as 1.2 did")) {
            QVERIFY(TagFixtures::Write(toneA, {{QStringLiteral("LUMBRISK"), {QStringLiteral("1 size=1 modified=2.000000000 start=3")}}}));
        } else if (const QRegularExpressionMatch listed = QRegularExpression(QStringLiteral("^list Tone A at (\\S+), (.+) at (\\S+)$")).match(step);
                   listed.hasMatch()) {
            const QString rows =
                QStringLiteral("Tone A.mp3,%1\n%2.mp3,%3\n").arg(listed.captured(1), listed.captured(2), listed.captured(3));
            QVERIFY(Fixtures::WriteFile(songs + QStringLiteral("/starts.csv"), rows.toUtf8()));
        } else if (step == QLatin1String("put a song under Tone A's preview's name")) {
            QVERIFY(QFile::remove(toneA) && QFile::copy(m_music + QStringLiteral("/Tone B.mp3"), toneA));
        } else if (step == QLatin1String("remove Tone B")) {
            QVERIFY(QFile::remove(songs + QStringLiteral("/Tone B.mp3")));
        }
    }
    for (QString &option : again) {
        if (option.endsWith(QLatin1String(".csv")))
            option = songs + QLatin1Char('/') + option;
    }
    const Run second = run(options + again + QStringList{songs});
    QCOMPARE(second.status, 0);
    QVERIFY2(QRegularExpression(said, QRegularExpression::MultilineOption).match(second.out + second.err).hasMatch(),
             qPrintable(second.out + second.err));
    QCOMPARE(QFileInfo::exists(below(previews, QStringLiteral("Tone B_Preview.mp3"))),
             !again.contains(QStringLiteral("--prune")) && !both.contains(QStringLiteral("--join")));
    if (between.startsWith(QLatin1String("put a song")))
        QCOMPARE(Fixtures::Contents(toneA), Fixtures::Contents(m_music + QStringLiteral("/Tone B.mp3")));
}

// The nightly line started again while the night before still runs (cron overlapping itself):
// the second waits its turn, then finds every preview up to date, and none is made twice.
void TestCli::overlappingNightsMakeNothingTwice_data()
{
    QTest::addColumn<bool>("beside");
    QTest::newRow("into an output folder") << false;
    QTest::newRow("beside the songs") << true;
}

void TestCli::overlappingNightsMakeNothingTwice()
{
    QFETCH(bool, beside);
    const QString tag = QTest::currentDataTag();
    const QString tools = folder(QStringLiteral("overlap/") + tag);
    const QString songs = folder(QStringLiteral("overlap-songs/") + tag);
    for (const QString name : {QStringLiteral("Tone A.mp3"), QStringLiteral("Tone B.mp3")})
        QVERIFY(QFile::copy(m_music + QLatin1Char('/') + name, songs + QLatin1Char('/') + name));
    const QString out = beside ? songs : folder(QStringLiteral("overlap-out/") + tag);
    const QStringList night = QStringList{QStringLiteral("--update"), QStringLiteral("--prune"), QStringLiteral("-d"), QStringLiteral("1")}
                              + (beside ? QStringList{QStringLiteral("--beside")} : QStringList{QStringLiteral("-o"), out})
                              + QStringList{songs};
    QProcess *first = launch(night, slowTools(tools));
    QTRY_VERIFY_WITH_TIMEOUT(!QDir(tools).entryList({QStringLiteral("started.*")}).isEmpty(), 20000);
    const Run second = run(night, tools + QStringLiteral(":/usr/bin:/bin"));
    QVERIFY(first->waitForFinished(30000));
    QCOMPARE(first->exitCode(), 0);
    QVERIFY2(second.status == 0, qPrintable(second.err));
    QVERIFY2(second.err.startsWith(QStringLiteral("lumbrisk-cli: waiting for another lumbrisk-cli run into ")), qPrintable(second.err));
    QVERIFY2(second.err.endsWith(QStringLiteral("nothing to make; up to date: 2\n")), qPrintable(second.err));
    QCOMPARE(Fixtures::FilesBelow(out).filter(QStringLiteral("_Preview")),
             (QStringList{QStringLiteral("Tone A_Preview.mp3"), QStringLiteral("Tone B_Preview.mp3")}));
    QVERIFY2(!QFileInfo::exists(out + QStringLiteral("/.lumbrisk-run.lock")), "the lock file goes with the last run");
}

// A song is gone only when it was recorded below a FOLDER argument of the run, the folder
// above it that is there could be read, and it is not there: every other doubt keeps the
// preview and says so. A withdrawn album's folder goes with its previews. A folder's mode
// refuses only another user than root: those rows run as nobody.
void TestCli::pruneRemovesOnlyWhatIsProvedGone_data()
{
    QTest::addColumn<QString>("change");   // shell lines in the row's folder, between the runs
    QTest::addColumn<QStringList>("arguments"); // the second run's FOLDER arguments
    QTest::addColumn<bool>("asNobody");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("said");     // a pattern for a line of the second run's standard error
    QTest::addColumn<QStringList>("left"); // the output folder after it
    const QStringList albumOne{"Album 1", "Album 1/Tone A_Preview.json", "Album 1/Tone A_Preview.mp3"};
    const QStringList all = albumOne + QStringList{"Album 2", "Album 2/Tone B_Preview.json", "Album 2/Tone B_Preview.mp3"};
    const QString heldBack = QStringLiteral("^--prune removed nothing: .*/m/Album 2/ could not be read, and songs may lie there$");
    QTest::newRow("the music folder moved away") << "mv m m.unmounted" << QStringList{"m"} << false << 2
                                                 << "^lumbrisk-cli: '.*/m': no such file or folder$" << all;
    QTest::newRow("the music folder of mode 000") << "chmod 000 m" << QStringList{"m"} << true << 2
                                                  << "^lumbrisk-cli: '.*/m': the folder cannot be read: Permission denied$" << all;
    QTest::newRow("an album withdrawn") << "rm -r 'm/Album 2'" << QStringList{"m"} << false << 0
                                        << "^removed: .*/out/Album 2/: the previews removed left it empty$" << albumOne;
    QTest::newRow("an album folder of mode 000") << "chmod 000 'm/Album 2'" << QStringList{"m"} << true << 1 << heldBack << all;
    QTest::newRow("an album folder read, not searched") << "chmod 644 'm/Album 2'" << QStringList{"m"} << true << 1 << heldBack << all;
    QTest::newRow("an album behind a link to nothing")
        << "mv 'm/Album 2' elsewhere && ln -s '/nonexistent/Album 2' 'm/Album 2'" << QStringList{"m"} << false << 0
        << "^--prune kept 1 preview whose songs cannot be told gone: .*/Tone B_Preview\\.mp3 \\(its folder .*/m/Album 2 cannot be read\\)$"
        << all;
    QTest::newRow("a song recorded outside the run's folders")
        << "rm 'm/Album 2/Tone B.mp3'" << QStringList{"m/Album 1"} << false << 0
        << "^--prune kept 1 preview whose songs are not there but lie outside this run's folders: .*/Album 2/Tone B_Preview\\.mp3$"
        << all + QStringList{"Tone A_Preview.json", "Tone A_Preview.mp3"};
    // A share not mounted leaves its mount point empty.
    QTest::newRow("a FOLDER argument without songs")
        << "rm 'm/Album 2/Tone B.mp3' && mkdir mnt" << QStringList{"m", "mnt"} << false << 0
        << "^--prune removed nothing: .*/mnt holds no song, and songs may lie there$" << all;
    QTest::newRow("a file beside that is no waveform file")
        << "rm 'm/Album 2/Tone B.mp3' && echo '{\"peaks\": []}' > 'out/Album 2/Tone B_Preview.json'" << QStringList{"m"} << false << 0
        << "^removed: .*/out/Album 2/Tone B_Preview\\.mp3: its song .* is gone$"
        << albumOne + QStringList{"Album 2", "Album 2/Tone B_Preview.json"};
}

void TestCli::pruneRemovesOnlyWhatIsProvedGone()
{
    QFETCH(QString, change);
    QFETCH(QStringList, arguments);
    QFETCH(bool, asNobody);
    QFETCH(int, status);
    QFETCH(QString, said);
    QFETCH(QStringList, left);
    const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
    if (asNobody && (setpriv.isEmpty() || ::getuid() != 0))
        QSKIP("a folder's mode refuses only another user: needs setpriv, run as root");
    // Outside the suite's own folder, which only root may enter.
    QTemporaryDir scratch;
    QVERIFY(QFile::setPermissions(scratch.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
                                                      | QFileDevice::ReadOther | QFileDevice::ExeOther));
    const QString root = scratch.path();
    for (const QString name : {QStringLiteral("m/Album 1/Tone A.mp3"), QStringLiteral("m/Album 2/Tone B.mp3")}) {
        QVERIFY(QDir(root).mkpath(QFileInfo(root + QLatin1Char('/') + name).path()));
        QVERIFY(QFile::copy(m_music + QLatin1Char('/') + Main::FileNameOf(name), root + QLatin1Char('/') + name));
    }
    QVERIFY(QDir(root).mkpath(QStringLiteral("out")));
    if (asNobody)
        QCOMPARE(QProcess::execute(QStringLiteral("chown"), {QStringLiteral("-R"), QStringLiteral("nobody:nogroup"), root}), 0);
    const auto night = [&](const QStringList &folders) {
        QProcess process;
        QStringList options{QStringLiteral("--update"), QStringLiteral("--prune"), QStringLiteral("-d"), QStringLiteral("1"),
                            QStringLiteral("--keep-folders"), QStringLiteral("--waveform"), QStringLiteral("json"),
                            QStringLiteral("-o"), root + QStringLiteral("/out")};
        for (const QString &folder : folders)
            options.append(root + QLatin1Char('/') + folder);
        process.setWorkingDirectory(root);
        if (asNobody)
            process.start(setpriv, QStringList{QStringLiteral("--reuid=nobody"), QStringLiteral("--regid=nogroup"),
                                               QStringLiteral("--clear-groups"), program()} + options);
        else
            process.start(program(), options);
        process.waitForFinished(60000);
        return Run{process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
                   QString::fromUtf8(process.readAllStandardError())};
    };
    const Run first = night({QStringLiteral("m")});
    QVERIFY2(first.status == 0, qPrintable(first.err));
    QProcess shell;
    shell.setWorkingDirectory(root);
    shell.start(QStringLiteral("sh"), {QStringLiteral("-c"), change});
    QVERIFY(shell.waitForFinished() && shell.exitCode() == 0);
    const Run second = night(arguments);
    QProcess::execute(QStringLiteral("chmod"), {QStringLiteral("-R"), QStringLiteral("u+rwx"), root}); // for the clean-up
    QVERIFY2(second.status == status, qPrintable(second.err));
    QVERIFY2(QRegularExpression(said, QRegularExpression::MultilineOption).match(second.err).hasMatch(), qPrintable(second.err));
    QCOMPARE(Fixtures::FilesBelow(root + QStringLiteral("/out")), left);
}

// Each tool takes files of the process: more at once than the limit allows would fail
// every start beyond it. The limit is the test's own while it runs, and so the program's.
void TestCli::jobsKeepWithinTheLimitOfOpenFiles()
{
    QStringList sources;
    for (int copy = 1; copy <= 12; ++copy) {
        sources << folder(QStringLiteral("limited")) + QStringLiteral("/%1.mp3").arg(copy);
        QVERIFY(QFile::copy(m_music + QStringLiteral("/Tone A.mp3"), sources.constLast()));
    }
    rlimit saved {};
    QCOMPARE(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    rlimit limited = saved;
    limited.rlim_cur = 64;
    QCOMPARE(::setrlimit(RLIMIT_NOFILE, &limited), 0);
    const Run result = run(QStringList{QStringLiteral("-j"), QStringLiteral("100"), QStringLiteral("-d"),
                                       QStringLiteral("1"), QStringLiteral("-o"), folder(QStringLiteral("limited-out"))}
                           + sources);
    QCOMPARE(::setrlimit(RLIMIT_NOFILE, &saved), 0);
    QVERIFY2(result.status == 0, qPrintable(result.err));
    QVERIFY2(result.err.startsWith(QStringLiteral("lumbrisk-cli: -j 100 lowered to 2: ")), qPrintable(result.err));
}

void TestCli::previewsInEachFormat_data()
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
void TestCli::previewsInEachFormat()
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

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
