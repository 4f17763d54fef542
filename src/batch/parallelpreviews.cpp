// Running the list: start, the slices of planning on the event loop, whatever can start next, stop.
#include "batch/parallelpreviews.h"

#include "platform/shell32.h"
#include "preview/previewfiles.h"

#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>

using Shell32::RunResult;

namespace {

// Planning gives the event loop its turn this often, so tools that ended are followed at
// once and a signal stops the run without delay.
constexpr qint64 SliceMilliseconds = 20;

} // namespace

ParallelPreviews::ParallelPreviews(Tools::Found tools, PreviewSettings settings, QStringList sources, QObject *parent)
    : QObject(parent),
      m_tools(std::move(tools)),
      m_settings(std::move(settings)),
      m_pool(this, [this] { stop(); }),
      m_batch{m_tools, m_settings, m_cuts, m_results, m_names, m_sweep, m_filesAtStart, m_subfolders, m_workFolder,
              m_joinBitrate, m_dryRun, m_stopped, m_stopAnalyses,
              [this](const ToolRun &run, const Ended &ended, int index) { launch(run, ended, index); },
              [this](int index, std::function<Later()> work) { onThread(index, std::move(work)); },
              [this](int index) { m_waiting.insert(index); },
              [this] {
                  ++m_finished;
                  reportInOrder();
              },
              [this](const QString &bitrate) {
                  m_joinBitrate = bitrate;
                  for (SongRun &song : m_songs)
                      song.joinRateKnown();
              },
              [this] { pump(); }},
      m_joining(m_batch, m_songs, [this] { emit joinedReady(); }, [this] { finish(); })
{
    m_settings.jobs = std::clamp(m_settings.jobs, 1, ToolPool::MostAtOnce());
    m_analyses.setMaxThreadCount(m_settings.jobs);
    m_results.reserve(sources.size());
    m_songs.reserve(size_t(sources.size()));
    for (const QString &source : sources) {
        Result result;
        result.source = source;
        m_results.append(result);
        m_songs.emplace_back(m_batch, int(m_songs.size()));
    }
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

void ParallelPreviews::setPruneLimits(QStringList roots, QString held)
{
    m_pruning = Pruning(std::move(roots), std::move(held));
}

void ParallelPreviews::setFilesAtStart(RunTurn::FilesAtStart files)
{
    m_filesAtStart = std::move(files);
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
        m_joining.begin();
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
// would go. Names are given in list order, so that they never depend on which tool ends first.
void ParallelPreviews::planNext()
{
    if (m_keyed < total()) {
        const QString &source = m_results[m_keyed++].source;
        m_names.addSource(source);
        return;
    }
    m_songs[size_t(m_planned++)].plan();
    // A joined file is kept, or its songs' own previews taken, only once all its songs are named.
    if (m_planned == total() && m_settings.join && m_settings.update)
        m_joining.keepUpToDate();
}

void ParallelPreviews::pump()
{
    if (m_stopped || m_done)
        return;
    QElapsedTimer slice;
    slice.start();
    // A dry run plans its cuts without starting a tool, so only time bounds this loop.
    while (m_pool.size() + m_analysing < m_settings.jobs && launchNext()) {
        if (slice.elapsed() >= SliceMilliseconds)
            return queueAdvance();
    }
    if (m_planned < total())
        return queueAdvance();
    // A joined file being measured is joined on from there.
    if (!m_pool.isEmpty() || m_analysing > 0 || m_finished < total())
        return;
    if (m_joining.due())
        m_joining.join();
    else
        finish();
}

// Starts the first piece of work in list order that can run now; false when there is none.
// Files probed wait before every file not started yet, which lies further down the list.
bool ParallelPreviews::launchNext()
{
    // With update, a join keeps its songs or takes their previews once all are named.
    if (m_settings.join && m_settings.update && m_planned < total())
        return false;
    if (!m_waiting.empty()) {
        const int index = *m_waiting.begin();
        m_waiting.erase(m_waiting.begin());
        m_songs[size_t(index)].startStep();
        return true;
    }
    while (m_nextToStart < m_planned && m_songs[size_t(m_nextToStart)].step() == SongRun::Step::Done)
        ++m_nextToStart;
    if (m_nextToStart >= m_planned)
        return false;
    const int index = m_nextToStart;
    // A join probes one source at a time, until one gives the bit rate of all: till then
    // every tool running is a probe.
    if (m_songs[size_t(index)].step() == SongRun::Step::Probe && m_settings.join && !m_pool.isEmpty())
        return false;
    ++m_nextToStart;
    m_songs[size_t(index)].startStep();
    return true;
}

void ParallelPreviews::launch(const ToolRun &run, const Ended &ended, int index)
{
    m_pool.launch(run, index,
                  [this, index, ended](const RunResult &result, const std::optional<RunResult> &decoder) {
                      if (decoder && index >= 0)
                          m_songs[size_t(index)].decoderEnded(PreviewSteps::EndOf(*decoder));
                      ended(result);
                      pump();
                  });
}

void ParallelPreviews::onThread(int index, std::function<Later()> work)
{
    if (index >= 0)
        m_onThread.insert(index);
    ++m_analysing;
    m_analyses.start([this, index, work = std::move(work)] {
        QMetaObject::invokeMethod(
            this,
            [this, index, then = work()] {
                if (index >= 0)
                    m_onThread.erase(m_onThread.find(index));
                --m_analysing;
                if (!m_stopped && !m_done)
                    then();
            },
            Qt::QueuedConnection);
    });
}

void ParallelPreviews::stop()
{
    if (m_done)
        return;
    m_stopped = true;
    m_stopAnalyses = true;
    killTools();
    // A preview made and waiting for its waveform file is kept and counted as made.
    for (int index = 0; index < total(); ++index) {
        if (m_songs[size_t(index)].step() != SongRun::Step::Done && !m_results[index].made && !m_results[index].upToDate)
            m_results[index].reason = QStringLiteral("stopped before it was made");
    }
    finish();
}

void ParallelPreviews::killTools()
{
    m_pool.killAll();
    // Only now that no tool writes any more: the unfinished files go with their owners.
    for (SongRun &song : m_songs)
        song.dropOutput();
    m_joining.abandon();
}

void ParallelPreviews::finish()
{
    if (m_done)
        return;
    if (!m_stopped)
        m_pruning.find(m_results, m_joining.joins(), m_settings, !m_subfolders.isEmpty(), m_dryRun);
    m_done = true;
    m_workFolder.reset();
    emit finished();
}
