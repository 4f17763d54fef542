// The window's waits for its tools and for work on a thread: event loops with a ticking bar.
#include "platform/toolwait.h"

#include "platform/watchdog.h"

#include <QEventLoop>
#include <QProcess>
#include <QThread>
#include <QTimer>

#include <memory>

namespace Shell32 {

namespace {

constexpr int TickMilliseconds = 100;

// The programs the window waits for, innermost last: the window's thread may nest a run
// inside another's event pumping.
QList<QProcess *> &runningTools()
{
    static QList<QProcess *> running;
    return running;
}

void showFeedback(Progress &progress, const Feedback &feedback)
{
    if (feedback.text)
        progress.setText(*feedback.text);
    if (feedback.value)
        progress.setValue(*feedback.value);
}

// Waits on an event loop until the process has ended, or the time is up; true when it ended.
bool waitEnded(QProcess &process, int milliseconds)
{
    if (process.state() == QProcess::NotRunning)
        return true;
    QEventLoop loop;
    QTimer timeout;
    timeout.setSingleShot(true);
    QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
    QObject::connect(&timeout, &QTimer::timeout, &loop, &QEventLoop::quit);
    timeout.start(milliseconds);
    loop.exec();
    return process.state() == QProcess::NotRunning;
}

// Runs the loop until it quits, the bar getting its feedback from a tick every 100 ms.
void execWithFeedback(QEventLoop &loop, Progress *progress, const QString &caption, int startValue, int count)
{
    int tick = 0;
    QTimer ticker;
    ticker.setInterval(TickMilliseconds);
    QObject::connect(&ticker, &QTimer::timeout, &loop, [&] {
        ++tick;
        if (progress)
            showFeedback(*progress, FeedbackAt(tick, caption, startValue, count));
    });
    ticker.start();
    loop.exec();
}

// After the wait the bar says again what it said before the feedback.
void restoreCaption(Progress *progress, const QString &caption)
{
    if (progress)
        progress->setText(caption.isEmpty() ? QStringLiteral("Progress Bar") : caption);
}

} // namespace

void StopRunningTools()
{
    for (QProcess *process : std::as_const(runningTools())) {
        Kill(*process);
        process->waitForFinished(-1);
    }
}

RunEnd RunToolAndWait(const ToolRun &run, Progress *progress, const QString &caption, int startValue, int count)
{
    QObject owner; // the run's processes go with it
    const ToolPipeline pipeline(run, &owner);
    QProcess &tool = pipeline.tool();
    const QList<QProcess *> processes = pipeline.processes();

    // The loop ends the moment the tool and its encoder have ended, or the tool fails to
    // start; the timer only ticks.
    QEventLoop loop;
    bool failed = false;
    const auto quitOnceEnded = [&] {
        if (pipeline.ended())
            loop.quit();
    };
    QObject::connect(&tool, &QProcess::finished, &loop, quitOnceEnded);
    if (QProcess *encoder = pipeline.encoder())
        QObject::connect(encoder, &QProcess::finished, &loop, quitOnceEnded);
    QObject::connect(&tool, &QProcess::errorOccurred, &loop, [&](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart)
            return;
        failed = true;
        loop.quit();
    });
    const Watchdog watchdog(processes);
    runningTools().append(processes);
    pipeline.start();
    if (!failed)
        execWithFeedback(loop, progress, caption, startValue, count);

    RunEnd end;
    if (failed) {
        // A tool that never started leaves the others with nothing to read or to write into.
        pipeline.kill();
        end.result = FailedStart(tool);
    } else {
        restoreCaption(progress, caption);
        end.result = pipeline.end();
        end.result.stalled = watchdog.fired();
    }
    end.decoder = pipeline.decoderEnd(waitEnded); // with window events running
    for (QProcess *process : processes)
        runningTools().removeOne(process);
    return end;
}

Runner Waiting(Progress *progress, const QString &caption, int startValue, int count)
{
    return [=](const ToolRun &run, const RunEnded &ended) {
        const RunEnd end = RunToolAndWait(run, progress, caption, startValue, count);
        ended(end.result, end.decoder);
    };
}

RunResult RunAndWait(const CommandLine &commandLine, int windowStyle, Progress *progress,
                     const QString &caption, int startValue, int count)
{
    Q_UNUSED(windowStyle) // a started program never gets a window here
    return RunToolAndWait({commandLine, std::nullopt, {}, std::nullopt}, progress, caption, startValue, count).result;
}

void WorkAndWait(const std::function<void()> &work, Progress *progress, const QString &caption, int startValue,
                 int count)
{
    const std::unique_ptr<QThread> thread(QThread::create(work));
    QEventLoop loop;
    QObject::connect(thread.get(), &QThread::finished, &loop, &QEventLoop::quit);
    thread->start();
    execWithFeedback(loop, progress, caption, startValue, count);
    thread->wait();
    restoreCaption(progress, caption);
}

} // namespace Shell32
