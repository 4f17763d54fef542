// What each preview records of how it was made (its mark), and the previews an --update run
// keeps: a preview is kept when its mark says it was made of this very source with these
// settings and it is still whole; what the report says of it then is what its mark records.
#include "batch/parallelwork.h"

void ParallelPreviews::keepIfUpToDate(int index)
{
    Work &work = m_work[size_t(index)];
    Result &result = m_results[index];
    const std::optional<PreviewMark::Record> &wanted = work.file.wanted();
    const std::optional<QString> text = PreviewMark::Read(result.preview);
    if (!text || !wanted)
        return;
    const std::optional<PreviewMark::Record> recorded = PreviewMark::Record::Parse(*text);
    result.pinnedSongChanged = recorded && m_cuts.ownStart(index) && !recorded->sameSource(*wanted);
    if (!m_settings.update || m_settings.join)
        return;
    result.earlierForm = !recorded;
    if (!recorded || !work.file.keeps(*recorded, result.preview))
        return;
    result.upToDate = true;
    m_results[index].takeRecorded(*recorded, m_cuts.duration(index), m_cuts.ownStart(index) != nullptr, m_settings.loudness);
    settleKept(index, (m_settings.waveform && !Waveform::FileMatches(result.preview, *m_settings.waveform))
                          || m_settings.reviewPage);
}

void ParallelPreviews::settleKept(int index, bool besides)
{
    m_work[size_t(index)].step = besides ? Step::Besides : Step::Done;
    if (!besides)
        ++m_finished;
}
