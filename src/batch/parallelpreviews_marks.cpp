// What each preview records of how it was made (its mark), and the previews an --update run
// keeps: a preview is kept when its mark says it was made of this very source with these
// settings and it is still whole; what the report says of it then is what its mark records.
#include "batch/parallelwork.h"

void ParallelPreviews::keepIfUpToDate(int index)
{
    Work &work = m_work[size_t(index)];
    Result &result = m_results[index];
    work.wanted = PreviewRecord::Wanted(m_results[index].source, m_cuts.recipe(index));
    const std::optional<QString> text = PreviewMark::Read(result.preview);
    if (!text || !work.wanted)
        return;
    const std::optional<PreviewMark::Record> recorded = PreviewMark::Record::Parse(*text);
    result.pinnedSongChanged = recorded && m_cuts.ownStart(index) && !recorded->sameSource(*work.wanted);
    if (!m_settings.update || m_settings.join)
        return;
    result.earlierForm = !recorded;
    if (!recorded || !recorded->meets(*work.wanted) || !PreviewRecord::IsWhole(result.preview, *recorded))
        return;
    result.upToDate = true;
    takeRecorded(index, *recorded);
    settleKept(index, (m_settings.waveform && !Waveform::FileMatches(result.preview, *m_settings.waveform))
                          || m_settings.reviewPage);
}

void ParallelPreviews::settleKept(int index, bool besides)
{
    m_work[size_t(index)].step = besides ? Step::Besides : Step::Done;
    if (!besides)
        ++m_finished;
}

void ParallelPreviews::takeRecorded(int index, const PreviewMark::Record &recorded)
{
    Result &result = m_results[index];
    result.start = recorded.value(QStringLiteral("at")).toDouble();
    result.duration = m_cuts.duration(index);
    const StartOrigin madeFrom = PreviewRecord::RecordedOrigin(recorded);
    // A row of this run's list pins the start the preview was made from, whatever chose it
    // then: the report says so, and a review starts from it.
    result.startFrom = m_cuts.ownStart(index) ? StartOrigin::List : madeFrom;
    result.startIsShare = result.startFrom == StartOrigin::Share;
    if (m_settings.loudness)
        result.loudness = PreviewRecord::RecordedLoudness(recorded, *m_settings.loudness);
    if (madeFrom == StartOrigin::Chorus || madeFrom == StartOrigin::Fallback)
        result.foundStart = PreviewRecord::RecordedStart(recorded);
}

QString ParallelPreviews::markText(int index, const QString &written) const
{
    const std::optional<PreviewMark::Record> &wanted = m_work[size_t(index)].wanted;
    if (!wanted)
        return QString();
    const Result &result = m_results[index];
    PreviewRecord::Made made;
    made.start = result.start.value_or(0);
    made.origin = result.startFrom;
    made.loudness = result.loudness;
    made.found = result.foundStart ? &*result.foundStart : nullptr;
    return PreviewRecord::MarkText(*wanted, made, written);
}
