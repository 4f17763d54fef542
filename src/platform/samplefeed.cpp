#include "platform/samplefeed.h"

#include <QProcess>

#include <cerrno>
#include <csignal>
#include <ctime>

#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

namespace {

// The pipe holds this much, so that it is filled a few times per preview rather than a
// hundred (the system may give less).
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

} // namespace

void SampleFeed::Attach(QProcess &process, Input input)
{
    int ends[2] = {-1, -1};
    if (::pipe2(ends, O_CLOEXEC) != 0)
        return;
    ::fcntl(ends[1], F_SETPIPE_SZ, FeedPipeBytes);
    // Opened anew for the tool, so that its end blocks while this one does not.
    process.setStandardInputFile(QStringLiteral("/proc/self/fd/%1").arg(ends[0]));
    new SampleFeed(ends[0], ends[1], std::move(input), process);
}

SampleFeed::SampleFeed(int readEnd, int writeEnd, Input input, QProcess &process)
    : QObject(&process), m_readEnd(readEnd), m_pipeEnd(writeEnd), m_input(std::move(input)),
      m_writable(writeEnd, QSocketNotifier::Write, this)
{
    m_writable.setEnabled(false);
    ::fcntl(writeEnd, F_SETFL, ::fcntl(writeEnd, F_GETFL) | O_NONBLOCK);
    QObject::connect(&m_writable, &QSocketNotifier::activated, this, [this] { writeMore(); });
    QObject::connect(&process, &QProcess::started, this, [this] { begin(); });
}

SampleFeed::~SampleFeed()
{
    if (m_readEnd >= 0)
        ::close(m_readEnd);
    close();
}

void SampleFeed::begin()
{
    ::close(m_readEnd);
    m_readEnd = -1;
    m_writable.setEnabled(true);
}

void SampleFeed::writeMore()
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

std::pair<const char *, size_t> SampleFeed::piece(size_t position) const
{
    const auto header = size_t(m_input.header.size());
    if (position < header)
        return {m_input.header.constData() + position, header - position};
    const auto *samples = reinterpret_cast<const char *>(m_input.samples->data());
    return {samples + position - header, m_input.samples->size() * sizeof(float) - (position - header)};
}

void SampleFeed::close()
{
    if (m_pipeEnd < 0)
        return;
    m_writable.setEnabled(false);
    ::close(m_pipeEnd);
    m_pipeEnd = -1;
}
