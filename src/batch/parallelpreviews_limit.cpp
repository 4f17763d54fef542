// The limiter's part of a file's way, with --limit: where its peaks hold a preview's gain
// back, the stretch its analysis decoded is limited on a thread of the pool (counted among
// the jobs, as an analysis is), and SoX cuts the preview from the limited samples with the
// gain that reaches the target; a cut whose encoding passes the ceiling is limited again,
// to a lower ceiling, from the stretch as decoded.

#include "batch/parallelwork.h"


void ParallelPreviews::limit(int index)
{
    const PreviewFile &file = m_work[size_t(index)].file;
    onThread(index, [this, index, limiting = file.limiting(file.limitPlan(bitrateFor(index).toInt()))] {
        const LimitedStretch::Limited outcome = limiting();
        return Later([this, index, outcome] { limited(index, outcome); });
    });
}

void ParallelPreviews::limited(int index, const LimitedStretch::Limited &outcome)
{
    Work &work = m_work[size_t(index)];
    work.file.takeLimited(outcome);
    work.step = Step::Cut;
    m_waiting.insert(index);
    pump();
}
