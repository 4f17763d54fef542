// The analysis of a song's audio: the chorus search and the loudness of the preview's
// stretch, in one job on a thread of the pool (counted among the jobs), so that the event
// loop stays free. An MP3 is decoded in the process; SoX decodes any other source (after
// FFmpeg, for what SoX cannot read) into a pipe the job reads.
// With --limit, where its peaks hold a preview's gain back, the stretch the analysis decoded
// is limited on a thread of the pool too, and SoX cuts the preview from the limited samples
// with the gain that reaches the target; a cut whose encoding passes the ceiling is limited
// again, to a lower ceiling, from the stretch as decoded.
#include "batch/songrun.h"

void SongRun::analyse()
{
    const QString &source = result().source;
    if (const QString problem = PreviewSteps::ReadingProblem(m_batch->tools, source); !problem.isEmpty())
        return fail(problem);
    const bool search = m_batch->cuts.atChorus(m_index);
    if (!search && !settleStart())
        return;
    SourceAnalysis::Request request = m_file.analysisRequest(m_batch->tools, bitrate().toInt(), search);
    request.songPicture = m_batch->settings.reviewPage;
    m_batch->onThread(m_index, [this, request, stop = &m_batch->stopAnalyses] {
        const SourceAnalysis::Outcome outcome = SourceAnalysis::Analyse(request, [stop] { return stop->load(); });
        return BatchRun::Later([this, outcome] { analysed(outcome); });
    });
}

void SongRun::analysed(const SourceAnalysis::Outcome &outcome)
{
    if (const QString problem = PreviewSteps::AnalysisProblem(outcome, result().source); !problem.isEmpty()) {
        fail(problem);
    } else {
        m_file.takeAnalysis(outcome, bitrate().toInt());
        result().song = outcome.song;
        m_step = m_file.usesLimiter() ? Step::Limit : Step::Cut;
        m_batch->ready(m_index);
    }
    m_batch->pump();
}

void SongRun::limit()
{
    m_batch->onThread(m_index, [this, limiting = m_file.limiting(m_file.limitPlan(bitrate().toInt()))] {
        const LimitedStretch::Limited outcome = limiting();
        return BatchRun::Later([this, outcome] { limited(outcome); });
    });
}

void SongRun::limited(const LimitedStretch::Limited &outcome)
{
    m_file.takeLimited(outcome);
    m_step = Step::Cut;
    m_batch->ready(m_index);
    m_batch->pump();
}
