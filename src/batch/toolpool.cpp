#include "batch/toolpool.h"

#include "platform/shell32.h"
#include "platform/watchdog.h"

#include <QProcess>

#include <algorithm>
#include <csignal>
#include <limits>
#include <memory>

#include <sys/resource.h>

using Shell32::RunResult;

namespace {

// Open files a run takes at most while it starts (two tools, their pipes, the null input),
// and those the program keeps for itself (Qt, the files TagLib and the analyses read).
constexpr rlim_t FilesPerRun = 12;
constexpr rlim_t FilesKept = 32;

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
                      const Ended &ended, const Input &input, const std::optional<CommandLine> &encoder)
{
    auto *process = new QProcess(m_owner);
    QProcess *decoding = decoder ? new QProcess(process) : nullptr;
    QProcess *encoding = encoder ? new QProcess(process) : nullptr;
    m_running.append({process, index, decoding, encoding}); // before it starts: a failed start may report at once
    // The pipeline hangs only when all of its tools are idle: SoX waits while FFmpeg works.
    QList<QProcess *> tools{process};
    for (QProcess *other : {decoding, encoding}) {
        if (other)
            tools.append(other);
    }
    auto *watchdog = new Watchdog(tools, Watchdog::StallSeconds, process);
    const auto decoderErrors = std::make_shared<Shell32::OutputTail>();
    const auto done = [this, process, decoding, watchdog, ended, decoderErrors](RunResult result) {
        m_running.removeIf([process](const Running &running) { return running.process == process; });
        process->deleteLater();
        if (result.outcome == RunResult::Outcome::Crashed && (result.exitCode == SIGINT || result.exitCode == SIGHUP))
            return m_interrupted();
        result.stalled = watchdog->fired();
        ended(result, decoding ? endDecoder(*decoding, *decoderErrors) : DecoderEnd());
    };
    QObject::connect(process, &QProcess::finished, m_owner, [this, process, encoding, done] {
        const RunResult tool = Shell32::FinishedRun(*process);
        if (!encoding)
            return done(tool);
        // The file is written once the encoder has read the last samples and ended.
        const auto encoded = [encoding, done, tool] { done(PipedEnd(tool, EncoderEnd(*encoding))); };
        if (encoding->state() == QProcess::NotRunning)
            return encoded();
        QObject::connect(encoding, &QProcess::finished, m_owner, encoded);
    });
    QObject::connect(process, &QProcess::errorOccurred, m_owner, [process, done](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            done(Shell32::FailedStart(*process));
    });
    Shell32::Prepare(*process, commandLine);
    if (input.samples && !decoding)
        SampleFeed::Attach(*process, input);
    if (decoding) {
        Shell32::Prepare(*decoding, *decoder);
        QObject::connect(decoding, &QProcess::readyReadStandardError, decoding,
                         [decoding, decoderErrors] { decoderErrors->append(decoding->readAllStandardError()); });
        decoding->setStandardOutputProcess(process);
        decoding->start();
    }
    if (encoding) {
        Shell32::Prepare(*encoding, *encoder);
        process->setStandardOutputProcess(encoding);
        encoding->start();
    }
    process->start();
}

// SoX has read what it needs: FFmpeg ends by itself, or at the broken pipe, at once. Its
// words, which tell why SoX got nothing from a source FFmpeg cannot read.
ToolPool::DecoderEnd ToolPool::endDecoder(QProcess &decoder, Shell32::OutputTail &errors)
{
    return PreviewSteps::EndOf(Shell32::EndFeeder(decoder, errors));
}

RunResult ToolPool::EncoderEnd(QProcess &encoder)
{
    return encoder.error() == QProcess::FailedToStart ? Shell32::FailedStart(encoder) : Shell32::FinishedRun(encoder);
}

RunResult ToolPool::PipedEnd(const RunResult &tool, RunResult encoder)
{
    const bool pipeClosed = (tool.outcome == RunResult::Outcome::Crashed && tool.exitCode == SIGPIPE)
                            || tool.errorOutput.contains("Broken pipe");
    if ((!tool.succeeded() && !pipeClosed) || encoder.succeeded())
        return tool;
    encoder.errorOutput = "the encoder (FFmpeg): " + encoder.errorOutput.trimmed();
    if (encoder.outcome == RunResult::Outcome::FailedToStart)
        encoder.errorOutput += encoder.startError.toUtf8();
    return encoder;
}

void ToolPool::killAll()
{
    const QList<Running> running = m_running;
    m_running.clear();
    for (const Running &tool : running) {
        QProcess *process = tool.process;
        for (QProcess *other : {tool.decoder, tool.encoder}) {
            if (other) {
                other->disconnect(m_owner); // an encoder SoX has finished with waits to end the run
                Shell32::Kill(*other);
                other->waitForFinished();
            }
        }
        process->disconnect(m_owner);
        Shell32::Kill(*process);
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
