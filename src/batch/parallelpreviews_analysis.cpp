// The analysis of one file's audio: the chorus search and the loudness of the preview's
// stretch, in one job on a thread of the pool (counted among the jobs), so that the event
// loop stays free. An MP3 is decoded in the process; SoX decodes any other source (after
// FFmpeg, for what SoX cannot read) into a pipe the job reads.

#include "batch/parallelwork.h"

#include "analysis/mp3decode.h"
#include "analysis/sourceaudio.h"
#include "analysis/stretchloudness.h"
#include "preview/previewcheck.h"
#include "preview/previewcommands.h"

bool ParallelPreviews::needsAnalysis(int index) const
{
    return startsAtChorus(index) || m_settings.loudness;
}

void ParallelPreviews::analyse(int index)
{
    const QString &source = m_results[index].source;
    if (SourceAudio::NeedsDecoder(source) && m_tools.ffmpeg.isEmpty())
        return fail(index, withoutFfmpeg(source));
    SourceAnalysis::Request request;
    request.source = source;
    request.search = startsAtChorus(index);
    if (!request.search) {
        if (!settleStart(index))
            return;
        request.start = m_work[size_t(index)].start.toDouble();
    }
    if (const std::optional<Mp3Audio::Length> length = sourceLength(index))
        request.knownSeconds = length->seconds;
    request.previewSeconds = durationFor(index);
    request.songPicture = m_settings.songPictures;
    request.fadeIn = m_settings.fadeIn;
    request.fadeOut = m_settings.fadeOut;
    if (m_settings.loudness) {
        request.loudnessRate = measuringRate(index);
        request.loudnessTarget = *m_settings.loudness;
        // Its true peak is made exact down to where it would hold back a piece of a join too,
        // so that a join can take this preview as its piece and plan that from the mark.
        const int kbps = bitrateFor(index).toInt();
        request.encodingLoss = ParallelWork::JoinEncodings * Loudness::EncodingLoss(kbps);
        request.peakMargin = ParallelWork::JoinEncodings * Loudness::PeakMargin(kbps);
        request.keepStretch = keepsStretch(index) || limits(index);
    }
    if (!Mp3Decode::Decodes(source))
        request.pipes = pipesFor(index, request.loudnessRate.value_or(0));
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
    const std::optional<Mp3Audio::Length> length = sourceLength(index);
    return m_settings.loudness && !m_settings.join && Mp3Decode::Decodes(m_results[index].source) && length
           && measuringRate(index) >= length->rate && durationFor(index) <= Analysis::StretchLoudness::LongestKeptSeconds;
}

double ParallelPreviews::keptSeconds(const Mp3Decode::Stretch &stretch, double duration)
{
    return std::min(duration, std::floor(double(stretch.frames()) * 1000 / stretch.rate) / 1000);
}

// The stretch is measured as the cut reads it. Raising the rate adds nothing to measure, so
// it is left to the cut unless the preview's rate is lower: that drops treble, which counts.
// An MP3 the limiter may take is read at its own rate, as a dry run's line decodes it.
int ParallelPreviews::measuringRate(int index) const
{
    const int previewRate = PreviewCommands::SampleRateFor(bitrateFor(index));
    const int sourceRate = sourceLength(index).value_or(Mp3Audio::Length()).rate;
    if (limits(index) && Mp3Decode::Decodes(m_results[index].source) && sourceRate > 0)
        return sourceRate;
    return sourceRate > 0 && sourceRate < previewRate ? sourceRate : previewRate;
}

// SoX decodes the whole source for the search, and the stretch for the loudness, at `rate`.
SourceAnalysis::Pipes ParallelPreviews::pipesFor(int index, int rate) const
{
    const QString &source = m_results[index].source;
    const QString sox = m_tools.sox;
    const QString duration = ParallelWork::SecondsText(durationFor(index));
    SourceAnalysis::Pipes pipes;
    if (!SourceAudio::NeedsDecoder(source)) {
        pipes.search = PreviewCommands::DecodeMono(sox, source, Chorus::DecodingRate);
        pipes.stretch = [sox, source, rate, duration](double start) {
            return PreviewCommands::Decode(sox, source, rate, ParallelWork::SecondsText(start), duration);
        };
        return pipes;
    }
    pipes.feeder = PreviewCommands::FfmpegDecode(m_tools.ffmpeg, source);
    pipes.search = PreviewCommands::DecodeMonoDecoded(sox, Chorus::DecodingRate);
    pipes.stretch = [sox, rate, full = durationFor(index), song = songSeconds(index)](double start) {
        const double seconds = ParallelWork::TrimSeconds(full, song, start, true);
        return PreviewCommands::DecodeDecoded(sox, rate, ParallelWork::SecondsText(start), ParallelWork::SecondsText(seconds));
    };
    return pipes;
}

void ParallelPreviews::analysed(int index, const SourceAnalysis::Outcome &outcome)
{
    m_work[size_t(index)].analysing = false;
    --m_analysing;
    if (m_stopped || m_done)
        return;
    if (outcome.failedRun) {
        const PipeDecode::Ended &ended = *outcome.failedRun;
        const QString byFfmpeg = PreviewCheck::DecoderProblem(ended.decoderOutput, ended.decoderFailure);
        fail(index, byFfmpeg.isEmpty() ? PreviewCheck::ToolProblem(ended.reader) : byFfmpeg);
    } else if (outcome.noAudio) {
        fail(index, PreviewCheck::NoAudioForChorus(m_results[index].source));
    } else {
        if (outcome.found)
            m_results[index].foundStart = outcome.found;
        m_results[index].song = outcome.song;
        if (outcome.measured)
            measured(index, *outcome.measured);
        Work &work = m_work[size_t(index)];
        const std::optional<Loudness::Adjustment> &loudness = m_results[index].loudness;
        // Less than a millisecond would read as no trim at all.
        if (outcome.stretch && keptSeconds(*outcome.stretch, durationFor(index)) > 0) {
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
