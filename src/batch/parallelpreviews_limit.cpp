// The limiter's part of a file's way, with --limit: where its peaks hold a preview's gain
// back, the stretch its analysis decoded is limited on a thread of the pool (counted among
// the jobs, as an analysis is), and SoX cuts the preview from the limited samples with the
// gain that reaches the target; a cut whose encoding passes the ceiling is limited again,
// to a lower ceiling, from the stretch as decoded.

#include "batch/parallelwork.h"


void ParallelPreviews::limit(int index)
{
    Work &work = m_work[size_t(index)];
    work.analysing = true;
    ++m_analysing;
    m_analyses.start([this, index,
                      limiting = work.file.limiting(work.file.limitPlan(bitrateFor(index).toInt()))] {
        const LimitedStretch::Limited outcome = limiting();
        QMetaObject::invokeMethod(this, [this, index, outcome] { limited(index, outcome); }, Qt::QueuedConnection);
    });
}

void ParallelPreviews::limited(int index, const LimitedStretch::Limited &outcome)
{
    Work &work = m_work[size_t(index)];
    work.analysing = false;
    --m_analysing;
    if (m_stopped || m_done)
        return;
    work.file.takeLimited(outcome);
    work.step = Step::Cut;
    m_waiting.insert(index);
    pump();
}
