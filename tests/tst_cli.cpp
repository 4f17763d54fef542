// lumbrisk-cli as installed, run with real SoX and FFmpeg and no display: its options, its
// exit statuses, Ctrl+C, runs side by side, that parallel runs and dry runs make the very
// same previews as one tool at a time, and lists of some thousand files.

#include "audiofixtures.h"
#include "filelist/addfolder.h"
#include "platform/consoleprompts.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
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
    static const QRegularExpression cut(QStringLiteral("^\\S+ '([^']+)' .* '([^']+)' trim "));
    QList<QPair<QString, QString>> pairs;
    for (const QString &line : lines.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QRegularExpressionMatch match = cut.match(line);
        pairs.append({match.captured(1), match.captured(2)});
    }
    return pairs;
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
    void ctrlCKeepsFinishedPreviewsOnly();
    void twoRunsIntoOneFolderDoNotClash();
    void jobsDoNotChangeThePreviews();
    void dryRunLinesMakeTheSamePreviews_data();
    void dryRunLinesMakeTheSamePreviews();
    void largeListIsPlannedWholeInOrder();
    void signalStopsALargeListBeforeItsCuts_data();
    void signalStopsALargeListBeforeItsCuts();

private:
    QProcess *launch(const QStringList &arguments, const QString &path = QString());
    Run run(const QStringList &arguments, const QString &path = QString());
    QString folder(const QString &name) const;
    QStringList previewsIn(const QString &name) const;
    QString largeTree();

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

// Without any display and with a settings folder of its own, which must stay empty.
QProcess *TestCli::launch(const QStringList &arguments, const QString &path)
{
    auto *process = new QProcess(this);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *display : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QString::fromLatin1(display));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), folder(QStringLiteral("config")));
    if (!path.isEmpty())
        environment.insert(QStringLiteral("PATH"), path);
    process->setProcessEnvironment(environment);
    process->setWorkingDirectory(m_music);
    process->start(program(), arguments);
    return process;
}

Run TestCli::run(const QStringList &arguments, const QString &path)
{
    QProcess *process = launch(arguments, path);
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

// The second source's SoX hangs: Ctrl+C must stop it, remove the file it was to write, keep
// the first preview and end with 130.
void TestCli::ctrlCKeepsFinishedPreviewsOnly()
{
    const QString tools = folder(QStringLiteral("hanging"));
    Fixtures::WriteScript(tools, QStringLiteral("sox"),
                          QStringLiteral("case \"$*\" in *Tone\\ B*) exec sleep 60;; esac\nexec /usr/bin/sox \"$@\""));
    const QString output = folder(QStringLiteral("interrupted"));
    QProcess *process = launch({QStringLiteral("-j"), QStringLiteral("1"), QStringLiteral("-o"), output,
                                QStringLiteral("Tone A.mp3"), QStringLiteral("Tone B.mp3")},
                               tools + QStringLiteral(":/usr/bin:/bin"));
    QTRY_VERIFY_WITH_TIMEOUT(Fixtures::FilesBelow(output).size() == 2, 20000); // A made, B begun
    ::kill(pid_t(process->processId()), SIGINT);
    QVERIFY(process->waitForFinished(10000));
    QCOMPARE(process->exitCode(), 130);
    QCOMPARE(Fixtures::FilesBelow(output), QStringList{QStringLiteral("Tone A_Preview.mp3")});
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

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
