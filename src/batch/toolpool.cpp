#include "batch/toolpool.h"

#include "platform/shell32.h"
#include "platform/watchdog.h"

#include <QProcess>
#include <QSocketNotifier>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <ctime>
#include <limits>
#include <memory>

#include <fcntl.h>
#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>

using Shell32::RunResult;

namespace {

// Open files a run takes at most while it starts (two tools, their pipes, the null input),
// and those the program keeps for itself (Qt, the files TagLib and the analyses read).
constexpr rlim_t FilesPerRun = 12;
constexpr rlim_t FilesKept = 32;
// The pipe a tool reads samples from holds this much, so that it is filled a few times per
// preview rather than a hundred (the system may give less).
constexpr int FeedPipeBytes = 1 << 20;

// Writes what the pipe takes now. A tool that is gone would raise SIGPIPE, which stops this
// program's run (Interruption): the signal is held back for the write and taken back when it
// came from it. QProcess's own writing would ignore SIGPIPE for the whole program instead.
ssize_t writeHeldBack(int pipeEnd, const char *bytes, size_t count)
{
    sigset_t pipeSignal;
    sigset_t former;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSignal, &former);
    ssize_t written = 0;
    do
        written = ::write(pipeEnd, bytes, count);
    while (written < 0 && errno == EINTR);
    if (written < 0 && errno == EPIPE) {
        const int saved = errno;
        const timespec now {};
        sigtimedwait(&pipeSignal, nullptr, &now);
        errno = saved;
    }
    pthread_sigmask(SIG_SETMASK, &former, nullptr);
    return written;
}

// The write end of the pipe that is a tool's standard input: fed from the event loop as the
// pipe takes the samples, closed after the last one, when the tool is gone, or with the tool.
class SampleFeed : public QObject {
public:
    SampleFeed(int pipeEnd, ToolPool::Input input, QObject *parent)
        : QObject(parent), m_pipeEnd(pipeEnd), m_input(std::move(input)), m_writable(pipeEnd, QSocketNotifier::Write, this)
    {
        ::fcntl(pipeEnd, F_SETFL, ::fcntl(pipeEnd, F_GETFL) | O_NONBLOCK);
        QObject::connect(&m_writable, &QSocketNotifier::activated, this, [this] { writeMore(); });
    }
    ~SampleFeed() override { close(); }

private:
    void writeMore()
    {
        const size_t total = size_t(m_input.header.size()) + m_input.samples->size() * sizeof(float);
        while (m_written < total) {
            const auto [bytes, count] = piece(m_written);
            const ssize_t written = writeHeldBack(m_pipeEnd, bytes, count);
            if (written < 0 && errno == EAGAIN)
                return;
            if (written < 0)
                break; // the tool is gone; its end is followed as any other
            m_written += size_t(written);
        }
        close();
    }
    // The bytes from `position` on, of the header or of the samples, as far as that piece goes.
    std::pair<const char *, size_t> piece(size_t position) const
    {
        const auto header = size_t(m_input.header.size());
        if (position < header)
            return {m_input.header.constData() + position, header - position};
        const auto *samples = reinterpret_cast<const char *>(m_input.samples->data());
        return {samples + position - header, m_input.samples->size() * sizeof(float) - (position - header)};
    }
    void close()
    {
        if (m_pipeEnd < 0)
            return;
        m_writable.setEnabled(false);
        ::close(m_pipeEnd);
        m_pipeEnd = -1;
    }

    int m_pipeEnd;
    ToolPool::Input m_input;
    QSocketNotifier m_writable;
    size_t m_written = 0;
};

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
    int feedPipe[2] = {-1, -1};
    if (input.samples && !decoding && ::pipe2(feedPipe, O_CLOEXEC) == 0) {
        ::fcntl(feedPipe[1], F_SETPIPE_SZ, FeedPipeBytes);
        // Opened anew for the tool, so that its end blocks while this one does not.
        process->setStandardInputFile(QStringLiteral("/proc/self/fd/%1").arg(feedPipe[0]));
    }
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
    if (feedPipe[0] >= 0) {
        ::close(feedPipe[0]);
        new SampleFeed(feedPipe[1], input, process);
    }
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
