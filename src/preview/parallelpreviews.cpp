#include "preview/parallelwork.h"

#include "platform/main.h"
#include "platform/shell32.h"
#include "preview/getbitrate.h"
#include "analysis/mp3audio.h"
#include "preview/previewcheck.h"
#include "preview/previewcommands.h"
#include "preview/previewfiles.h"
#include "analysis/sourceaudio.h"
#include "preview/tagcopy.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstring>

using Shell32::RunResult;

namespace {

// Planning gives the event loop its turn this often, so tools that ended are followed at
// once and a signal stops the run without delay.
constexpr qint64 SliceMilliseconds = 20;

// Seconds to the millisecond, so that a share of a track's length reads as a short number.
QString secondsText(double seconds)
{
    return PreviewCommands::SoxNumber(std::round(seconds * 1000) / 1000);
}

// Gives the preview its name. When a file that came during the run took the planned one,
// the preview has the next free name, and the result tells both.
QString commit(ParallelPreviews::Result &result, PreviewFiles::TemporaryOutput &output)
{
    const QString problem = output.commit();
    if (problem.isEmpty() && output.finalPath() != result.preview) {
        result.planned = result.preview;
        result.preview = output.finalPath();
    }
    return problem;
}

// How long FFmpeg may take to end after SoX has ended.
constexpr int DecoderEndMilliseconds = 5000;

} // namespace

QString ParallelPreviews::withoutFfmpeg(const QString &source) const
{
    return QStringLiteral("SoX cannot read %1 without FFmpeg: %2").arg(Main::FileNameOf(source), m_tools.ffmpegProblem);
}


ParallelPreviews::ParallelPreviews(Tools::Found tools, PreviewSettings settings, QStringList sources, QObject *parent)
    : QObject(parent),
      m_tools(std::move(tools)),
      m_settings(std::move(settings))
{
    m_analyses.setMaxThreadCount(std::max(1, m_settings.jobs));
    m_results.reserve(sources.size());
    for (const QString &source : sources) {
        Result result;
        result.source = source;
        m_results.append(result);
    }
    m_work.resize(size_t(m_results.size()));
}

ParallelPreviews::~ParallelPreviews()
{
    m_stopAnalyses = true;
    killTools();
    // An analysis hands its result to this object; none may still be on its way.
    m_analyses.waitForDone();
}

void ParallelPreviews::setSubfolders(QStringList subfolders)
{
    m_subfolders = std::move(subfolders);
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
        m_joinedEarlier = PreviewFiles::EarlierFile::At(joined.preview);
        m_joined = joined;
    }
    // Results and the end come from the event loop, so that a caller may connect after starting.
    queueAdvance();
}

void ParallelPreviews::queueAdvance()
{
    if (m_advanceQueued)
        return;
    m_advanceQueued = true;
    QTimer::singleShot(0, this, &ParallelPreviews::advance);
}

// One slice of planning, then whatever can start.
void ParallelPreviews::advance()
{
    m_advanceQueued = false;
    if (m_stopped || m_done)
        return;
    QElapsedTimer slice;
    slice.start();
    while (m_planned < total() && slice.elapsed() < SliceMilliseconds)
        planNext();
    reportInOrder();
    pump();
}

// The key of every source comes first: a file late in the list may be where an early preview
// would go.
void ParallelPreviews::planNext()
{
    if (m_keyed < total()) {
        const QString &source = m_results[m_keyed++].source;
        m_sourceKeys.insert(PreviewFiles::FileKeyIn(folderKey(Main::FolderOf(source)), source));
        return;
    }
    const int index = m_planned++;
    m_work[size_t(index)].step = m_settings.kbps == 0 ? Step::Probe : stepAfterProbe(index);
    const QString problem = PreviewFiles::SourceProblem(m_results[index].source);
    if (!problem.isEmpty())
        fail(index, problem);
    else if (m_settings.join && !m_workFolder->isValid())
        fail(index, m_workFolder->problem());
    else
        nameOutput(index);
}

// Names are given in list order, so that they never depend on which tool ends first: a
// second source of one base name gets a free name, as in the window.
void ParallelPreviews::nameOutput(int index)
{
    Result &result = m_results[index];
    if (m_settings.join) {
        result.preview = m_workFolder->piecePath(index + 1);
        return;
    }
    const QString output = PreviewCommands::OutputPath(outputFolderOf(index), result.source);
    if (isSource(output))
        return fail(index, QStringLiteral("its preview %1 would replace a file of the list, so nothing was written").arg(output));
    int number = m_freeNumbers.value(output, 1);
    result.preview = PreviewCommands::FreePath(output, [this](const QString &path) {
        return m_namedKeys.contains(previewKey(path)) || isSource(path);
    }, &number);
    if (number > 1)
        m_freeNumbers.insert(output, number);
    m_namedKeys.insert(previewKey(result.preview));
    m_work[size_t(index)].earlier = PreviewFiles::EarlierFile::At(result.preview);
}

QString ParallelPreviews::outputFolderOf(int index) const
{
    if (m_settings.outputFolder.isEmpty())
        return Main::FolderOf(m_results[index].source);
    return m_settings.outputFolder + QLatin1Char('/') + m_subfolders.value(index);
}

QString ParallelPreviews::prepareFolder(Result &result)
{
    const QString folder = Main::FolderOf(result.preview);
    if (m_readyFolders.contains(folder))
        return QString();
    if (!Main::FolderExists(folder)) {
        const QString problem = m_dryRun ? QString() : PreviewFiles::MakeFolders(folder);
        if (!problem.isEmpty())
            return problem;
        if (m_dryRun)
            result.newFolder = folder;
    }
    // Its parents are there too, once it is.
    for (QString ready = folder; !ready.isEmpty() && !m_readyFolders.contains(ready);
         ready = Main::FolderOf(ready.chopped(1)))
        m_readyFolders.insert(ready);
    return QString();
}

void ParallelPreviews::pump()
{
    if (m_stopped || m_done)
        return;
    QElapsedTimer slice;
    slice.start();
    // A dry run plans its cuts without starting a tool, so only time bounds this loop.
    while (m_running.size() + m_analysing < m_settings.jobs && launchNext()) {
        if (slice.elapsed() >= SliceMilliseconds)
            return queueAdvance();
    }
    if (m_planned < total())
        return queueAdvance();
    if (!m_running.isEmpty() || m_finished < total())
        return;
    if (m_joined && !m_joined->command && m_joined->reason.isEmpty())
        join();
    else
        finish();
}

// Starts the first piece of work in list order that can run now; false when there is none.
// Files probed wait before every file not started yet, which lies further down the list.
bool ParallelPreviews::launchNext()
{
    if (!m_waiting.empty()) {
        const int index = *m_waiting.begin();
        m_waiting.erase(m_waiting.begin());
        startStep(index);
        return true;
    }
    while (m_nextToStart < m_planned && m_work[size_t(m_nextToStart)].step == Step::Done)
        ++m_nextToStart;
    if (m_nextToStart >= m_planned)
        return false;
    const int index = m_nextToStart;
    // A join probes one source at a time, until one gives the bit rate of all: till then
    // every tool running is a probe.
    if (m_work[size_t(index)].step == Step::Probe && m_settings.join && !m_running.isEmpty())
        return false;
    ++m_nextToStart;
    startStep(index);
    return true;
}

void ParallelPreviews::startStep(int index)
{
    switch (m_work[size_t(index)].step) {
    case Step::Probe:
        return probe(index);
    case Step::Analyse:
        return analyse(index);
    case Step::Cut:
        return cut(index);
    case Step::Done:
        return;
    }
}

void ParallelPreviews::probe(int index)
{
    launch(GetBitrate::ProbeCommand(m_tools.ffmpeg, m_results[index].source),
           [this, index](const RunResult &result) { probed(index, result); }, index);
}

void ParallelPreviews::probed(int index, const RunResult &result)
{
    const QString bitrate = GetBitrate::BitrateFromCapture(QString::fromUtf8(result.errorOutput));
    if (bitrate.isEmpty())
        return fail(index, PreviewCheck::ProbeProblem(m_results[index].source, result));
    m_work[size_t(index)].bitrate = bitrate;
    m_work[size_t(index)].step = stepAfterProbe(index);
    m_waiting.insert(index);
    if (!m_settings.join)
        return;
    m_joinBitrate = bitrate;
    for (size_t other = 0; other < m_work.size(); ++other) {
        if (m_work[other].step == Step::Probe)
            m_work[other].step = stepAfterProbe(int(other));
    }
}

ParallelPreviews::Step ParallelPreviews::stepAfterProbe(int index) const
{
    return needsAnalysis(index) ? Step::Analyse : Step::Cut;
}

bool ParallelPreviews::startsAtChorus(int index) const
{
    const StartList::SourceCut *own = m_settings.cuts.isEmpty() ? nullptr : &m_settings.cuts.at(index);
    if (own && (own->startSeconds || own->startShare || own->startAtChorus))
        return own->startAtChorus;
    return m_settings.startAtChorus;
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
    if (const std::optional<Chorus::Start> &found = m_results[index].foundStart)
        return secondsText(found->seconds);
    const StartList::SourceCut *own = m_settings.cuts.isEmpty() ? nullptr : &m_settings.cuts.at(index);
    const bool ownStart = own && (own->startSeconds || own->startShare);
    const std::optional<double> share = ownStart ? own->startShare : m_settings.startShare;
    if (!share)
        return secondsText(ownStart ? *own->startSeconds : m_settings.startSeconds);
    const std::optional<Mp3Audio::Length> length = sourceLength(index);
    if (!length)
        return std::nullopt;
    return secondsText(*share * length->seconds);
}

// Every step that needs the source's length (the auto start, the loudness rate, a share, the
// check of the cut) reads it once, before any tool of this file has read the source.
std::optional<Mp3Audio::Length> ParallelPreviews::sourceLength(int index) const
{
    const Work &work = m_work[size_t(index)];
    if (!work.measured) {
        work.length = SourceAudio::Measure(m_results[index].source);
        work.measured = true;
    }
    return work.length;
}

double ParallelPreviews::durationFor(int index) const
{
    if (m_settings.cuts.isEmpty())
        return m_settings.durationSeconds;
    return m_settings.cuts.at(index).durationSeconds.value_or(m_settings.durationSeconds);
}

bool ParallelPreviews::settleStart(int index)
{
    Work &work = m_work[size_t(index)];
    if (!work.start.isEmpty())
        return true;
    const std::optional<QString> start = startFor(index);
    if (!start) {
        fail(index, QStringLiteral("the length of %1 cannot be read, so neither can a share of it")
                        .arg(Main::FileNameOf(m_results[index].source)));
        return false;
    }
    work.start = *start;
    return true;
}

// SoX's fade effect, "" without fades; "-0" ends the fade-out at the end of the cut, also
// when the track ends early.
QString ParallelPreviews::fades() const
{
    if (m_settings.fadeIn <= 0 && m_settings.fadeOut <= 0)
        return QString();
    QString fade = QStringLiteral(" fade ") + secondsText(m_settings.fadeIn);
    if (m_settings.fadeOut > 0)
        fade += QStringLiteral(" -0 ") + secondsText(m_settings.fadeOut);
    return fade;
}

CommandLine ParallelPreviews::cutCommand(int index, const QString &start, const QString &writeTo) const
{
    const QString &source = m_results[index].source;
    const QString duration = secondsText(durationFor(index));
    CommandLine command = SourceAudio::NeedsDecoder(source)
                              ? PreviewCommands::CutDecoded(m_tools.sox, bitrateFor(index), writeTo, start, duration)
                              : PreviewCommands::Cut(m_tools.sox, source, bitrateFor(index), writeTo, start, duration);
    command.plain(fades());
    if (const std::optional<Loudness::Adjustment> &loudness = m_results[index].loudness)
        command.plain(QStringLiteral(" gain ") + PreviewCommands::SoxNumber(loudness->gain));
    return command;
}

void ParallelPreviews::cut(int index)
{
    if (!settleStart(index))
        return;
    Result &result = m_results[index];
    Work &work = m_work[size_t(index)];
    if (SourceAudio::NeedsDecoder(result.source)) {
        if (m_tools.ffmpeg.isEmpty())
            return fail(index, withoutFfmpeg(result.source));
        result.decoder = PreviewCommands::FfmpegDecode(m_tools.ffmpeg, result.source);
    }
    if (m_dryRun) {
        result.command = cutCommand(index, work.start, result.preview);
        work.step = Step::Done;
        ++m_finished;
        return reportInOrder();
    }
    QString writeTo = result.preview;
    sourceLength(index); // read before SoX reads the source, so the check sees a change
    if (!m_settings.join) {
        if (const QString problem = prepareFolder(result); !problem.isEmpty())
            return fail(index, problem);
        m_sweep.removeFrom(Main::FolderOf(result.preview));
        work.output = std::make_unique<PreviewFiles::TemporaryOutput>(result.preview, work.earlier);
        if (!work.output->created())
            return fail(index, work.output->problem());
        writeTo = work.output->path();
    }
    result.command = cutCommand(index, work.start, writeTo);
    launch(*result.command, [this, index](const RunResult &ended) { cutEnded(index, ended); }, index, result.decoder);
}

void ParallelPreviews::cutEnded(int index, const RunResult &ended)
{
    Work &work = m_work[size_t(index)];
    const QString source = m_results[index].source;
    const QString written = work.output ? work.output->path() : m_results[index].preview;
    // Before the check, so that the check sees the file as it will be kept. A piece of a
    // join needs no tags: the joined file gets them.
    QString tags;
    if (work.output)
        tags = m_settings.tags ? TagCopy::CopyTags(source, written) : TagCopy::RemoveTags(written);
    // The check may ask FFmpeg about an unreadable source, while other tools end meanwhile.
    QString problem = PreviewCheck::CutProblem(ended, written, source, sourceLength(index), work.start,
                                                 secondsText(durationFor(index)), m_tools.ffmpeg);
    // FFmpeg complains of the pipe SoX closed when it had enough; only a failed SoX run is its fault.
    if (!problem.isEmpty() && !work.decoderWords.isEmpty() && !PreviewCheck::ToolProblem(ended).isEmpty())
        problem = QStringLiteral("FFmpeg could not decode it: ") + work.decoderWords;
    if (m_stopped)
        return;
    if (problem.isEmpty() && work.output)
        problem = commit(m_results[index], *work.output);
    work.output.reset();
    if (!problem.isEmpty()) {
        QFile::remove(written); // a piece; a temporary output is gone already
        return fail(index, problem);
    }
    m_results[index].tagProblem = tags;
    succeed(index);
}

void ParallelPreviews::join()
{
    QStringList pieces;
    QStringList sources;
    QList<double> pieceSeconds;
    for (int index = 0; index < total(); ++index) {
        const Result &result = m_results[index];
        if (result.made || (m_dryRun && result.reason.isEmpty())) {
            pieces.append(result.preview);
            sources.append(result.source);
            // A dry run has no pieces yet: each is planned to last its duration.
            pieceSeconds.append(m_dryRun ? durationFor(index) : Mp3Audio::SoxSeconds(result.preview).value_or(0));
        }
    }
    if (pieces.isEmpty())
        m_joined->reason = QStringLiteral("none of the previews could be made");
    else if (isSource(m_joined->preview))
        m_joined->reason = QStringLiteral("it is a file of the list, so the previews were not joined");
    else if (m_settings.crossfade > 0)
        m_joined->reason = PreviewCheck::CrossfadeProblem(pieceSeconds, sources, m_settings.crossfade);
    if (m_joined->reason.isEmpty())
        m_joined->reason = prepareFolder(*m_joined);
    if (!m_joined->reason.isEmpty() || m_dryRun) {
        if (m_dryRun && m_joined->reason.isEmpty())
            m_joined->command = joinCommand(pieces, pieceSeconds, m_joined->preview);
        emit joinedReady();
        return finish();
    }
    m_sweep.removeFrom(Main::FolderOf(m_joined->preview));
    m_joinedOutput = std::make_unique<PreviewFiles::TemporaryOutput>(m_joined->preview, m_joinedEarlier);
    if (!m_joinedOutput->created()) {
        m_joined->reason = m_joinedOutput->problem();
        emit joinedReady();
        return finish();
    }
    m_joined->command = joinCommand(pieces, pieceSeconds, m_joinedOutput->path());
    launch(*m_joined->command, [this, pieces, sources](const RunResult &result) {
        const QString written = m_joinedOutput->path();
        const QString tags = m_settings.tags ? TagCopy::CopyCommonTags(sources, written) : TagCopy::RemoveTags(written);
        QString problem = PreviewCheck::JoinProblem(result, written, pieces, m_settings.crossfade);
        if (problem.isEmpty())
            problem = commit(*m_joined, *m_joinedOutput);
        m_joinedOutput.reset();
        m_joined->made = problem.isEmpty();
        m_joined->reason = problem;
        m_joined->tagProblem = m_joined->made ? tags : QString();
        emit joinedReady();
        finish();
    });
}

CommandLine ParallelPreviews::joinCommand(const QStringList &pieces, const QList<double> &pieceSeconds,
                                          const QString &writeTo) const
{
    CommandLine command = PreviewCommands::Join(m_tools.sox, pieces, bitrateFor(0), writeTo);
    if (m_settings.crossfade > 0)
        command.plain(PreviewCommands::CrossfadeSplices(pieceSeconds, m_settings.crossfade));
    return command;
}

void ParallelPreviews::launch(const CommandLine &commandLine, const Ended &ended, int index,
                              const std::optional<CommandLine> &decoder)
{
    auto *process = new QProcess(this);
    QProcess *decoding = decoder ? new QProcess(process) : nullptr;
    m_running.append({process, index, decoding});
    if (index >= 0)
        m_work[size_t(index)].process = process; // before it starts: a failed start may report at once
    const auto done = [this, process, decoding, index, ended](const RunResult &result) {
        m_running.removeIf([process](const Running &running) { return running.process == process; });
        process->deleteLater();
        if (index >= 0)
            m_work[size_t(index)].process = nullptr;
        if (result.outcome == RunResult::Outcome::Crashed && (result.exitCode == SIGINT || result.exitCode == SIGHUP))
            return stop();
        if (decoding && index >= 0)
            m_work[size_t(index)].decoderWords = endDecoder(*decoding);
        ended(result);
        pump();
    };
    connect(process, &QProcess::finished, this, [process, done] { done(Shell32::FinishedRun(*process)); });
    connect(process, &QProcess::errorOccurred, this, [process, done](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            done(Shell32::FailedStart(*process));
    });
    Shell32::Prepare(*process, commandLine);
    if (decoding) {
        Shell32::Prepare(*decoding, *decoder);
        decoding->setStandardOutputProcess(process);
        decoding->start();
    }
    process->start();
}

// SoX has read what it needs: FFmpeg ends by itself, or at the broken pipe, at once. Its
// last words, which tell why SoX got nothing from a source FFmpeg cannot read.
QString ParallelPreviews::endDecoder(QProcess &decoder)
{
    if (!decoder.waitForFinished(DecoderEndMilliseconds)) {
        decoder.kill();
        decoder.waitForFinished();
    }
    return QString::fromUtf8(decoder.readAllStandardError()).trimmed().split(QLatin1Char('\n')).constLast();
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
    while (m_reported < total() && m_work[size_t(m_reported)].step == Step::Done) {
        // A dry run's folders are named in the order its lines come out.
        Result &result = m_results[m_reported];
        if (m_dryRun && result.command && !m_settings.join)
            prepareFolder(result);
        emit resultReady(m_reported);
        m_results[m_reported].decoder.reset();
        m_results[m_reported++].command.reset();
    }
}

void ParallelPreviews::stop()
{
    if (m_done)
        return;
    m_stopped = true;
    m_stopAnalyses = true;
    killTools();
    for (int index = 0; index < total(); ++index) {
        if (m_work[size_t(index)].step != Step::Done)
            m_results[index].reason = QStringLiteral("stopped before it was made");
    }
    finish();
}

void ParallelPreviews::killTools()
{
    const QList<Running> running = m_running;
    m_running.clear();
    for (const Running &tool : running) {
        if (tool.decoder) {
            tool.decoder->kill();
            tool.decoder->waitForFinished();
        }
        QProcess *process = tool.process;
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
    if (m_running.isEmpty()) {
        for (size_t index = 0; index < m_work.size(); ++index) {
            if (m_work[index].analysing)
                return m_results[int(index)].source;
        }
        return QString();
    }
    const int index = m_running.first().index;
    return index >= 0 ? m_results[index].source : m_joined->preview;
}

QString ParallelPreviews::pieceFolder() const
{
    return m_workFolder ? m_workFolder->path() : QString();
}

bool ParallelPreviews::isSource(const QString &path)
{
    return m_sourceKeys.contains(PreviewFiles::FileKeyIn(folderKey(Main::FolderOf(path)), path));
}

// A preview's key made from its folder's: unlike FileKey, it stays the same when the preview
// appears while the run goes on.
QString ParallelPreviews::previewKey(const QString &path)
{
    return folderKey(Main::FolderOf(path)) + Main::FileNameOf(path);
}

// FileKey of the folder with a "/" at its end, taken once, as the folder was first seen:
// most files share a folder.
QString ParallelPreviews::folderKey(const QString &folder)
{
    auto known = m_folderKeys.constFind(folder);
    if (known == m_folderKeys.cend()) {
        const QString key = PreviewFiles::FileKey(folder);
        known = m_folderKeys.insert(folder, key.endsWith(QLatin1Char('/')) ? key : key + QLatin1Char('/'));
    }
    return *known;
}
