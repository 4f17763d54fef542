#include "preview/parallelpreviews.h"

#include "platform/main.h"
#include "platform/shell32.h"
#include "preview/getbitrate.h"
#include "preview/mp3audio.h"
#include "preview/previewcheck.h"
#include "preview/previewcommands.h"
#include "preview/previewfiles.h"

#include <QFile>
#include <QProcess>
#include <QTimer>

#include <cmath>
#include <csignal>

using Shell32::RunResult;

namespace {

// Seconds to the millisecond, so that a share of a track's length reads as a short number.
QString secondsText(double seconds)
{
    return PreviewCommands::SoxNumber(std::round(seconds * 1000) / 1000);
}

} // namespace

struct ParallelPreviews::Work {
    Step step = Step::Cut;
    QString bitrate; // this source's own, once probed
    QString start;   // as SoX got it
    std::optional<Mp3Audio::Length> length;                // the source's, when its cut began
    std::unique_ptr<PreviewFiles::TemporaryOutput> output; // a separate preview being written
    QProcess *process = nullptr;                           // the tool running for this file
};

ParallelPreviews::ParallelPreviews(Tools::Found tools, PreviewSettings settings, QStringList sources, QObject *parent)
    : QObject(parent),
      m_tools(std::move(tools)),
      m_settings(std::move(settings)),
      m_duration(secondsText(m_settings.durationSeconds))
{
    for (const QString &source : sources) {
        Result result;
        result.source = source;
        m_results.append(result);
        m_sourceKeys.insert(PreviewFiles::FileKey(source));
    }
    m_work.resize(size_t(m_results.size()));
}

ParallelPreviews::~ParallelPreviews()
{
    killTools();
}

void ParallelPreviews::start()
{
    m_dryRun = false;
    m_sweep.removeFrom(Tools::TemporaryFolder());
    begin();
}

void ParallelPreviews::plan()
{
    m_dryRun = true;
    begin();
}

void ParallelPreviews::begin()
{
    if (m_settings.join) {
        m_workFolder = std::make_unique<PreviewFiles::WorkFolder>();
        Result joined;
        const QString folder = m_settings.outputFolder.isEmpty() && total() > 0 ? Main::FolderOf(m_results.first().source)
                                                                               : m_settings.outputFolder;
        joined.preview = PreviewCommands::JoinedPath(folder);
        m_joined = joined;
    }
    for (int index = 0; index < total(); ++index) {
        m_work[size_t(index)].step = m_settings.kbps == 0 ? Step::Probe : Step::Cut;
        const QString problem = PreviewFiles::SourceProblem(m_results[index].source);
        if (!problem.isEmpty())
            fail(index, problem);
        else if (m_settings.join && !m_workFolder->isValid())
            fail(index, m_workFolder->problem());
        else
            nameOutput(index);
    }
    // Results and the end come from the event loop, so that a caller may connect after starting.
    QTimer::singleShot(0, this, [this] {
        reportInOrder();
        pump();
    });
}

// Names are given in list order before anything runs, so that they never depend on which
// tool ends first: a second source of one base name gets a free name, as in the window.
void ParallelPreviews::nameOutput(int index)
{
    Result &result = m_results[index];
    if (m_settings.join) {
        result.preview = m_workFolder->piecePath(index + 1);
        return;
    }
    const QString folder = m_settings.outputFolder.isEmpty() ? Main::FolderOf(result.source) : m_settings.outputFolder;
    const QString output = PreviewCommands::OutputPath(folder, result.source);
    if (isSource(output))
        return fail(index, QStringLiteral("its preview %1 would replace a file of the list, so nothing was written").arg(output));
    QSet<QString> named;
    for (int earlier = 0; earlier < index; ++earlier)
        named.insert(PreviewFiles::FileKey(m_results[earlier].preview));
    result.preview = PreviewCommands::FreePath(output, [&](const QString &path) {
        return named.contains(PreviewFiles::FileKey(path)) || isSource(path);
    });
}

void ParallelPreviews::pump()
{
    if (m_stopped || m_done)
        return;
    while (m_running.size() < m_settings.jobs && launchNext()) {
    }
    if (!m_running.isEmpty() || m_finished < total())
        return;
    if (m_joined && !m_joined->command && m_joined->reason.isEmpty())
        join();
    else
        finish();
}

// Starts the first piece of work in list order that can run now; false when there is none.
bool ParallelPreviews::launchNext()
{
    for (int index = 0; index < total(); ++index) {
        const Work &work = m_work[size_t(index)];
        if (work.process || work.step == Step::Done)
            continue;
        if (work.step == Step::Cut) {
            cut(index);
            return true;
        }
        // A join probes one source at a time, until one gives the bit rate of all.
        if (m_settings.join && probeRunning())
            continue;
        probe(index);
        return true;
    }
    return false;
}

bool ParallelPreviews::probeRunning() const
{
    for (const Work &work : m_work) {
        if (work.process && work.step == Step::Probe)
            return true;
    }
    return false;
}

void ParallelPreviews::probe(int index)
{
    launch(GetBitrate::ProbeCommand(m_tools.ffmpeg, m_results[index].source),
           [this, index](const RunResult &result) { probed(index, result); }, &m_work[size_t(index)]);
}

void ParallelPreviews::probed(int index, const RunResult &result)
{
    const QString bitrate = GetBitrate::BitrateFromCapture(QString::fromUtf8(result.errorOutput));
    if (bitrate.isEmpty())
        return fail(index, QStringLiteral("FFmpeg found no MP3 bit rate in %1 (%2)")
                               .arg(Main::FileNameOf(m_results[index].source), result.lastErrorLine()));
    m_work[size_t(index)].bitrate = bitrate;
    m_work[size_t(index)].step = Step::Cut;
    if (!m_settings.join)
        return;
    m_joinBitrate = bitrate;
    for (Work &work : m_work) {
        if (work.step == Step::Probe)
            work.step = Step::Cut;
    }
}

QString ParallelPreviews::bitrateFor(int index) const
{
    if (m_settings.kbps > 0)
        return QString::number(m_settings.kbps);
    return m_settings.join ? m_joinBitrate : m_work[size_t(index)].bitrate;
}

// The start as SoX gets it; none when it is a share of a length that cannot be read.
std::optional<QString> ParallelPreviews::startFor(int index) const
{
    if (!m_settings.startShare)
        return secondsText(m_settings.startSeconds);
    const std::optional<Mp3Audio::Length> length = Mp3Audio::Measure(m_results[index].source);
    if (!length)
        return std::nullopt;
    return secondsText(*m_settings.startShare * length->seconds);
}

CommandLine ParallelPreviews::cutCommand(int index, const QString &start, const QString &writeTo) const
{
    CommandLine command = PreviewCommands::Cut(m_tools.sox, m_results[index].source, bitrateFor(index), writeTo, start,
                                               m_duration);
    if (m_settings.fadeIn > 0 || m_settings.fadeOut > 0) {
        // "-0" ends the fade-out at the end of the cut, also when the track ends early.
        command.plain(QStringLiteral(" fade ") + secondsText(m_settings.fadeIn));
        if (m_settings.fadeOut > 0)
            command.plain(QStringLiteral(" -0 ") + secondsText(m_settings.fadeOut));
    }
    return command;
}

void ParallelPreviews::cut(int index)
{
    Result &result = m_results[index];
    Work &work = m_work[size_t(index)];
    const std::optional<QString> start = startFor(index);
    if (!start)
        return fail(index, QStringLiteral("the length of %1 cannot be read, so neither can a share of it")
                               .arg(Main::FileNameOf(result.source)));
    work.start = *start;
    if (m_dryRun) {
        result.command = cutCommand(index, work.start, result.preview);
        work.step = Step::Done;
        ++m_finished;
        return reportInOrder();
    }
    QString writeTo = result.preview;
    work.length = Mp3Audio::Measure(result.source);
    if (!m_settings.join) {
        m_sweep.removeFrom(Main::FolderOf(result.preview));
        work.output = std::make_unique<PreviewFiles::TemporaryOutput>(result.preview);
        if (!work.output->created())
            return fail(index, work.output->problem());
        writeTo = work.output->path();
    }
    result.command = cutCommand(index, work.start, writeTo);
    launch(*result.command, [this, index](const RunResult &ended) { cutEnded(index, ended); }, &work);
}

void ParallelPreviews::cutEnded(int index, const RunResult &ended)
{
    Result &result = m_results[index];
    Work &work = m_work[size_t(index)];
    const QString written = work.output ? work.output->path() : result.preview;
    QString problem = PreviewCheck::CutProblem(ended, written, result.source, work.length, work.start, m_duration);
    if (problem.isEmpty() && work.output)
        problem = work.output->commit();
    work.output.reset();
    if (!problem.isEmpty()) {
        QFile::remove(written); // a piece; a temporary output is gone already
        return fail(index, problem);
    }
    succeed(index);
}

void ParallelPreviews::join()
{
    QStringList pieces;
    for (const Result &result : std::as_const(m_results)) {
        if (result.made || (m_dryRun && result.command))
            pieces.append(result.preview);
    }
    if (pieces.isEmpty())
        m_joined->reason = QStringLiteral("none of the previews could be made");
    else if (isSource(m_joined->preview))
        m_joined->reason = QStringLiteral("it is a file of the list, so the previews were not joined");
    if (!m_joined->reason.isEmpty() || m_dryRun) {
        if (m_dryRun && m_joined->reason.isEmpty())
            m_joined->command = PreviewCommands::Join(m_tools.sox, pieces, bitrateFor(0), m_joined->preview);
        emit joinedReady();
        return finish();
    }
    m_sweep.removeFrom(Main::FolderOf(m_joined->preview));
    m_joinedOutput = std::make_unique<PreviewFiles::TemporaryOutput>(m_joined->preview);
    if (!m_joinedOutput->created()) {
        m_joined->reason = m_joinedOutput->problem();
        emit joinedReady();
        return finish();
    }
    m_joined->command = PreviewCommands::Join(m_tools.sox, pieces, bitrateFor(0), m_joinedOutput->path());
    launch(*m_joined->command, [this, pieces](const RunResult &result) {
        QString problem = PreviewCheck::JoinProblem(result, m_joinedOutput->path(), pieces);
        if (problem.isEmpty())
            problem = m_joinedOutput->commit();
        m_joinedOutput.reset();
        m_joined->made = problem.isEmpty();
        m_joined->reason = problem;
        emit joinedReady();
        finish();
    });
}

void ParallelPreviews::launch(const CommandLine &commandLine, const Ended &ended, Work *work)
{
    auto *process = new QProcess(this);
    m_running.append(process);
    if (work)
        work->process = process; // before it starts: a failed start may report at once
    const auto done = [this, process, ended](const RunResult &result) {
        m_running.removeOne(process);
        process->deleteLater();
        for (Work &work : m_work) {
            if (work.process == process)
                work.process = nullptr;
        }
        if (result.outcome == RunResult::Outcome::Crashed && (result.exitCode == SIGINT || result.exitCode == SIGHUP))
            return stop();
        ended(result);
        pump();
    };
    connect(process, &QProcess::finished, this, [process, done] { done(Shell32::FinishedRun(*process)); });
    connect(process, &QProcess::errorOccurred, this, [process, done](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            done(Shell32::FailedStart(*process));
    });
    Shell32::Prepare(*process, commandLine);
    process->start();
}

void ParallelPreviews::succeed(int index)
{
    m_work[size_t(index)].step = Step::Done;
    m_results[index].made = true;
    ++m_finished;
    reportInOrder();
}

void ParallelPreviews::fail(int index, const QString &reason)
{
    Work &work = m_work[size_t(index)];
    work.step = Step::Done;
    m_results[index].reason = reason;
    ++m_finished;
    reportInOrder();
}

void ParallelPreviews::reportInOrder()
{
    while (m_reported < total() && m_work[size_t(m_reported)].step == Step::Done)
        emit resultReady(m_reported++);
}

void ParallelPreviews::stop()
{
    if (m_done)
        return;
    m_stopped = true;
    killTools();
    for (int index = 0; index < total(); ++index) {
        if (m_work[size_t(index)].step != Step::Done)
            m_results[index].reason = QStringLiteral("stopped before it was made");
    }
    finish();
}

void ParallelPreviews::killTools()
{
    const QList<QProcess *> running = m_running;
    m_running.clear();
    for (QProcess *process : running) {
        process->disconnect(this);
        process->kill();
        process->waitForFinished();
        delete process;
    }
    // Only now that no tool writes any more: the unfinished files go with their owners.
    for (Work &work : m_work) {
        work.process = nullptr;
        work.output.reset();
    }
    m_joinedOutput.reset();
}

void ParallelPreviews::finish()
{
    if (m_done)
        return;
    m_done = true;
    m_workFolder.reset();
    emit finished();
}

int ParallelPreviews::madeCount() const
{
    int made = 0;
    for (const Result &result : m_results)
        made += result.made ? 1 : 0;
    return made;
}

QString ParallelPreviews::runningSource() const
{
    for (size_t index = 0; index < m_work.size(); ++index) {
        if (m_work[index].process)
            return m_results[int(index)].source;
    }
    return m_running.isEmpty() || !m_joined ? QString() : m_joined->preview;
}

QString ParallelPreviews::pieceFolder() const
{
    return m_workFolder ? m_workFolder->path() : QString();
}

bool ParallelPreviews::isSource(const QString &path) const
{
    return m_sourceKeys.contains(PreviewFiles::FileKey(path));
}
