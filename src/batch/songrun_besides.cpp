// What a preview gets besides itself: its waveform file, from one decode of the preview as
// published (gain and fades in it), or from the decode that measured its loudness; and, for
// a review page, a picture of its whole song when no analysis drew one, also for a dry run's
// page of its plan. Both take the processor, so they run on a thread of the pool, counted
// among the jobs; the preview counts as made meanwhile, and is done after them.
#include "batch/songrun.h"

#include "analysis/decodedaudio.h"
#include "analysis/pipedecode.h"
#include "preview/outputformat.h"

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

void SongRun::completeMade()
{
    const PreviewSettings &settings = m_batch->settings;
    PreviewResult &result = this->result();
    std::optional<Waveform::FileSettings> waveform = settings.join ? std::nullopt : settings.waveform;
    // A kept preview's waveform file is written again only when it is not what this run asks;
    // a dry run writes none.
    if (result.upToDate && waveform && Waveform::FileMatches(result.preview, *waveform)) {
        result.waveform = Waveform::PathBeside(result.preview, waveform->format);
        waveform.reset();
    }
    if (m_batch->dryRun)
        waveform.reset();
    const bool picture = settings.reviewPage && !result.song;
    if (!waveform && !picture)
        return complete();
    result.made = !result.upToDate && !m_batch->dryRun;
    const std::optional<AudioLength> length = picture ? m_file.length() : std::nullopt;
    const std::optional<SourceAnalysis::Pipes> pipes =
        picture ? PreviewSteps::AnalysisPipes(m_batch->tools, result.source, 0, m_batch->cuts.duration(m_index),
                                              m_file.songSeconds())
                : std::nullopt;
    std::optional<Waveform::Data> built = std::exchange(m_waveform, std::nullopt);
    m_batch->onThread(m_index, [this, waveform, built, picture, length, pipes, preview = result.preview,
                                source = result.source, stop = &m_batch->stopAnalyses] {
        QString problem;
        if (waveform)
            problem = built ? Waveform::WriteBeside(preview, *built, *waveform)
                            : Waveform::WriteBeside(preview, *waveform, OutputFormat::OfPreview(preview).decoder());
        const std::optional<Waveform::Overview> song =
            picture ? songPicture(source, length, pipes, [stop] { return stop->load(); }) : std::nullopt;
        return BatchRun::Later([this, problem, song] { completed(problem, song); });
    });
}

void SongRun::completed(const QString &waveformProblem, const std::optional<Waveform::Overview> &song)
{
    const PreviewSettings &settings = m_batch->settings;
    if (settings.waveform && !settings.join)
        result().wroteWaveform(waveformProblem, settings.waveform->format);
    if (song)
        result().song = song;
    complete();
    m_batch->pump();
}

void SongRun::complete()
{
    // A dry run's file is planned, not made.
    if (!result().upToDate && !m_batch->dryRun)
        return succeed();
    m_step = Step::Done;
    m_batch->done();
}
