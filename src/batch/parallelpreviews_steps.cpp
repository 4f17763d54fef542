// The steps of one file that run tools: its probe and its cut (its analysis: _analysis).
#include "batch/parallelwork.h"

#include "platform/main.h"
#include "platform/shell32.h"
#include "preview/getbitrate.h"
#include "analysis/audiolength.h"
#include "analysis/decodedaudio.h"
#include "preview/previewcheck.h"
#include "preview/previewcommands.h"
#include "preview/previewfiles.h"

#include <QCoreApplication>
#include <QFile>

using Shell32::RunResult;

void ParallelPreviews::probe(int index)
{
    launch(GetBitrate::ProbeCommand(m_tools.ffmpeg, m_results[index].source),
           [this, index](const RunResult &result) { probed(index, result); }, index);
}

void ParallelPreviews::probed(int index, const RunResult &result)
{
    const QString bitrate =
        GetBitrate::BitrateFromCapture(QString::fromUtf8(result.errorOutput), *m_settings.format);
    if (bitrate.isEmpty())
        return fail(index, PreviewCheck::ProbeProblem(m_results[index].source, result));
    m_work[size_t(index)].bitrate = bitrate;
    m_work[size_t(index)].step = stepAfterProbe(index);
    m_waiting.insert(index);
    if (!m_settings.join)
        return;
    m_joinBitrate = bitrate;
    for (size_t other = 0; other < m_work.size(); ++other) {
        if (m_work[other].step == Step::Probe)
            m_work[other].step = stepAfterProbe(int(other));
    }
}

ParallelPreviews::Step ParallelPreviews::stepAfterProbe(int index) const
{
    return needsAnalysis(index) ? Step::Analyse : Step::Cut;
}

void ParallelPreviews::cut(int index)
{
    if (!settleStart(index))
        return;
    Result &result = m_results[index];
    Work &work = m_work[size_t(index)];
    // A stretch the process holds is written into SoX by the process itself.
    if (const QString problem = PreviewSteps::ReadingProblem(m_tools, result.source); !problem.isEmpty() && !work.stretch)
        return fail(index, problem);
    if (m_dryRun) {
        setCutLine(index, result.preview);
        // Its line runs later: lumbrisk-cli decodes (and limits) the stretch into it as a run would.
        if (work.decoded)
            result.pipedFrom = limitedLine(index);
        else if (work.stretch)
            result.decoder = PreviewCommands::DecodedStretch(QCoreApplication::applicationFilePath(), result.source,
                                                             work.start, PreviewCommands::SecondsText(m_cuts.duration(index)));
        work.stretch.reset();
        work.decoded.reset();
        // A review page of the plan shows its song's picture too.
        return completeMade(index);
    }
    QString writeTo = result.preview;
    sourceLength(index); // read before SoX reads the source, so the check sees a change
    if (!m_settings.join) {
        if (const QString problem = prepareFolder(result); !problem.isEmpty())
            return fail(index, problem);
        m_sweep.removeFrom(Main::FolderOf(result.preview));
        work.output = std::make_unique<PreviewFiles::TemporaryOutput>(result.preview, work.earlier);
        if (!work.output->created())
            return fail(index, work.output->problem());
        writeTo = work.output->path();
    }
    setCutLine(index, writeTo);
    const ToolPool::Input samples =
        work.stretch ? ToolPool::Input{DecodedAudio::WaveHeaderOf(*work.stretch), {work.stretch, &work.stretch->samples}}
                     : ToolPool::Input();
    launch(*result.command, [this, index](const RunResult &ended) { cutEnded(index, ended); }, index, result.decoder,
           samples, result.encoder);
}

// LAME's overshoot comes after the gain, so a preview's true peak is known only once it is
// encoded: the preview itself is measured, and cut again with its gain lowered by the excess
// while it passes the ceiling; one that still does after MostRecuts fails rather than pass it.
// Its true peak is what is measured and reported; its loudness stays the planned figure,
// which the encoder's loss allowance keeps within a few tenths of an LU. A join's pieces are
// encoded again in the joined file, so the joined file is measured instead.
using ParallelWork::MostRecuts;

// The measuring decodes the preview and oversamples its loudest stretches: on a thread of
// the pool, counted among the jobs, so that the other files' tools are followed meanwhile.
// The same decoding builds its waveform when one is asked for.
void ParallelPreviews::measureMade(int index, const QString &written, const QString &tags)
{
    m_work[size_t(index)].analysing = true;
    ++m_analysing;
    const std::optional<Waveform::FileSettings> waveform = m_settings.waveform;
    m_analyses.start([this, index, written, tags, waveform, seconds = m_cuts.duration(index)] {
        std::optional<Waveform::PassBuilder> builder;
        std::vector<Analysis::Analyzer *> others;
        if (waveform)
            others.push_back(&builder.emplace(waveform->channels));
        const std::optional<double> truePeak =
            DecodedAudio::MeasureTruePeak(written, seconds, OutputFormat::OfPreview(written).decoder(), others);
        std::optional<Waveform::Data> data;
        if (truePeak && builder)
            data = builder->finish();
        QMetaObject::invokeMethod(
            this, [this, index, truePeak, data, tags] { measuredMade(index, truePeak, data, tags); },
            Qt::QueuedConnection);
    });
}

void ParallelPreviews::measuredMade(int index, std::optional<double> truePeak,
                                    const std::optional<Waveform::Data> &waveform, const QString &tags)
{
    Work &work = m_work[size_t(index)];
    work.analysing = false;
    --m_analysing;
    if (m_stopped || m_done)
        return;
    if (!truePeak || !passesCeiling(index, *truePeak)) {
        work.waveform = waveform;
        keepCut(index, QString(), tags);
    } else if (work.recuts < MostRecuts) {
        const double excess = *truePeak - Loudness::PeakCeiling;
        if (work.decoded)
            lowerCeiling(index, excess);
        else
            lowerGain(index, excess);
        work.output.reset();
        work.step = work.decoded ? Step::Limit : Step::Cut;
        m_waiting.insert(index);
    } else {
        keepCut(index, ParallelWork::StillPassesCeiling(), tags);
    }
    pump();
}

bool ParallelPreviews::passesCeiling(int index, double truePeak)
{
    m_results[index].loudness->truePeak = truePeak;
    return truePeak > Loudness::PeakCeiling;
}

void ParallelPreviews::lowerGain(int index, double excess)
{
    Loudness::Adjustment &loudness = *m_results[index].loudness;
    loudness.gain = ParallelWork::LoweredGain(loudness.gain, excess);
    loudness.result = Loudness::PlannedResult(loudness.measured, loudness.gain, m_loudness.encodingLoss(bitrateFor(index).toInt()));
    loudness.heldBack = true;
    ++m_work[size_t(index)].recuts;
}

// The gain stays: the limiter takes the peaks further down instead. It leaves many peaks at
// its ceiling, and the encoder's overshoot varies from one to the next by tenths of a dB, so
// the ceiling goes down by twice the excess.
void ParallelPreviews::lowerCeiling(int index, double excess)
{
    Work &work = m_work[size_t(index)];
    work.limiterCeiling = ParallelWork::LoweredGain(*work.limiterCeiling, 2 * excess);
    ++work.recuts;
}

void ParallelPreviews::cutEnded(int index, const RunResult &ended)
{
    Work &work = m_work[size_t(index)];
    const QString source = m_results[index].source;
    const QString written = work.output ? work.output->path() : m_results[index].preview;
    // Before the check, so that the check sees the file as it will be kept. A piece of a
    // join needs no tags: the joined file gets them.
    const QString tags = work.output ? PreviewSteps::Tag(m_settings.tags, source, written, markText(index, written))
                                     : QString();
    // The check may ask FFmpeg about an unreadable source, while other tools end meanwhile.
    const QString problem =
        PreviewSteps::CutProblem(ended, work.decoder, written, cutOf(index), sourceLength(index), m_tools.ffmpeg);
    if (m_stopped)
        return;
    const std::optional<Loudness::Adjustment> &loudness = m_results[index].loudness;
    if (problem.isEmpty() && loudness && m_loudness.measuresMade(*loudness, bitrateFor(index).toInt()))
        return measureMade(index, written, tags);
    keepCut(index, problem, tags);
}

void ParallelPreviews::keepCut(int index, QString problem, const QString &tags)
{
    Work &work = m_work[size_t(index)];
    work.stretch.reset();
    work.decoded.reset();
    const QString written = work.output ? work.output->path() : m_results[index].preview;
    if (problem.isEmpty() && work.output)
        problem = ParallelWork::Commit(m_results[index], *work.output);
    work.output.reset();
    if (!problem.isEmpty()) {
        QFile::remove(written); // a piece; a temporary output is gone already
        return fail(index, problem);
    }
    m_results[index].tagProblem = tags;
    m_results[index].endsEarly = PreviewCheck::EndsEarly(work.start.toDouble(), m_cuts.duration(index), sourceLength(index),
                                                         m_results[index].preview);
    completeMade(index);
}
