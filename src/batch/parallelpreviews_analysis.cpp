// The analysis of one file's audio: the chorus search and the loudness of the preview's
// stretch, in one job on a thread of the pool (counted among the jobs), so that the event
// loop stays free. An MP3 is decoded in the process; SoX decodes any other source (after
// FFmpeg, for what SoX cannot read) into a pipe the job reads.

#include "batch/parallelwork.h"

#include "analysis/decodedaudio.h"
#include "analysis/stretchloudness.h"
#include "preview/previewcommands.h"

bool ParallelPreviews::needsAnalysis(int index) const
{
    return m_cuts.atChorus(index) || m_settings.loudness;
}

void ParallelPreviews::analyse(int index)
{
    const QString &source = m_results[index].source;
    if (const QString problem = PreviewSteps::ReadingProblem(m_tools, source); !problem.isEmpty())
        return fail(index, problem);
    const int rate = m_settings.loudness ? m_loudness.measuringRate(loudnessFile(index)) : 0;
    SourceAnalysis::Request request = PreviewSteps::AnalysisRequest(m_tools, source, m_cuts.duration(index), sourceLength(index), rate);
    request.search = m_cuts.atChorus(index);
    if (!request.search) {
        if (!settleStart(index))
            return;
        request.start = m_work[size_t(index)].start.toDouble();
    }
    request.songPicture = m_settings.reviewPage;
    request.fadeIn = m_settings.fadeIn;
    request.fadeOut = m_settings.fadeOut;
    if (m_settings.loudness) {
        request.loudnessRate = rate;
        request.loudnessTarget = *m_settings.loudness;
        // Its true peak is made exact down to where it would hold back a piece of a join too,
        // so that a join can take this preview as its piece and plan that from the mark.
        const int kbps = bitrateFor(index).toInt();
        request.encodingLoss = FileLoudness::JoinEncodings * m_settings.format->encodingLoss(kbps);
        request.peakMargin = FileLoudness::JoinEncodings * m_settings.format->peakMargin(kbps);
        request.keepStretch = m_loudness.keepsStretch(loudnessFile(index)) || m_loudness.limits(index);
    }
    m_work[size_t(index)].analysing = true;
    ++m_analysing;
    m_analyses.start([this, index, request] {
        const SourceAnalysis::Outcome outcome = SourceAnalysis::Analyse(request, [this] { return m_stopAnalyses.load(); });
        QMetaObject::invokeMethod(this, [this, index, outcome] { analysed(index, outcome); }, Qt::QueuedConnection);
    });
}

void ParallelPreviews::analysed(int index, const SourceAnalysis::Outcome &outcome)
{
    m_work[size_t(index)].analysing = false;
    --m_analysing;
    if (m_stopped || m_done)
        return;
    if (const QString problem = PreviewSteps::AnalysisProblem(outcome, m_results[index].source); !problem.isEmpty()) {
        fail(index, problem);
    } else {
        if (outcome.found)
            m_results[index].foundStart = outcome.found;
        m_results[index].song = outcome.song;
        if (outcome.measured)
            measured(index, *outcome.measured);
        Work &work = m_work[size_t(index)];
        const std::optional<Loudness::Adjustment> &loudness = m_results[index].loudness;
        // Less than a millisecond would read as no trim at all.
        if (outcome.stretch && PreviewSteps::StretchSeconds(*outcome.stretch, m_cuts.duration(index)) > 0) {
            if (m_settings.limit && loudness && loudness->heldBack)
                work.decoded = outcome.stretch;
            else if (m_loudness.keepsStretch(loudnessFile(index)))
                work.stretch = outcome.stretch;
        }
        work.step = work.decoded ? Step::Limit : Step::Cut;
        m_waiting.insert(index);
    }
    pump();
}

void ParallelPreviews::measured(int index, const Loudness::Measurement &measurement)
{
    m_results[index].loudness = m_loudness.gainFor(measurement, bitrateFor(index).toInt());
}

FileLoudness::File ParallelPreviews::loudnessFile(int index) const
{
    return {index, m_results[index].source, bitrateFor(index).toInt(), sourceLength(index)};
}
