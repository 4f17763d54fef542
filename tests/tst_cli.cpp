// lumbrisk-cli as installed, run with real SoX and FFmpeg and no display: its options, its
// exit statuses, Ctrl+C, runs side by side, and that parallel runs and dry runs make the
// very same previews as one tool at a time.

#include "audiofixtures.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/stat.h>

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

private:
    QProcess *launch(const QStringList &arguments, const QString &path = QString());
    Run run(const QStringList &arguments, const QString &path = QString());
    QString folder(const QString &name) const;
    QStringList previewsIn(const QString &name) const;

    QTemporaryDir m_dir;
    QString m_music; // Tone A.mp3 (5 s), Tone B.mp3 (6 s), both 192 kbps, notes.txt and pipe.mp3, a FIFO
    QString m_tree;  // Artist A/Album 1/Track 01.mp3 (Tone A) and Artist B/Track 01.mp3 (Tone B)
};

void TestCli::initTestCase()
{
    QVERIFY2(QFileInfo(program()).isExecutable(), "install the build tree first (the install_tree test)");
    m_music = folder(QStringLiteral("music"));
    QVERIFY(Fixtures::MakeTone(m_music + QStringLiteral("/Tone A.mp3"), 5, 440));
    QVERIFY(Fixtures::MakeTone(m_music + QStringLiteral("/Tone B.mp3"), 6, 660));
    QVERIFY(Fixtures::WriteFile(m_music + QStringLiteral("/notes.txt"), "not audio"));
    QCOMPARE(::mkfifo(QFile::encodeName(m_music + QStringLiteral("/pipe.mp3")).constData(), 0600), 0);
    m_tree = folder(QStringLiteral("tree"));
    QVERIFY(QDir(m_tree).mkpath(QStringLiteral("Artist A/Album 1")) && QDir(m_tree).mkpath(QStringLiteral("Artist B")));
    QVERIFY(QFile::copy(m_music + QStringLiteral("/Tone A.mp3"), m_tree + QStringLiteral("/Artist A/Album 1/Track 01.mp3")));
    QVERIFY(QFile::copy(m_music + QStringLiteral("/Tone B.mp3"), m_tree + QStringLiteral("/Artist B/Track 01.mp3")));
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

// Two runs at once into one folder, each with its own a.mp3 (the README's distributed use):
// neither takes the other's unfinished file nor replaces its preview; the later one saves
// under a free name and says so. Their SoX wait for each other, so both runs have named
// their previews before either is saved. A third run replaces an earlier run's preview.
void TestCli::twoRunsIntoOneFolderDoNotClash()
{
    const QString tools = folder(QStringLiteral("together"));
    Fixtures::WriteScript(tools, QStringLiteral("sox"), QStringLiteral(
        "case \"$1\" in -h) exec /usr/bin/sox \"$@\";; esac\n: > '%1/started.$$'\n"
        "for i in $(seq 200); do [ $(ls '%1' | grep -c started) -ge 2 ] && break; sleep 0.05; done\n"
        "exec /usr/bin/sox \"$@\"").arg(tools));
    const QString shared = folder(QStringLiteral("shared"));
    const QStringList sources{folder(QStringLiteral("d1")) + QStringLiteral("/a.mp3"),
                              folder(QStringLiteral("d2")) + QStringLiteral("/a.mp3")};
    QVERIFY(QFile::copy(m_music + QStringLiteral("/Tone A.mp3"), sources[0]));
    QVERIFY(QFile::copy(m_music + QStringLiteral("/Tone B.mp3"), sources[1]));
    QList<QProcess *> runs;
    for (const QString &source : sources)
        runs << launch({QStringLiteral("--json"), QStringLiteral("-o"), shared, source}, tools + QStringLiteral(":/usr/bin:/bin"));
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
        QCOMPARE(QString::fromUtf8(process->readAllStandardError()).contains(QStringLiteral("made under a free name: ")),
                 !planned.constLast().isEmpty());
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
    // The pipe is left out; the lines must still make their private folder first.
    QTest::newRow("joined, after a pipe") << QStringList{QStringLiteral("--join"), QStringLiteral("pipe.mp3")} << 1
                                          << "Joined_Preview.mp3";
    // Two "Track 01.mp3" in different folders, each in its own folder below the output.
    QTest::newRow("kept folders") << QStringList{QStringLiteral("--keep-folders"), m_tree} << 0
                                  << "Artist A/Album 1/Track 01_Preview.mp3";
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
    shell.start(QStringLiteral("sh"), {QStringLiteral("-e"), QStringLiteral("-c"), dry.out});
    QVERIFY(shell.waitForFinished(30000));
    QVERIFY2(shell.exitCode() == 0, qPrintable(dry.out + shell.readAllStandardError()));
    const QString ran = m_dir.filePath(QStringLiteral("ran-") + tag);
    const Run real = run(QStringList{QStringLiteral("-o"), ran} + common);
    QCOMPARE(real.status, status);
    QVERIFY2(real.err.startsWith(QStringLiteral("lumbrisk-cli: made the folder ") + ran + QLatin1Char('\n')), qPrintable(real.err));
    const QStringList made = previewsIn(QStringLiteral("ran-") + tag);
    QVERIFY2(made.contains(madeAlso), qPrintable(made.join(QLatin1Char('\n'))));
    QCOMPARE(previewsIn(QStringLiteral("shelled-") + tag), made);
    for (const QString &name : made)
        QCOMPARE(Fixtures::Contents(shelled + QLatin1Char('/') + name), Fixtures::Contents(ran + QLatin1Char('/') + name));
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

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
