#include "batch/toolpool.h"

#include "platform/shell32.h"
#include "platform/watchdog.h"
#include "preview/previewcheck.h"

#include <QProcess>

#include <algorithm>
#include <csignal>
#include <limits>

#include <sys/resource.h>

using Shell32::RunResult;

namespace {

// How long FFmpeg may take to end after SoX has ended.
constexpr int DecoderEndMilliseconds = 5000;
// Open files a run takes at most while it starts (two tools, their pipes, the null input),
// and those the program keeps for itself (Qt, the files TagLib and the analyses read).
constexpr rlim_t FilesPerRun = 12;
constexpr rlim_t FilesKept = 32;
// The samples go into a tool's standard input a pipe's worth at a time, as it takes them:
// QProcess copies what it is given, and a small copy reuses its memory.
constexpr qint64 FeedBytes = 1 << 16;

} // namespace

ToolPool::ToolPool(QObject *owner, std::function<void()> interrupted)
    : m_owner(owner),
      m_interrupted(std::move(interrupted))
{
}

int ToolPool::MostAtOnce()
{
    rlimit files {};
    if (::getrlimit(RLIMIT_NOFILE, &files) != 0 || files.rlim_cur == RLIM_INFINITY)
        return std::numeric_limits<int>::max();
    const rlim_t room = files.rlim_cur > FilesKept ? files.rlim_cur - FilesKept : 0;
    return int(std::clamp<rlim_t>(room / FilesPerRun, 1, std::numeric_limits<int>::max()));
}

void ToolPool::launch(const CommandLine &commandLine, int index, const std::optional<CommandLine> &decoder,
                      const Ended &ended, const Input &input)
{
    auto *process = new QProcess(m_owner);
    QProcess *decoding = decoder ? new QProcess(process) : nullptr;
    m_running.append({process, index, decoding}); // before it starts: a failed start may report at once
    // The pipeline hangs only when both of its tools are idle: SoX waits while FFmpeg works.
    auto *watchdog = new Watchdog(decoding ? QList<QProcess *>{process, decoding} : QList<QProcess *>{process},
                                  Watchdog::StallSeconds, process);
    const auto done = [this, process, decoding, watchdog, ended](RunResult result) {
        m_running.removeIf([process](const Running &running) { return running.process == process; });
        process->deleteLater();
        if (result.outcome == RunResult::Outcome::Crashed && (result.exitCode == SIGINT || result.exitCode == SIGHUP))
            return m_interrupted();
        result.stalled = watchdog->fired();
        ended(result, decoding ? endDecoder(*decoding) : QString());
    };
    QObject::connect(process, &QProcess::finished, m_owner, [process, done] { done(Shell32::FinishedRun(*process)); });
    QObject::connect(process, &QProcess::errorOccurred, m_owner, [process, done](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            done(Shell32::FailedStart(*process));
    });
    Shell32::Prepare(*process, commandLine);
    if (input && !decoding)
        process->setStandardInputFile(QString()); // a pipe in place of the null device
    if (decoding) {
        Shell32::Prepare(*decoding, *decoder);
        decoding->setStandardOutputProcess(process);
        decoding->start();
    }
    process->start();
    if (input && !decoding)
        feed(*process, input);
}

// From the event loop, as the tool reads: a tool that stops reading holds nothing up but
// itself, and the watchdog sees it idle.
void ToolPool::feed(QProcess &process, const Input &input)
{
    const auto fed = std::make_shared<qint64>(0);
    const auto more = [&process, input, fed] {
        const auto *bytes = reinterpret_cast<const char *>(input->data());
        const qint64 total = qint64(input->size() * sizeof(float));
        while (*fed < total && process.bytesToWrite() < FeedBytes) {
            const qint64 chunk = std::min(FeedBytes, total - *fed);
            if (process.write(bytes + *fed, chunk) != chunk)
                return; // the tool is gone; its end is followed as any other
            *fed += chunk;
        }
        if (*fed == total) {
            *fed = total + 1; // once
            process.closeWriteChannel();
        }
    };
    QObject::connect(&process, &QProcess::bytesWritten, &process, more);
    more();
}

// SoX has read what it needs: FFmpeg ends by itself, or at the broken pipe, at once. Its
// words, which tell why SoX got nothing from a source FFmpeg cannot read.
QString ToolPool::endDecoder(QProcess &decoder)
{
    if (!decoder.waitForFinished(DecoderEndMilliseconds)) {
        decoder.kill();
        decoder.waitForFinished();
    }
    return PreviewCheck::DecoderProblem(decoder.readAllStandardError());
}

void ToolPool::killAll()
{
    const QList<Running> running = m_running;
    m_running.clear();
    for (const Running &tool : running) {
        if (tool.decoder) {
            tool.decoder->kill();
            tool.decoder->waitForFinished();
        }
        QProcess *process = tool.process;
        process->disconnect(m_owner);
        process->kill();
        process->waitForFinished();
        delete process;
    }
}

QProcess *ToolPool::processOf(int index) const
{
    for (const Running &running : m_running) {
        if (running.index == index)
            return running.process;
    }
    return nullptr;
}
