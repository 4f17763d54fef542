// lumbrisk-cli over lists of some thousand files: planned whole, stopped before their cuts, and
// run within the limit of open files.

#include "clitestcase.h"
#include "audiofixtures.h"

#include "filelist/addfolder.h"
#include "platform/consoleprompts.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QTest>

#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

namespace {

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

} // namespace

class TestCliLargeLists : public CliTestCase {
    Q_OBJECT

private slots:
    void largeListIsPlannedWholeInOrder();
    void signalStopsALargeListBeforeItsCuts_data();
    void signalStopsALargeListBeforeItsCuts();
    void jobsKeepWithinTheLimitOfOpenFiles();

private:
    QString largeTree();
};

// 300 albums of "Track 01.mp3" to "Track 10.mp3", links to one tone; made once.
QString TestCliLargeLists::largeTree()
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
void TestCliLargeLists::largeListIsPlannedWholeInOrder()
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

void TestCliLargeLists::signalStopsALargeListBeforeItsCuts_data()
{
    QTest::addColumn<int>("signalNumber");
    QTest::addColumn<bool>("asFolder"); // else every file as an argument of its own
    QTest::newRow("Ctrl+C, the folder") << SIGINT << true;
    QTest::newRow("SIGTERM, the files") << SIGTERM << false;
}

// The signal comes as soon as the handler is in place: while the folder is scanned or the
// list planned, or at the latest while the first cuts hang. The run must end with 128 plus
// the signal, leave nothing in the output folder and no tool running.
void TestCliLargeLists::signalStopsALargeListBeforeItsCuts()
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

// Each tool takes files of the process: more at once than the limit allows would fail
// every start beyond it. The limit is the test's own while it runs, and so the program's.
void TestCliLargeLists::jobsKeepWithinTheLimitOfOpenFiles()
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

QTEST_GUILESS_MAIN(TestCliLargeLists)
#include "tst_cli_largelists.moc"
