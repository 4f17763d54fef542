// Running the list: start, the slices of planning on the event loop, whatever can start next, stop.
#include "batch/parallelwork.h"

#include "platform/main.h"
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
      m_pool(this, [this] { stop(); })
{
    m_settings.jobs = std::clamp(m_settings.jobs, 1, ToolPool::MostAtOnce());
    m_analyses.setMaxThreadCount(m_settings.jobs);
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

void ParallelPreviews::setPruneLimits(QStringList roots, QString held)
{
    m_pruneRoots = std::move(roots);
    m_pruneHeld = std::move(held);
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
        const bool perFolder = !m_settings.outputFolder.isEmpty() && !m_subfolders.isEmpty();
        m_joinFolders = perFolder ? QStringList(m_subfolders) : QStringList{QString()};
        m_joinFolders.removeDuplicates();
        for (int number = 0; number < m_joinFolders.size(); ++number)
            m_joinsEarlier.append(m_filesAtStart.earlierAt(joinedPath(number)));
        beginJoin(0);
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
    if (m_joined && !m_joined->command && m_joined->reason.isEmpty())
        join();
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
    if (m_work[size_t(index)].step == Step::Probe && m_settings.join && !m_pool.isEmpty())
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
    case Step::Limit:
        return limit(index);
    case Step::Cut:
        return cut(index);
    case Step::Besides:
        return completeMade(index);
    case Step::Done:
        return;
    }
}

void ParallelPreviews::launch(const CommandLine &commandLine, const Ended &ended, int index,
                              const std::optional<CommandLine> &decoder, const ToolPool::Input &input,
                              const std::optional<CommandLine> &encoder)
{
    m_pool.launch({commandLine, decoder, input, encoder}, index,
                  [this, index, ended](const RunResult &result, const std::optional<RunResult> &decoder) {
                      if (decoder && index >= 0)
                          m_work[size_t(index)].decoder = PreviewSteps::EndOf(*decoder);
                      ended(result);
                      pump();
                  });
}

void ParallelPreviews::onThread(int index, std::function<Later()> work)
{
    if (index >= 0)
        m_work[size_t(index)].analysing = true;
    ++m_analysing;
    m_analyses.start([this, index, work = std::move(work)] {
        QMetaObject::invokeMethod(
            this,
            [this, index, then = work()] {
                if (index >= 0)
                    m_work[size_t(index)].analysing = false;
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
        if (m_work[size_t(index)].step != Step::Done && !m_results[index].made && !m_results[index].upToDate)
            m_results[index].reason = QStringLiteral("stopped before it was made");
    }
    finish();
}

void ParallelPreviews::killTools()
{
    m_pool.killAll();
    // Only now that no tool writes any more: the unfinished files go with their owners.
    for (Work &work : m_work)
        work.output.reset();
    m_joinedFile.reset();
}

// The output folder (and, keeping the folders of the songs, those below it, where a withdrawn
// album leaves its own); beside their songs, the songs' folders.
void ParallelPreviews::findOrphans()
{
    QSet<QString> current;
    QStringList folders;
    for (const QList<Result> &results : {m_results, m_joins}) {
        for (const Result &result : results) {
            if (result.made || result.upToDate || (m_dryRun && result.reason.isEmpty()))
                current.insert(PreviewFiles::FileKey(result.preview));
            if (m_settings.outputFolder.isEmpty() && !result.source.isEmpty())
                folders.append(Main::FolderOf(result.source));
        }
    }
    if (!m_settings.outputFolder.isEmpty())
        folders = QStringList{m_settings.outputFolder};
    folders.removeDuplicates();
    Orphans::Found found =
        Orphans::Find(folders, !m_settings.outputFolder.isEmpty() && !m_subfolders.isEmpty(), current, m_pruneRoots);
    m_orphans = std::move(found.orphans);
    m_doubts = std::move(found.doubts);
    if (!m_settings.prune || !m_pruneHeld.isEmpty())
        return;
    if (!m_dryRun) {
        for (Orphan &orphan : m_orphans)
            Orphans::Remove(orphan);
    }
    // A withdrawn album leaves no empty folder behind; beside the songs, their folders are not ours.
    if (!m_settings.outputFolder.isEmpty())
        m_emptiedFolders = Orphans::RemoveEmptied(m_orphans, m_settings.outputFolder, m_dryRun);
}

void ParallelPreviews::finish()
{
    if (m_done)
        return;
    if (!m_stopped)
        findOrphans();
    m_done = true;
    m_workFolder.reset();
    emit finished();
}
