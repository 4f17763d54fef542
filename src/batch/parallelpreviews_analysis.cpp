// The analysis of one file's audio: the chorus search and the loudness of the preview's
// stretch, in one job on a thread of the pool (counted among the jobs), so that the event
// loop stays free. An MP3 is decoded in the process; SoX decodes any other source (after
// FFmpeg, for what SoX cannot read) into a pipe the job reads.

#include "batch/parallelwork.h"


void ParallelPreviews::analyse(int index)
{
    const QString &source = m_results[index].source;
    if (const QString problem = PreviewSteps::ReadingProblem(m_tools, source); !problem.isEmpty())
        return fail(index, problem);
    const bool search = m_cuts.atChorus(index);
    if (!search && !settleStart(index))
        return;
    SourceAnalysis::Request request = m_work[size_t(index)].file.analysisRequest(m_tools, bitrateFor(index).toInt(), search);
    request.songPicture = m_settings.reviewPage;
    onThread(index, [this, index, request] {
        const SourceAnalysis::Outcome outcome = SourceAnalysis::Analyse(request, [this] { return m_stopAnalyses.load(); });
        return Later([this, index, outcome] { analysed(index, outcome); });
    });
}

void ParallelPreviews::analysed(int index, const SourceAnalysis::Outcome &outcome)
{
    Work &work = m_work[size_t(index)];
    if (const QString problem = PreviewSteps::AnalysisProblem(outcome, m_results[index].source); !problem.isEmpty()) {
        fail(index, problem);
    } else {
        work.file.takeAnalysis(outcome, bitrateFor(index).toInt());
        m_results[index].song = outcome.song;
        work.step = work.file.usesLimiter() ? Step::Limit : Step::Cut;
        m_waiting.insert(index);
    }
    pump();
}
