// lumbrisk-cli as installed, run with real SoX and FFmpeg and no display: its options, its
// exit statuses, the stops a shell gives it (Ctrl+C, SIGHUP, a closed pipe, kill -9), runs
// side by side, and that parallel runs and dry runs make the very same previews as one tool
// at a time.

#include "audiofixtures.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <fcntl.h>
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

// A PATH whose sox, made in the folder, hangs on Tone B after noting its process id in the
// folder's "pids", and hands every other run to the real SoX.
QString hangingTools(const QString &folder)
{
    Fixtures::WriteScript(folder, QStringLiteral("sox"),
                          QStringLiteral("case \"$*\" in *Tone\\ B*) echo $$ >> '%1/pids'; exec sleep 60;; esac\n"
                                         "exec /usr/bin/sox \"$@\"").arg(folder));
    return folder + QStringLiteral(":/usr/bin:/bin");
}

QList<pid_t> hungTools(const QString &folder)
{
    QList<pid_t> pids;
    for (const QByteArray &line : Fixtures::Contents(folder + QStringLiteral("/pids")).split('\n')) {
        if (!line.isEmpty())
            pids.append(pid_t(line.toInt()));
    }
    return pids;
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

private:
    QProcess *prepare(const QStringList &arguments, const QString &path = QString(), const QString &temp = QString());
    QProcess *launch(const QStringList &arguments, const QString &path = QString(), const QString &temp = QString());
    Run run(const QStringList &arguments, const QString &path = QString(), const QString &temp = QString());
    QString folder(const QString &name) const;
    QStringList previewsIn(const QString &name) const;

    QTemporaryDir m_dir;
    QString m_music; // Tone A.mp3 (5 s), Tone B.mp3 (6 s), both 192 kbps, notes.txt and pipe.mp3, a FIFO
};

void TestCli::initTestCase()
{
    QVERIFY2(QFileInfo(program()).isExecutable(), "install the build tree first (the install_tree test)");
    m_music = folder(QStringLiteral("music"));
    QVERIFY(Fixtures::MakeTone(m_music + QStringLiteral("/Tone A.mp3"), 5, 440));
    QVERIFY(Fixtures::MakeTone(m_music + QStringLiteral("/Tone B.mp3"), 6, 660));
    QVERIFY(Fixtures::WriteFile(m_music + QStringLiteral("/notes.txt"), "not audio"));
    QCOMPARE(::mkfifo(QFile::encodeName(m_music + QStringLiteral("/pipe.mp3")).constData(), 0600), 0);
}

void TestCli::cleanupTestCase()
{
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
QProcess *TestCli::prepare(const QStringList &arguments, const QString &path, const QString &temp)
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
    process->setProgram(program());
    process->setArguments(arguments);
    return process;
}

QProcess *TestCli::launch(const QStringList &arguments, const QString &path, const QString &temp)
{
    QProcess *process = prepare(arguments, path, temp);
    process->start();
    return process;
}

Run TestCli::run(const QStringList &arguments, const QString &path, const QString &temp)
{
    QProcess *process = launch(arguments, path, temp);
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
                            << QStringLiteral(" --combine sequence \"\\$work\"/0001.mp3 ");
    QTest::newRow("-e for folders") << QStringList{dry, QStringLiteral("-e"), QStringLiteral("TXT"), m_music}
                                    << QStringLiteral("^\\S+ %1/notes.txt ").arg(m_music);
    QTest::newRow("--fade-in") << QStringList{dry, QStringLiteral("--fade-in"), QStringLiteral("1"), a}
                               << QStringLiteral(" fade 1\n");
    QTest::newRow("--fade-out") << QStringList{dry, QStringLiteral("--fade-out"), QStringLiteral("2"), a}
                                << QStringLiteral(" fade 0 -0 2\n");
    QTest::newRow("--json") << QStringList{QStringLiteral("--json"), QStringLiteral("-o"), folder(QStringLiteral("json")), a}
                            << QStringLiteral("\"made\": 1,");
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
    QTest::newRow("unknown option") << QStringList{QStringLiteral("--loud"), a} << QString() << 2
                                    << QStringLiteral("^lumbrisk-cli: Unknown option 'loud'\\.$") << none;
    QTest::newRow("bad number") << QStringList{QStringLiteral("-d"), QStringLiteral("0"), a} << QString() << 2
                                << QStringLiteral("^lumbrisk-cli: --duration '0': .*above 0$") << none;
    QTest::newRow("missing folder") << QStringList{a, QStringLiteral("gone/")} << QString() << 2
                                    << QStringLiteral("^lumbrisk-cli: 'gone/': no such folder$") << none;
    QTest::newRow("no sox") << QStringList{a} << QStringLiteral("/nonexistent") << 3
                            << QStringLiteral("^lumbrisk-cli: .*Install the Debian packages sox and libsox-fmt-mp3\\.$")
                            << none;
    // Truncated in place just before SoX reads it: the short cut is no short track.
    const QString shrinking = folder(QStringLiteral("shrinking"));
    QVERIFY(Fixtures::MakeTone(shrinking + QStringLiteral("/Shrinks.mp3"), 6));
    Fixtures::WriteScript(shrinking, QStringLiteral("sox"),
                          QStringLiteral("[ \"$1\" = -h ] || truncate -s 100000 \"$1\"\nexec /usr/bin/sox \"$@\""));
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
    QTest::newRow("standard error into a closed pipe") << 0 << STDERR_FILENO << both << 141 << a;
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
    QProcess *process = prepare(QStringList{QStringLiteral("-o"), output} + arguments, hangingTools(tools), temp);
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
    for (const pid_t tool : hungTools(tools))
        QVERIFY2(!running(tool), "a tool runs on after its program stopped");
}

// kill -9 leaves no tool running, and the file its tool was writing only until the next run
// into that folder; a run going on at the same time keeps its own unfinished file.
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
            if (!entry.endsWith(QLatin1String("_Preview.mp3")))
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
    QCOMPARE(run(arguments + QStringList{QStringLiteral("-o"), output, QStringLiteral("Tone A.mp3")}, QString(), temp).status, 0);
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

// Both runs make the same previews in the same folder at the same time; neither may take
// the other's unfinished file for its own.
void TestCli::twoRunsIntoOneFolderDoNotClash()
{
    const QStringList arguments{QStringLiteral("-q"), QStringLiteral("-j"), QStringLiteral("2"), QStringLiteral("-o"),
                                folder(QStringLiteral("shared")), QStringLiteral("Tone A.mp3"),
                                QStringLiteral("Tone B.mp3")};
    QProcess *first = launch(arguments);
    QProcess *second = launch(arguments);
    for (QProcess *process : {first, second}) {
        QVERIFY(process->waitForFinished(30000));
        QCOMPARE(process->exitCode(), 0);
    }
    QCOMPARE(previewsIn(QStringLiteral("shared")),
             (QStringList{QStringLiteral("Tone A_Preview.mp3"), QStringLiteral("Tone B_Preview.mp3")}));
    QVERIFY(qAbs(Fixtures::Describe(folder(QStringLiteral("shared")) + QStringLiteral("/Tone B_Preview.mp3")).seconds - 3) < 0.1);
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
    QTest::addColumn<int>("status"); // of the dry run and of the real run
    QTest::newRow("separate, with fades")
        << QStringList{QStringLiteral("--fade-in"), QStringLiteral("0.5"), QStringLiteral("--fade-out"),
                       QStringLiteral("0.5"), QStringLiteral("-b"), QStringLiteral("same")}
        << 0;
    QTest::newRow("joined") << QStringList{QStringLiteral("--join"), QStringLiteral("-b"), QStringLiteral("24")} << 0;
    // The pipe is left out; the lines must still make their private folder first.
    QTest::newRow("joined, after a pipe") << QStringList{QStringLiteral("--join"), QStringLiteral("pipe.mp3")} << 1;
}

void TestCli::dryRunLinesMakeTheSamePreviews()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    const QString tag = QString::fromLatin1(QTest::currentDataTag()).replace(QLatin1Char(' '), QLatin1Char('-'));
    const QStringList common = arguments + QStringList{QStringLiteral("-d"), QStringLiteral("1"), QStringLiteral("Tone A.mp3"),
                                                       QStringLiteral("Tone B.mp3")};
    const QString shelled = folder(QStringLiteral("shelled-") + tag);
    const Run dry = run(QStringList{QStringLiteral("--dry-run"), QStringLiteral("-o"), shelled} + common);
    QCOMPARE(dry.status, status);
    QCOMPARE(previewsIn(QStringLiteral("shelled-") + tag), QStringList()); // a dry run makes nothing

    QProcess shell;
    shell.start(QStringLiteral("sh"), {QStringLiteral("-e"), QStringLiteral("-c"), dry.out});
    QVERIFY(shell.waitForFinished(30000));
    QCOMPARE(shell.exitCode(), 0);
    const QString ran = folder(QStringLiteral("ran-") + tag);
    QCOMPARE(run(QStringList{QStringLiteral("-o"), ran} + common).status, status);
    const QStringList made = previewsIn(QStringLiteral("ran-") + tag);
    QVERIFY(!made.isEmpty());
    QCOMPARE(previewsIn(QStringLiteral("shelled-") + tag), made);
    for (const QString &name : made)
        QCOMPARE(Fixtures::Contents(shelled + QLatin1Char('/') + name), Fixtures::Contents(ran + QLatin1Char('/') + name));
}

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
