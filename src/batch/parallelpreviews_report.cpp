// Results handed out in list order, and what a front end counts.
#include "batch/parallelwork.h"

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
    work.file.dropSamples();
    m_results[index].takeMade(work.file, m_cuts.share(index).has_value());
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
        m_results[m_reported].pipedFrom.clear();
        m_results[m_reported++].command.reset();
    }
}

int ParallelPreviews::keptCount() const
{
    int kept = 0;
    for (const Result &result : m_results)
        kept += result.upToDate ? 1 : 0;
    return kept;
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
    if (m_pool.isEmpty()) {
        for (size_t index = 0; index < m_work.size(); ++index) {
            if (m_work[index].analysing)
                return m_results[int(index)].source;
        }
        // Else only the joined file is measured.
        return m_analysing > 0 && m_joined ? m_joined->preview : QString();
    }
    const int index = m_pool.oldestIndex();
    return index >= 0 ? m_results[index].source : m_joined->preview;
}
