#include "platform/shell32.h"

#include "platform/numbers.h"

#include <QFileInfo>
#include <QLoggingCategory>
#include <QProcess>
#include <QStandardPaths>

#include <cerrno>
#include <csignal>
#include <cstring>

#include <sys/prctl.h>
#include <unistd.h>

// Every command line is logged before it starts: QT_LOGGING_RULES="lumbrisk.tools.info=true".
Q_LOGGING_CATEGORY(lcTools, "lumbrisk.tools", QtWarningMsg)

namespace Shell32 {

namespace {

// What OutputTail keeps: some dozen lines.
constexpr qsizetype KeptErrorBytes = 4096;

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

// Waits for the tool with `wait`, and kills it when it has not ended by then.
void endWith(WaitFor wait, QProcess &process, int milliseconds)
{
    if (!wait(process, milliseconds)) {
        Kill(process);
        wait(process, FeederEndMilliseconds);
    }
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

bool WaitBlocking(QProcess &process, int milliseconds)
{
    return process.state() == QProcess::NotRunning || process.waitForFinished(milliseconds);
}

void EndWithin(QProcess &process, int milliseconds)
{
    endWith(WaitBlocking, process, milliseconds);
}

RunResult EndFeeder(QProcess &feeder, OutputTail &errors, int milliseconds, WaitFor wait)
{
    endWith(wait, feeder, milliseconds);
    RunResult result = FinishedRun(feeder);
    errors.append(result.errorOutput);
    result.errorOutput = errors.bytes();
    return result;
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

} // namespace Shell32
