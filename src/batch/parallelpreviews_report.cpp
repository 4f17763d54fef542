// Results handed out in list order, and what a front end counts.
#include "batch/parallelpreviews.h"

void ParallelPreviews::reportInOrder()
{
    while (m_reported < total() && m_songs[size_t(m_reported)].step() == SongRun::Step::Done) {
        // A dry run's folders are named in the order its lines come out.
        Result &result = m_results[m_reported];
        if (m_dryRun && result.command && !m_settings.join)
            m_batch.prepareFolder(result);
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
        if (!m_onThread.empty())
            return m_results[*m_onThread.begin()].source;
        // Else only the joined file is measured.
        return m_analysing > 0 && m_joining.joined() ? m_joining.joined()->preview : QString();
    }
    const int index = m_pool.oldestIndex();
    return index >= 0 ? m_results[index].source : m_joining.joined()->preview;
}
