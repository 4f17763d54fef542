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

void ToolPool::launch(const ToolRun &run, int index, const RunEnded &ended)
{
    const ToolPipeline pipeline(run, m_owner);
    QProcess *process = &pipeline.tool();
    m_running.append({pipeline, index}); // before it starts: a failed start may report at once
    // The pipeline hangs only when all of its tools are idle: SoX waits while FFmpeg works.
    auto *watchdog = new Watchdog(pipeline.processes(), Watchdog::StallSeconds, process);
    const auto done = [this, pipeline, watchdog, ended](RunResult result) {
        QProcess *process = &pipeline.tool();
        m_running.removeIf([process](const Running &running) { return &running.pipeline.tool() == process; });
        for (QProcess *tool : pipeline.processes())
            tool->disconnect(m_owner); // an encoder killed after a failed start ends nothing more
        process->deleteLater();
        if (result.outcome == RunResult::Outcome::Crashed && (result.exitCode == SIGINT || result.exitCode == SIGHUP))
            return m_interrupted();
        result.stalled = watchdog->fired();
        // SoX has read what it needs: FFmpeg ends by itself, or at the broken pipe, at once.
        ended(result, pipeline.decoderEnd(Shell32::WaitBlocking));
    };
    // The file is written once the encoder has read the last samples and ended.
    const auto endedAll = [pipeline, done] {
        if (pipeline.ended())
            done(pipeline.end());
    };
    QObject::connect(process, &QProcess::finished, m_owner, endedAll);
    if (QProcess *encoder = pipeline.encoder())
        QObject::connect(encoder, &QProcess::finished, m_owner, endedAll);
    QObject::connect(process, &QProcess::errorOccurred, m_owner, [pipeline, done](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart)
            return;
        done(Shell32::FailedStart(pipeline.tool()));
        pipeline.kill(); // its decoder and encoder have nothing to write into or to read
    });
    pipeline.start();
}

void ToolPool::killAll()
{
    const QList<Running> running = m_running;
    m_running.clear();
    for (const Running &tool : running) {
        // Each let go first: an encoder SoX has finished with waits to end the run.
        for (QProcess *process : tool.pipeline.processes())
            process->disconnect(m_owner);
        tool.pipeline.kill();
        delete &tool.pipeline.tool();
    }
}

QProcess *ToolPool::processOf(int index) const
{
    for (const Running &running : m_running) {
        if (running.index == index)
            return &running.pipeline.tool();
    }
    return nullptr;
}
