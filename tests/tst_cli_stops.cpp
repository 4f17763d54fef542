// The stops a shell gives lumbrisk-cli (Ctrl+C, SIGHUP, a closed pipe, kill -9), and a current
// folder it cannot read.

#include "clitestcase.h"
#include "audiofixtures.h"

#include <QTest>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

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

QList<pid_t> hungTools(const QString &folder, const QString &file = QStringLiteral("pids"))
{
    QList<pid_t> pids;
    for (const QByteArray &line : Fixtures::Contents(folder + QLatin1Char('/') + file).split('\n')) {
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

class TestCliStops : public CliTestCase {
    Q_OBJECT

private slots:
    void stopsKeepFinishedPreviewsOnly_data();
    void stopsKeepFinishedPreviewsOnly();
    void killedRunLeavesNoToolAndTheNextRunCleansUp_data();
    void killedRunLeavesNoToolAndTheNextRunCleansUp();
    void relativeNamesNeedAReadableCurrentFolder_data();
    void relativeNamesNeedAReadableCurrentFolder();
};

// The second source's SoX hangs. Each stop must end it, remove the file it was to write,
// keep the first preview, and end with 128 + the signal.
void TestCliStops::stopsKeepFinishedPreviewsOnly_data()
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

void TestCliStops::stopsKeepFinishedPreviewsOnly()
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
    // A killed grandchild of the tool dies once it is next scheduled, which under load may be
    // after its program has ended; one that was never killed sleeps on for a minute.
    for (const pid_t tool : hungTools(tools) + hungTools(tools, QStringLiteral("children")))
        QTRY_VERIFY2(!running(tool), "a tool, or a program it started, runs on after its program stopped");
}

// kill -9 leaves no tool running, and the file its tool was writing only until the next run
// into that folder; a run going on at the same time (into another folder: runs into one take
// turns) keeps its own unfinished file. The killed run's lock file is the next run's to take,
// and goes as that one ends.
void TestCliStops::killedRunLeavesNoToolAndTheNextRunCleansUp_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("separate: a hidden file in the output folder") << QStringList();
    QTest::newRow("joined: a private folder in TEMP") << QStringList{QStringLiteral("--join")};
}

void TestCliStops::killedRunLeavesNoToolAndTheNextRunCleansUp()
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
void TestCliStops::relativeNamesNeedAReadableCurrentFolder_data()
{
    QTest::addColumn<QString>("leave"); // shell lines that make the current folder unreadable
    QTest::newRow("removed") << QStringLiteral("mkdir gone && cd gone && rmdir ../gone");
    QTest::newRow("deeper than 4096 bytes")
        << QStringLiteral("d=$(printf %0100d 0); for i in $(seq 42); do mkdir $d && cd $d || exit 9; done");
}

void TestCliStops::relativeNamesNeedAReadableCurrentFolder()
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

QTEST_GUILESS_MAIN(TestCliStops)
#include "tst_cli_stops.moc"
