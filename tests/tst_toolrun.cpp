// A tool piped into an encoder, through both runners of the seam: the window's waiting one
// and lumbrisk-cli's pool. Real SoX into real FFmpeg; what they wrote is read by ffprobe.

#include "audiofixtures.h"
#include "batch/toolpool.h"
#include "platform/toolwait.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cerrno>
#include <csignal>

using Shell32::RunResult;

class TestToolRun : public QObject {
    Q_OBJECT

private slots:
    void toolPipedIntoAnEncoder_data();
    void toolPipedIntoAnEncoder();
    void stoppingTheWindowsRunKillsTheEncoder();

private:
    // Two seconds of a tone, as the program (SoX) writes raw floats for an encoder.
    static CommandLine tone(const QString &program);
    static CommandLine encoder(const QString &program, const QString &codec, const QString &outputPath);
    // The pool's runs, each waited for on the loop as the window waits for its own.
    static Runner waitingFor(ToolPool &tools, QEventLoop &loop);
    QTemporaryDir m_dir;
};

CommandLine TestToolRun::tone(const QString &program)
{
    return CommandLine(program).plain(QStringLiteral(" -n -t f32 -c 2 -r 48000 - synth 2 sine 440"));
}

CommandLine TestToolRun::encoder(const QString &program, const QString &codec, const QString &outputPath)
{
    return CommandLine(program)
        .plain(QStringLiteral(" -nostdin -v error -f f32le -ar 48000 -ac 2 -i - -c:a %1 -b:a 96k -y ").arg(codec))
        .quoted(outputPath);
}

Runner TestToolRun::waitingFor(ToolPool &tools, QEventLoop &loop)
{
    return [&tools, &loop](const ToolRun &run, const RunEnded &ended) {
        tools.launch(run, -1, [&loop, ended](const RunResult &result, const std::optional<RunResult> &decoder) {
            ended(result, decoder);
            loop.quit();
        });
        QTimer::singleShot(20000, &loop, &QEventLoop::quit);
        loop.exec();
    };
}

void TestToolRun::toolPipedIntoAnEncoder_data()
{
    QTest::addColumn<bool>("pool"); // else the window's waiting runner
    QTest::addColumn<QString>("sox");
    QTest::addColumn<QString>("program"); // the encoder's
    QTest::addColumn<QString>("codec");
    QTest::addColumn<QString>("file"); // what it writes
    QTest::addColumn<QString>("words"); // what the failed run says; "" for a written file
    const QString missing = QStringLiteral("/nonexistent/tool");
    for (const bool pool : {false, true}) {
        const char *runner = pool ? "pool" : "window";
        QTest::addRow("%s: Opus", runner) << pool << "sox" << "ffmpeg" << "libopus" << "preview.opus" << "";
        // SoX meets the pipe the encoder closed: the encoder's own words tell why.
        QTest::addRow("%s: an encoder that fails", runner)
            << pool << "sox" << "ffmpeg" << "no_such_encoder" << "preview.m4a" << "the encoder (FFmpeg): Unknown encoder 'no_such_encoder'";
        QTest::addRow("%s: an encoder that cannot start", runner)
            << pool << "sox" << missing << "aac" << "preview.m4a" << "the encoder (FFmpeg): ";
        // Its encoder, left without samples, ends the run no second time.
        QTest::addRow("%s: a tool that cannot start", runner) << pool << missing << "ffmpeg" << "aac" << "preview.m4a" << "";
    }
}

void TestToolRun::toolPipedIntoAnEncoder()
{
    QFETCH(bool, pool);
    QFETCH(QString, sox);
    QFETCH(QString, program);
    QFETCH(QString, codec);
    QFETCH(QString, file);
    QFETCH(QString, words);
    const QString written = m_dir.filePath(file);
    const ToolRun run{tone(sox), std::nullopt, {}, encoder(program, codec, written)};
    RunResult result;
    bool decoded = false;
    int ends = 0;
    const RunEnded ended = [&](const RunResult &end, const std::optional<RunResult> &decoder) {
        result = end;
        decoded = decoder.has_value();
        ++ends;
    };
    QEventLoop loop;
    ToolPool tools(&loop, [] { QFAIL("not interrupted"); });
    const Runner runner = pool ? waitingFor(tools, loop) : Shell32::Waiting(nullptr, QString(), 0, 1);

    runner(run, ended);
    QTest::qWait(300); // for an end told twice

    QCOMPARE(ends, 1);
    QVERIFY(!decoded);
    if (sox != QStringLiteral("sox")) {
        QCOMPARE(result.outcome, RunResult::Outcome::FailedToStart);
        return;
    }
    QCOMPARE(result.succeeded(), words.isEmpty());
    QVERIFY2(result.errorOutput.startsWith(words.toUtf8()), result.errorOutput.constData());
    if (!words.isEmpty())
        return;
    const Fixtures::AudioFacts facts = Fixtures::Describe(written);
    QCOMPARE(facts.codec, QString(codec).remove(QStringLiteral("lib"))); // libopus writes opus
    QCOMPARE(facts.channels, 2);
    QVERIFY2(std::abs(facts.seconds - 2) < 0.1, qPrintable(QString::number(facts.seconds)));
}

// Closing the window in the middle of a run: the encoder, which would wait for samples that
// never come, is killed with the tool.
void TestToolRun::stoppingTheWindowsRunKillsTheEncoder()
{
    const QString pidFile = m_dir.filePath(QStringLiteral("encoder.pid"));
    const QString hanging = Fixtures::WriteScript(m_dir.path(), QStringLiteral("encoder"),
                                                  QStringLiteral("echo $$ > '%1'\nexec sleep 30").arg(pidFile));
    const ToolRun run{CommandLine(QStringLiteral("sox")).plain(QStringLiteral(" -n -t f32 - synth 600 sine 440")),
                      std::nullopt, {}, CommandLine(hanging)};
    QTimer::singleShot(500, [] { Shell32::StopRunningTools(); });
    QElapsedTimer clock;
    clock.start();

    const RunResult result = Shell32::RunToolAndWait(run, nullptr, QString(), 0, 1).result;

    QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(!result.succeeded());
    const pid_t encoderPid = pid_t(Fixtures::Contents(pidFile).trimmed().toInt());
    QVERIFY(encoderPid > 0);
    QCOMPARE(::kill(encoderPid, 0), -1);
    QCOMPARE(errno, ESRCH);
}

QTEST_GUILESS_MAIN(TestToolRun)
#include "tst_toolrun.moc"
