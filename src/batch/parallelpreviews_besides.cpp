// What a preview gets besides itself: its waveform file, from one decode of the preview as
// published (gain and fades in it), or from the decode that measured its loudness; and, for
// a review page, a picture of its whole song when no analysis drew one, also for a dry run's
// page of its plan. Both take the processor, so they run on a thread of the pool, counted
// among the jobs; the preview counts as made meanwhile, and is done after them.
#include "batch/parallelwork.h"

#include "analysis/decodedaudio.h"
#include "analysis/pipedecode.h"

#include <utility>

namespace {

// The whole song decoded: an MP3 here, any other source by the tool runs of its analysis
// (a kept preview's song had none); only its length when the decode fails.
std::optional<Waveform::Overview> songPicture(const QString &source, const std::optional<AudioLength> &length,
                                              const std::optional<SourceAnalysis::Pipes> &pipes,
                                              const std::function<bool()> &stopped)
{
    std::optional<DecodedAudio::Audio> audio;
    if (DecodedAudio::Decodes(source)) {
        audio = DecodedAudio::DecodeMono(source);
    } else if (pipes) {
        audio = DecodedAudio::CollectMono([&](Analysis::Pass &pass) {
            return PipeDecode::Feed(pipes->search, pipes->feeder, Chorus::DecodingRate, 1, pass, stopped).reader.succeeded();
        });
    }
    if (audio)
        return Waveform::OverviewOf(audio->samples, audio->rate);
    if (!length)
        return std::nullopt;
    Waveform::Overview lengthOnly;
    lengthOnly.seconds = length->seconds;
    return lengthOnly;
}

} // namespace

void ParallelPreviews::completeMade(int index)
{
    Result &result = m_results[index];
    std::optional<Waveform::FileSettings> waveform = m_settings.join ? std::nullopt : m_settings.waveform;
    // A kept preview's waveform file is written again only when it is not what this run asks;
    // a dry run writes none.
    if (result.upToDate && waveform && Waveform::FileMatches(result.preview, *waveform)) {
        result.waveform = Waveform::PathBeside(result.preview, waveform->format);
        waveform.reset();
    }
    if (m_dryRun)
        waveform.reset();
    const bool picture = m_settings.reviewPage && !result.song;
    if (!waveform && !picture)
        return complete(index);
    result.made = !result.upToDate && !m_dryRun;
    m_work[size_t(index)].analysing = true;
    ++m_analysing;
    const std::optional<AudioLength> length = picture ? m_work[size_t(index)].file.length() : std::nullopt;
    const std::optional<SourceAnalysis::Pipes> pipes =
        picture ? PreviewSteps::AnalysisPipes(m_tools, result.source, 0, m_cuts.duration(index), m_work[size_t(index)].file.songSeconds()) : std::nullopt;
    std::optional<Waveform::Data> built = std::exchange(m_work[size_t(index)].waveform, std::nullopt);
    m_analyses.start([this, index, waveform, built, picture, length, pipes, preview = result.preview, source = result.source] {
        QString problem;
        if (waveform)
            problem = built ? Waveform::WriteBeside(preview, *built, *waveform)
                            : Waveform::WriteBeside(preview, *waveform, OutputFormat::OfPreview(preview).decoder());
        const std::optional<Waveform::Overview> song =
            picture ? songPicture(source, length, pipes, [this] { return m_stopAnalyses.load(); }) : std::nullopt;
        QMetaObject::invokeMethod(this, [this, index, problem, song] { completed(index, problem, song); },
                                  Qt::QueuedConnection);
    });
}

void ParallelPreviews::completed(int index, const QString &waveformProblem, const std::optional<Waveform::Overview> &song)
{
    m_work[size_t(index)].analysing = false;
    --m_analysing;
    Result &result = m_results[index];
    if (m_settings.waveform && !m_settings.join) {
        result.wroteWaveform(waveformProblem, m_settings.waveform->format);
    }
    if (song)
        result.song = song;
    if (m_stopped || m_done)
        return;
    complete(index);
    pump();
}

void ParallelPreviews::complete(int index)
{
    // A dry run's file is planned, not made.
    if (!m_results[index].upToDate && !m_dryRun)
        return succeed(index);
    m_work[size_t(index)].step = Step::Done;
    ++m_finished;
    reportInOrder();
}
