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
    return startsAtChorus(index) || m_settings.loudness;
}

void ParallelPreviews::analyse(int index)
{
    const QString &source = m_results[index].source;
    if (const QString problem = PreviewSteps::ReadingProblem(m_tools, source); !problem.isEmpty())
        return fail(index, problem);
    const int rate = m_settings.loudness ? measuringRate(index) : 0;
    SourceAnalysis::Request request = PreviewSteps::AnalysisRequest(m_tools, source, durationFor(index), sourceLength(index), rate);
    request.search = startsAtChorus(index);
    if (!request.search) {
        if (!settleStart(index))
            return;
        request.start = m_work[size_t(index)].start.toDouble();
    }
    request.songPicture = m_settings.songPictures;
    request.fadeIn = m_settings.fadeIn;
    request.fadeOut = m_settings.fadeOut;
    if (m_settings.loudness) {
        request.loudnessRate = rate;
        request.loudnessTarget = *m_settings.loudness;
        // Its true peak is made exact down to where it would hold back a piece of a join too,
        // so that a join can take this preview as its piece and plan that from the mark.
        const int kbps = bitrateFor(index).toInt();
        request.encodingLoss = ParallelWork::JoinEncodings * Loudness::EncodingLoss(kbps);
        request.peakMargin = ParallelWork::JoinEncodings * Loudness::PeakMargin(kbps);
        request.keepStretch = keepsStretch(index) || limits(index);
    }
    m_work[size_t(index)].analysing = true;
    ++m_analysing;
    m_analyses.start([this, index, request] {
        const SourceAnalysis::Outcome outcome = SourceAnalysis::Analyse(request, [this] { return m_stopAnalyses.load(); });
        QMetaObject::invokeMethod(this, [this, index, outcome] { analysed(index, outcome); }, Qt::QueuedConnection);
    });
}

// SoX cuts a preview of the analysis's samples instead of decoding the source again, where
// they are the source's own: its rate, no fade, no gain. A join's pieces read the source, and
// so does a preview longer than the measuring keeps, which would hold much memory.
bool ParallelPreviews::keepsStretch(int index) const
{
    const std::optional<AudioLength> length = sourceLength(index);
    return m_settings.loudness && !m_settings.join && DecodedAudio::Decodes(m_results[index].source) && length
           && measuringRate(index) >= length->rate && durationFor(index) <= Analysis::StretchLoudness::LongestKeptSeconds;
}

// The stretch is measured as the cut reads it. Raising the rate adds nothing to measure, so
// it is left to the cut unless the preview's rate is lower: that drops treble, which counts.
// An MP3 the limiter may take is read at its own rate, as a dry run's line decodes it.
int ParallelPreviews::measuringRate(int index) const
{
    const int previewRate = PreviewCommands::SampleRateFor(bitrateFor(index));
    const int sourceRate = sourceLength(index).value_or(AudioLength()).rate;
    if (limits(index) && DecodedAudio::Decodes(m_results[index].source) && sourceRate > 0)
        return sourceRate;
    return sourceRate > 0 && sourceRate < previewRate ? sourceRate : previewRate;
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
        if (outcome.stretch && PreviewSteps::StretchSeconds(*outcome.stretch, durationFor(index)) > 0) {
            if (m_settings.limit && loudness && loudness->heldBack)
                work.decoded = outcome.stretch;
            else if (keepsStretch(index))
                work.stretch = outcome.stretch;
        }
        work.step = work.decoded ? Step::Limit : Step::Cut;
        m_waiting.insert(index);
    }
    pump();
}

void ParallelPreviews::measured(int index, const Loudness::Measurement &measurement)
{
    m_results[index].loudness =
        Loudness::GainFor(measurement, *m_settings.loudness, encodingLoss(index), peakMargin(index));
}

int ParallelPreviews::encodings() const
{
    return m_settings.join ? ParallelWork::JoinEncodings : 1;
}

double ParallelPreviews::encodingLoss(int index) const
{
    return encodings() * Loudness::EncodingLoss(bitrateFor(index).toInt());
}

double ParallelPreviews::peakMargin(int index) const
{
    return encodings() * Loudness::PeakMargin(bitrateFor(index).toInt());
}
