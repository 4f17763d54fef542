// The command runner and the command-line value it runs.

#include "audiofixtures.h"
#include "platform/commandline.h"
#include "platform/shell32.h"
#include "platform/toolwait.h"
#include "platform/watchdog.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <cerrno>

#include <sys/resource.h>
#include <unistd.h>

using Shell32::RunResult;

class TestShell32 : public QObject {
    Q_OBJECT

private slots:
    void commandLineKeepsTextAndArguments_data();
    void commandLineKeepsTextAndArguments();
    void feedbackArithmetic_data();
    void feedbackArithmetic();
    void passesArgumentsUntouchedAndReportsExitStatus();
    void keepsACrashApartFromAnExit();
    void programThatCannotStartReturnsNegativeAtOnce_data();
    void programThatCannotStartReturnsNegativeAtOnce();
    void noticesTheEndWithoutWaitingForATick();
    void longRunShowsWaitingTextAndKeepsWindowAlive();
    void watchdogStopsOnlyAToolThatHangs_data();
    void watchdogStopsOnlyAToolThatHangs();
    void pipedRunFollowsBothTools_data();
    void pipedRunFollowsBothTools();
    void fedRunWritesTheSamples_data();
    void fedRunWritesTheSamples();
    void workRunsOffTheWindowThread();

private:
    QTemporaryDir m_dir;
};

void TestShell32::commandLineKeepsTextAndArguments_data()
{
    // Pieces: "p:" appends plain text, "q:" a quoted value.
    QTest::addColumn<QStringList>("pieces");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("runs of blanks separate once")
        << QStringList{"p:  -c 2   -r 48000 "} << "\"/bin/tool\"  -c 2   -r 48000 "
        << QStringList{"-c", "2", "-r", "48000"};
    QTest::newRow("a quoted value is one argument, whatever it holds")
        << QStringList{"p: ", "q:/M/a \"b\" $(touch x) `y` 100% ü.mp3", "p: next"}
        << "\"/bin/tool\" \"/M/a \"b\" $(touch x) `y` 100% ü.mp3\" next"
        << QStringList{"/M/a \"b\" $(touch x) `y` 100% ü.mp3", "next"};
    QTest::newRow("an empty quoted value is an empty argument")
        << QStringList{"p: -C ", "q:", "p: out"} << "\"/bin/tool\" -C \"\" out" << QStringList{"-C", "", "out"};
    QTest::newRow("a value without a blank before it joins the argument")
        << QStringList{"p: -C", "q:128"} << "\"/bin/tool\" -C\"128\"" << QStringList{"-C128"};
}

void TestShell32::commandLineKeepsTextAndArguments()
{
    QFETCH(QStringList, pieces);
    QFETCH(QString, text);
    QFETCH(QStringList, arguments);
    CommandLine commandLine(QStringLiteral("/bin/tool"));
    for (const QString &piece : pieces) {
        if (piece.startsWith(QLatin1String("p:")))
            commandLine.plain(piece.mid(2));
        else
            commandLine.quoted(piece.mid(2));
    }
    QCOMPARE(commandLine.program(), QStringLiteral("/bin/tool"));
    QCOMPARE(commandLine.text(), text);
    QCOMPARE(commandLine.arguments(), arguments);
}

void TestShell32::feedbackArithmetic_data()
{
    QTest::addColumn<int>("tick");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<int>("startValue");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("text");  // "-" for no change
    QTest::addColumn<double>("value");  // -1 for no change
    const QString song = QStringLiteral("Processing: Song A.mp3");
    QTest::newRow("before five seconds nothing") << 49 << song << 25 << 4 << "-" << -1.0;
    QTest::newRow("tick 50: waiting text, bar to the start value") << 50 << song << 25 << 4 << song + ", Please wait.. 0" << 25.0;
    QTest::newRow("tick 51: counter only") << 51 << song << 25 << 4 << song + ", Please wait.. 1" << -1.0;
    // 100/4/10 = 2.5 goes to 2, not 3.
    QTest::newRow("tick 200: one step of 2") << 200 << song << 25 << 4 << song + ", Please wait.. 150" << 27.0;
    QTest::newRow("tick 350: two steps") << 350 << song << 25 << 4 << song + ", Please wait.. 300" << 29.0;
    QTest::newRow("stops at the limit 48") << 50 + 150 * 12 << song << 25 << 4 << song + ", Please wait.. 1800" << 48.0;
    // 100/8 = 12.5: step 1.25 goes to 1, limit 12.5 + 13 - 1 = 24.5 goes to 24.
    QTest::newRow("limit halves to even") << 50 + 150 * 11 << song << 13 << 8 << song + ", Please wait.. 1650" << 24.0;
    QTest::newRow("one file may pass 100") << 200 << song << 100 << 1 << song + ", Please wait.. 150" << 110.0;
    QTest::newRow("twenty files: the bar stands still") << 200 << song << 5 << 20 << song + ", Please wait.. 150" << 5.0;
    QTest::newRow("empty caption: no comma") << 60 << QString() << 0 << 1 << "Please wait.. 10" << -1.0;
}

void TestShell32::feedbackArithmetic()
{
    QFETCH(int, tick);
    QFETCH(QString, caption);
    QFETCH(int, startValue);
    QFETCH(int, count);
    QFETCH(QString, text);
    QFETCH(double, value);
    const Shell32::Feedback feedback = Shell32::FeedbackAt(tick, caption, startValue, count);
    QCOMPARE(feedback.text.value_or(QStringLiteral("-")), text);
    QCOMPARE(feedback.value.value_or(-1.0), value);
}

void TestShell32::passesArgumentsUntouchedAndReportsExitStatus()
{
    const QString argsFile = m_dir.filePath(QStringLiteral("args.txt"));
    const QString tool = Fixtures::WriteScript(m_dir.path(), QStringLiteral("echo-args"),
                                               QStringLiteral("for a in \"$@\"; do printf '%s\\n' \"$a\"; done > '%1'\n"
                                                              "echo 'working' >&2\n"
                                                              "echo 'tool FAIL formats: the reason  ' >&2\n"
                                                              "echo >&2\n"
                                                              "exit 3").arg(argsFile));
    const QStringList hostile{QStringLiteral("a\"b"), QStringLiteral("$(touch %1/pwned)").arg(m_dir.path()),
                              QStringLiteral("`touch %1/pwned2`").arg(m_dir.path()), QStringLiteral("100% sure"),
                              QStringLiteral(" spaced  out "), QStringLiteral("Ünïcødé 音楽")};
    CommandLine commandLine(tool);
    for (const QString &argument : hostile)
        commandLine.plain(QStringLiteral(" ")).quoted(argument);

    RecordingProgress bar;
    bar.reset(QStringLiteral("Processing: x.mp3"), 40);
    const RunResult result = Shell32::RunAndWait(commandLine, Shell32::HiddenWindow, &bar,
                                                 QStringLiteral("Caption"), 25, 4);

    QCOMPARE(QString::fromUtf8(Fixtures::Contents(argsFile)).split(QLatin1Char('\n'), Qt::SkipEmptyParts), hostile);
    QVERIFY(!QFile::exists(m_dir.filePath(QStringLiteral("pwned"))));
    QVERIFY(!QFile::exists(m_dir.filePath(QStringLiteral("pwned2"))));
    QCOMPARE(result.outcome, RunResult::Outcome::Exited);
    QCOMPARE(result.status(), 3);
    QVERIFY(!result.succeeded());
    QCOMPARE(result.lastErrorLine(), QStringLiteral("tool FAIL formats: the reason"));
    // A short run restores the caption and leaves the value alone.
    QCOMPARE(bar.Text(), QStringLiteral("Caption"));
    QCOMPARE(bar.Value(), 40.0);
}

void TestShell32::keepsACrashApartFromAnExit()
{
    const QString tool = Fixtures::WriteScript(m_dir.path(), QStringLiteral("crash"),
                                               QStringLiteral("echo 'about to fall over' >&2\nkill -SEGV $$"));
    RecordingProgress bar;
    bar.reset(QString(), 0);
    const RunResult result = Shell32::RunAndWait(CommandLine(tool), Shell32::HiddenWindow, &bar, QString(), 0, 1);
    QCOMPARE(result.outcome, RunResult::Outcome::Crashed);
    QCOMPARE(result.status(), 128 + 11);
    QCOMPARE(result.lastErrorLine(), QStringLiteral("about to fall over"));
    QCOMPARE(bar.Text(), QStringLiteral("Progress Bar"));
}

void TestShell32::programThatCannotStartReturnsNegativeAtOnce_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<int>("errorNumber");
    QTest::newRow("missing") << m_dir.filePath(QStringLiteral("no-such-tool")) << int(ENOENT);
    QTest::newRow("not on PATH") << QStringLiteral("no-such-tool-anywhere") << int(ENOENT);
    QTest::newRow("not executable") << m_dir.filePath(QStringLiteral("plain.txt")) << int(EACCES);
    // Every file descriptor below the limit in use: QProcess gets no pipe.
    QTest::newRow("too many files open") << QStringLiteral("/bin/true") << int(EMFILE);
}

void TestShell32::programThatCannotStartReturnsNegativeAtOnce()
{
    QFETCH(QString, program);
    QFETCH(int, errorNumber);
    QVERIFY(Fixtures::WriteFile(m_dir.filePath(QStringLiteral("plain.txt"))));

    RecordingProgress bar;
    bar.reset(QStringLiteral("Processing: x.mp3"), 50);
    rlimit saved {};
    QCOMPARE(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    rlimit full = saved;
    full.rlim_cur = rlim_t(::dup(0)); // the lowest free descriptor: none is left from here on
    ::close(int(full.rlim_cur));
    if (errorNumber == EMFILE)
        QCOMPARE(::setrlimit(RLIMIT_NOFILE, &full), 0);
    QElapsedTimer clock;
    clock.start();
    const RunResult result = Shell32::RunAndWait(CommandLine(program).plain(QStringLiteral(" -x")),
                                                 Shell32::HiddenWindow, &bar, QStringLiteral("Other"), 0, 1);
    QCOMPARE(::setrlimit(RLIMIT_NOFILE, &saved), 0);
    if (errorNumber == EMFILE)
        QCOMPARE(result.startError, QStringLiteral("too many files open"));
    QVERIFY2(clock.elapsed() < 100, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(result.outcome, RunResult::Outcome::FailedToStart);
    QCOMPARE(result.status(), -2147221504 + errorNumber);
    QVERIFY(result.status() < 0);
    QVERIFY(!result.startError.isEmpty());
    QVERIFY(bar.changes.isEmpty()); // not even the caption is put back
}

void TestShell32::noticesTheEndWithoutWaitingForATick()
{
    // A runner that looks only every 100 ms needs at least that long for any program.
    qint64 fastest = std::numeric_limits<qint64>::max();
    for (int run = 0; run < 5; ++run) {
        QElapsedTimer clock;
        clock.start();
        const RunResult result = Shell32::RunAndWait(CommandLine(QStringLiteral("/bin/true")),
                                                     Shell32::HiddenWindow, nullptr, QString(), 0, 1);
        fastest = qMin(fastest, clock.elapsed());
        QVERIFY(result.succeeded());
    }
    QVERIFY2(fastest < 80, qPrintable(QString::number(fastest)));
}

void TestShell32::longRunShowsWaitingTextAndKeepsWindowAlive()
{
    const QString tool = Fixtures::WriteScript(m_dir.path(), QStringLiteral("slow"), QStringLiteral("sleep 8"));
    const QString caption = QStringLiteral("Processing: Song A.mp3");
    RecordingProgress bar;
    bar.reset(caption, 30);
    int windowTicks = 0;
    QTimer window;
    connect(&window, &QTimer::timeout, this, [&] { ++windowTicks; });
    window.start(100);

    const RunResult result = Shell32::RunAndWait(CommandLine(tool), Shell32::HiddenWindow, &bar, caption, 25, 4);
    window.stop();

    QVERIFY(result.succeeded());
    QVERIFY2(windowTicks >= 60, qPrintable(QString::number(windowTicks)));
    QVERIFY(bar.changes.size() > 2);
    const RecordingProgress::Change first = bar.changes.first();
    QVERIFY2(first.milliseconds >= 4500, qPrintable(QString::number(first.milliseconds)));
    QCOMPARE(first.text, caption + QStringLiteral(", Please wait.. 0"));
    // At tick 50 the bar goes to the start value handed over (25), not the bar's own 30.
    QCOMPARE(bar.changes.at(1).value, 25.0);
    int counter = -1;
    for (const RecordingProgress::Change &change : bar.changes.mid(0, bar.changes.size() - 1)) {
        if (!change.textChanged)
            continue;
        QCOMPARE(change.text, caption + QStringLiteral(", Please wait.. ") + QString::number(counter + 1));
        ++counter;
    }
    QVERIFY2(counter >= 20 && counter <= 32, qPrintable(QString::number(counter)));
    QCOMPARE(bar.changes.last().text, caption);
    QCOMPARE(bar.Value(), 25.0);
}

// A tool that neither reads, writes nor computes for the stall (1 s here, 60 s in use) is
// stopped; one that works, however slowly, runs to its end.
void TestShell32::watchdogStopsOnlyAToolThatHangs_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<bool>("stopped");
    QTest::newRow("idle, as a blocked read") << "sleep 20" << true;
    QTest::newRow("computing for longer than the stall") << "i=0; while [ $i -lt 1500000 ]; do i=$((i+1)); done" << false;
    QTest::newRow("writing now and then") << "for i in 1 2 3 4 5 6 7 8; do echo $i; sleep 0.3; done" << false;
}

void TestShell32::watchdogStopsOnlyAToolThatHangs()
{
    QFETCH(QString, script);
    QFETCH(bool, stopped);
    QProcess tool;
    const Watchdog watchdog({&tool}, 1);
    tool.start(QStringLiteral("sh"), {QStringLiteral("-c"), script});
    QVERIFY(tool.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(tool.state() == QProcess::NotRunning, 15000);
    QCOMPARE(watchdog.fired(), stopped);
    QCOMPARE(tool.exitStatus() == QProcess::CrashExit, stopped);
}

// A program reading what a feeder (FFmpeg decoding a source) writes into it, both waited for
// on the event loop: the program's result, and how the feeder ended with its last words.
void TestShell32::pipedRunFollowsBothTools_data()
{
    QTest::addColumn<QString>("feeder"); // a script; "" for one that cannot start
    QTest::addColumn<QString>("program"); // a script; "" for one that cannot start
    QTest::addColumn<QByteArray>("output"); // the program's
    QTest::addColumn<int>("feederOutcome");  // RunResult::Outcome
    QTest::addColumn<QString>("feederWords"); // its last line of error output
    const int exited = int(RunResult::Outcome::Exited);
    QTest::newRow("what the feeder writes reaches the program")
        << "printf 'samples'; echo 'decoded' >&2" << "cat" << QByteArray("samples") << exited << "decoded";
    // A warning per frame of a damaged file fills the error pipe many times over.
    QTest::newRow("a feeder that talks much never holds the pipe up")
        << "i=0; while [ $i -lt 20000 ]; do echo \"warning $i of a damaged frame\" >&2; i=$((i+1)); done; printf 'samples'"
        << "cat" << QByteArray("samples") << exited << "warning 19999 of a damaged frame";
    QTest::newRow("the program has enough: the feeder ends at the closed pipe")
        << "exec yes samples" << "head -c 7" << QByteArray("samples") << int(RunResult::Outcome::Crashed) << "";
    QTest::newRow("a feeder that gave up") << "echo 'Invalid data found when processing input' >&2; exit 1"
                                           << "cat" << QByteArray() << exited << "Invalid data found when processing input";
    QTest::newRow("a feeder that cannot start") << "" << "cat" << QByteArray() << int(RunResult::Outcome::FailedToStart) << "";
}

void TestShell32::pipedRunFollowsBothTools()
{
    QFETCH(QString, feeder);
    QFETCH(QString, program);
    QFETCH(QByteArray, output);
    QFETCH(int, feederOutcome);
    QFETCH(QString, feederWords);
    const QString missing = m_dir.filePath(QStringLiteral("no-such-tool"));
    const QString feeding = feeder.isEmpty() ? missing : Fixtures::WriteScript(m_dir.path(), QStringLiteral("feeder"), feeder);
    const QString reading = Fixtures::WriteScript(m_dir.path(), QStringLiteral("reader"), QStringLiteral("exec ") + program);
    RecordingProgress bar;
    bar.reset(QStringLiteral("Caption"), 10);
    QElapsedTimer clock;
    clock.start();

    const Shell32::RunEnd end = Shell32::RunToolAndWait({CommandLine(reading), CommandLine(feeding), {}, std::nullopt},
                                                        &bar, QStringLiteral("Caption"), 10, 1);
    const RunResult &result = end.result;
    QVERIFY(end.decoder);
    const RunResult &fed = *end.decoder;

    QVERIFY2(clock.elapsed() < 4000, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(result.succeeded());
    QCOMPARE(result.output, output);
    QCOMPARE(int(fed.outcome), feederOutcome);
    QCOMPARE(fed.lastErrorLine(), feederWords);
    QVERIFY(fed.errorOutput.size() <= 4096); // only the last lines are kept
    QCOMPARE(bar.Text(), QStringLiteral("Caption"));
}

// A program reading samples this program writes into it from the event loop, more than its
// pipe holds; one that stops reading early ends the writing without ending this program.
void TestShell32::fedRunWritesTheSamples_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QByteArray>("output");
    QTest::newRow("every byte reaches the program") << "wc -c" << QByteArray("4000004\n");
    QTest::newRow("the program has enough: the rest is left") << "head -c 7" << QByteArray("RIFF\0\0\0", 7);
}

void TestShell32::fedRunWritesTheSamples()
{
    QFETCH(QString, program);
    QFETCH(QByteArray, output);
    const QString reading = Fixtures::WriteScript(m_dir.path(), QStringLiteral("reader"), QStringLiteral("exec ") + program);
    const SampleFeed::Input samples{QByteArrayLiteral("RIFF"), std::make_shared<const std::vector<float>>(1000000, 0.0f)};
    RecordingProgress bar;
    bar.reset(QStringLiteral("Caption"), 10);

    const RunResult result = Shell32::RunToolAndWait({CommandLine(reading), std::nullopt, samples, std::nullopt}, &bar,
                                                     QStringLiteral("Caption"), 10, 1).result;

    QVERIFY(result.succeeded());
    QCOMPARE(result.output.trimmed(), output.trimmed());
}

// An analysis in the process runs on a thread of its own while the window's events run, and
// the bar's caption is back once it has ended.
void TestShell32::workRunsOffTheWindowThread()
{
    RecordingProgress bar;
    bar.reset(QStringLiteral("Processing: Song.flac"), 20);
    int windowTicks = 0;
    QTimer window;
    connect(&window, &QTimer::timeout, this, [&] { ++windowTicks; });
    window.start(20);
    QThread *worker = nullptr;

    Shell32::WorkAndWait([&] {
        worker = QThread::currentThread();
        QThread::msleep(500);
    }, &bar, bar.Text(), 20, 1);
    window.stop();

    QVERIFY(worker && worker != QThread::currentThread());
    QVERIFY2(windowTicks >= 10, qPrintable(QString::number(windowTicks)));
    QCOMPARE(bar.Text(), QStringLiteral("Processing: Song.flac"));
}

QTEST_GUILESS_MAIN(TestShell32)
#include "tst_shell32.moc"
