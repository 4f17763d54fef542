#include "platform/shell32.h"

#include "platform/numbers.h"
#include "platform/watchdog.h"

#include <QEventLoop>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <memory>

#include <sys/prctl.h>
#include <unistd.h>

// Every command line is logged before it starts: QT_LOGGING_RULES="lumbrisk.tools.info=true".
Q_LOGGING_CATEGORY(lcTools, "lumbrisk.tools", QtWarningMsg)

namespace Shell32 {

namespace {

// What OutputTail keeps: some dozen lines.
constexpr qsizetype KeptErrorBytes = 4096;

constexpr int TickMilliseconds = 100;
constexpr int TicksBeforeFeedback = 50;
constexpr int TicksPerBarMove = 150;

// QProcess gives only words for a failed start; the number follows from what lies there.
int startErrorNumber(const QString &program)
{
    const QString path = program.contains(QLatin1Char('/')) ? program
                                                            : QStandardPaths::findExecutable(program);
    const QFileInfo file(path);
    if (path.isEmpty() || !file.exists())
        return ENOENT;
    if (file.isDir() || !file.isExecutable())
        return EACCES;
    return ENOEXEC;
}

void showFeedback(Progress &progress, const Feedback &feedback)
{
    if (feedback.text)
        progress.setText(*feedback.text);
    if (feedback.value)
        progress.setValue(*feedback.value);
}

// The programs RunAndWait waits for, innermost last: the window's thread may nest a run
// inside another's event pumping.
QList<QProcess *> &runningTools()
{
    static QList<QProcess *> running;
    return running;
}

bool waitBlocking(QProcess &process, int milliseconds)
{
    return process.state() == QProcess::NotRunning || process.waitForFinished(milliseconds);
}

// Waits for the tool with `wait`, and kills it when it has not ended by then.
void endWith(bool (*wait)(QProcess &, int), QProcess &process, int milliseconds)
{
    if (!wait(process, milliseconds)) {
        Kill(process);
        wait(process, FeederEndMilliseconds);
    }
}

RunResult feederResult(QProcess &feeder, OutputTail &errors)
{
    RunResult result = FinishedRun(feeder);
    errors.append(result.errorOutput);
    result.errorOutput = errors.bytes();
    return result;
}

} // namespace

void Prepare(QProcess &process, const CommandLine &commandLine)
{
    qCInfo(lcTools).noquote() << commandLine.text();
    process.setProgram(commandLine.program());
    process.setArguments(commandLine.arguments());
    process.setStandardInputFile(QProcess::nullDevice());
    // A tool never outlives its program, however that ends (kill -9 too): the kernel kills it
    // when the thread that started it ends, and this program starts them all on its one
    // thread. A program that ended before the signal was set is no longer the parent.
    process.setChildProcessModifier([parent = ::getpid()] {
        ::setpgid(0, 0);
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent)
            ::_exit(127);
    });
}

void Kill(QProcess &process)
{
    if (const qint64 leader = process.processId(); leader > 0)
        ::kill(-pid_t(leader), SIGKILL);
    process.kill();
}

void EndWithin(QProcess &process, int milliseconds)
{
    endWith(waitBlocking, process, milliseconds);
}

RunResult EndFeeder(QProcess &feeder, OutputTail &errors, int milliseconds)
{
    EndWithin(feeder, milliseconds);
    return feederResult(feeder, errors);
}

RunResult FinishedRun(QProcess &process)
{
    RunResult result;
    result.outcome = process.exitStatus() == QProcess::CrashExit ? RunResult::Outcome::Crashed
                                                                 : RunResult::Outcome::Exited;
    result.exitCode = process.exitCode();
    result.output = process.readAllStandardOutput();
    result.errorOutput = process.readAllStandardError();
    return result;
}

RunResult FailedStart(const QProcess &process)
{
    RunResult result;
    result.outcome = RunResult::Outcome::FailedToStart;
    result.errorNumber = startErrorNumber(process.program());
    result.startError = process.errorString();
    // QProcess tells a pipe or fork that failed for want of file descriptors only in words.
    for (const int error : {EMFILE, ENFILE}) {
        if (result.startError.contains(QString::fromLocal8Bit(std::strerror(error)))) {
            result.errorNumber = error;
            result.startError = QStringLiteral("too many files open");
        }
    }
    return result;
}

void StopRunningTools()
{
    for (QProcess *process : std::as_const(runningTools())) {
        Kill(*process);
        process->waitForFinished(-1);
    }
}

int RunResult::status() const
{
    switch (outcome) {
    case Outcome::Exited:
        return exitCode;
    case Outcome::Crashed:
        return 128 + exitCode;
    case Outcome::FailedToStart:
        break;
    }
    return StartFailureBase + errorNumber;
}

QString RunResult::lastErrorLine() const
{
    return LastLine(errorOutput);
}

void OutputTail::append(const QByteArray &bytes)
{
    m_bytes += bytes;
    // Cut now and then rather than at every piece: linear in what comes.
    if (m_bytes.size() > 2 * KeptErrorBytes)
        m_bytes = m_bytes.right(KeptErrorBytes);
}

QByteArray OutputTail::bytes() const
{
    if (m_bytes.size() <= KeptErrorBytes)
        return m_bytes;
    const QByteArray kept = m_bytes.right(KeptErrorBytes);
    const qsizetype lineEnd = kept.indexOf('\n');
    return lineEnd < 0 ? kept : kept.mid(lineEnd + 1);
}

QString LastLine(const QByteArray &output)
{
    const QStringList lines = QString::fromUtf8(output).split(QLatin1Char('\n'));
    for (auto line = lines.crbegin(); line != lines.crend(); ++line) {
        if (!line->trimmed().isEmpty())
            return line->trimmed();
    }
    return QString();
}

Feedback FeedbackAt(int tick, const QString &caption, int startValue, int count)
{
    Feedback feedback;
    if (tick < TicksBeforeFeedback)
        return feedback;
    const int waited = tick - TicksBeforeFeedback;
    feedback.text = caption + (caption.isEmpty() ? QString() : QStringLiteral(", "))
                    + QStringLiteral("Please wait.. ") + QString::number(waited);
    if (waited % TicksPerBarMove == 0) {
        const double share = 100.0 / qMax(1, count);
        const double step = Numbers::RoundHalfEven(share / 10);
        const double limit = Numbers::RoundHalfEven(share + startValue - step);
        const double target = double(waited) / TicksPerBarMove * step + startValue;
        feedback.value = target >= limit ? limit : target;
    }
    return feedback;
}

namespace {

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

// The window's feeder is waited for with window events running.
RunResult feederEnd(QProcess &feeder, OutputTail &errors, bool started)
{
    if (!started)
        return FailedStart(feeder);
    endWith(waitEnded, feeder, FeederEndMilliseconds);
    return feederResult(feeder, errors);
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

// RunAndWait, with the feeder (when given), or else this program writing the samples (when
// given), into the program's standard input.
RunResult runAndWait(const CommandLine &commandLine, QProcess *feeder, Progress *progress, const QString &caption,
                     int startValue, int count, const SampleFeed::Input *samples = nullptr)
{
    QProcess process;
    Prepare(process, commandLine);
    if (feeder)
        feeder->setStandardOutputProcess(&process);
    else if (samples)
        SampleFeed::Attach(process, *samples);

    // The loop ends the moment the program ends or fails to start; the timer only ticks.
    QEventLoop loop;
    bool failed = false;
    QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
    QObject::connect(&process, &QProcess::errorOccurred, &loop, [&](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart)
            return;
        failed = true;
        loop.quit();
    });
    const Watchdog watchdog(feeder ? QList<QProcess *>{&process, feeder} : QList<QProcess *>{&process});
    if (feeder) {
        feeder->start();
        runningTools().append(feeder);
    }
    process.start();
    if (!failed) {
        runningTools().append(&process);
        execWithFeedback(loop, progress, caption, startValue, count);
        runningTools().removeOne(&process);
    }
    // A program that never started leaves the feeder writing into nothing.
    if (feeder && failed)
        Kill(*feeder);
    if (failed)
        return FailedStart(process);
    restoreCaption(progress, caption);
    RunResult result = FinishedRun(process);
    result.stalled = watchdog.fired();
    return result;
}

} // namespace

RunResult RunAndWait(const CommandLine &commandLine, int windowStyle, Progress *progress,
                     const QString &caption, int startValue, int count)
{
    Q_UNUSED(windowStyle) // a started program never gets a window here
    return runAndWait(commandLine, nullptr, progress, caption, startValue, count);
}

RunResult RunFedAndWait(const CommandLine &commandLine, const SampleFeed::Input &samples, Progress *progress,
                        const QString &caption, int startValue, int count)
{
    return runAndWait(commandLine, nullptr, progress, caption, startValue, count, &samples);
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

RunResult RunPipedAndWait(const CommandLine &feeder, const CommandLine &commandLine, Progress *progress,
                          const QString &caption, int startValue, int count, RunResult &feederResult)
{
    QProcess feeding;
    Prepare(feeding, feeder);
    bool feederStarted = true;
    QObject::connect(&feeding, &QProcess::errorOccurred, &feeding, [&](QProcess::ProcessError error) {
        feederStarted = feederStarted && error != QProcess::FailedToStart;
    });
    OutputTail errors;
    QObject::connect(&feeding, &QProcess::readyReadStandardError, &feeding,
                     [&] { errors.append(feeding.readAllStandardError()); });
    const RunResult result = runAndWait(commandLine, &feeding, progress, caption, startValue, count);
    feederResult = feederEnd(feeding, errors, feederStarted);
    runningTools().removeOne(&feeding);
    return result;
}

} // namespace Shell32
