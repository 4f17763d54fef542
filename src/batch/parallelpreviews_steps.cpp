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
    const QString capture = QString::fromUtf8(result.errorOutput);
    const QString bitrate = GetBitrate::BitrateFromCapture(capture, *m_settings.format);
    if (bitrate.isEmpty())
        return fail(index, PreviewCheck::ProbeProblem(m_results[index].source, result));
    if (!m_settings.join)
        m_results[index].unkeptRate = GetBitrate::UnkeptRateNote(capture, *m_settings.format);
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
    return m_cuts.atChorus(index) || m_settings.loudness ? Step::Analyse : Step::Cut;
}

void ParallelPreviews::cut(int index)
{
    if (!settleStart(index))
        return;
    Result &result = m_results[index];
    Work &work = m_work[size_t(index)];
    // A stretch the process holds is written into SoX by the process itself.
    if (const QString problem = PreviewSteps::ReadingProblem(m_tools, result.source); !problem.isEmpty() && !work.file.stretch())
        return fail(index, problem);
    if (m_dryRun) {
        setCutLine(index, result.preview);
        // Its line runs later: lumbrisk-cli decodes (and limits) the stretch into it as a run would.
        const QList<CommandLine> runs =
            work.file.stretchRuns(m_tools, QCoreApplication::applicationFilePath(), bitrateFor(index).toInt());
        if (work.file.usesLimiter())
            result.pipedFrom = runs;
        else if (!runs.isEmpty())
            result.decoder = runs.first();
        work.file.dropSamples();
        m_results[index].takeMade(work.file, m_cuts.share(index).has_value());
        // A review page of the plan shows its song's picture too.
        return completeMade(index);
    }
    QString writeTo = result.preview;
    work.file.length(); // read before SoX reads the source, so that the check sees a change
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
    const ToolPool::Input samples = work.file.feed().value_or(ToolPool::Input());
    launch(*result.command, [this, index](const RunResult &ended) { cutEnded(index, ended); }, index, result.decoder,
           samples, result.encoder);
}

// A preview's true peak is known only once it is encoded: the preview itself is measured, and
// cut again lower while it passes the ceiling (PreviewFile::takeTruePeak). Its true peak is
// what is measured and reported; its loudness stays the planned figure, which the encoder's
// loss allowance keeps within a few tenths of an LU. A join's pieces are encoded again in the
// joined file, so the joined file is measured instead.

// The measuring decodes the preview and oversamples its loudest stretches: on a thread of
// the pool, counted among the jobs, so that the other files' tools are followed meanwhile.
// The same decoding builds its waveform when one is asked for.
void ParallelPreviews::measureMade(int index, const QString &written, const QString &tags)
{
    const std::optional<Waveform::FileSettings> waveform = m_settings.waveform;
    onThread(index, [this, index, written, tags, waveform, seconds = m_cuts.duration(index)] {
        std::optional<Waveform::PassBuilder> builder;
        std::vector<Analysis::Analyzer *> others;
        if (waveform)
            others.push_back(&builder.emplace(waveform->channels));
        const std::optional<double> truePeak =
            DecodedAudio::MeasureTruePeak(written, seconds, OutputFormat::OfPreview(written).decoder(), others);
        std::optional<Waveform::Data> data;
        if (truePeak && builder)
            data = builder->finish();
        return Later([this, index, truePeak, data, tags] { measuredMade(index, truePeak, data, tags); });
    });
}

void ParallelPreviews::measuredMade(int index, std::optional<double> truePeak,
                                    const std::optional<Waveform::Data> &waveform, const QString &tags)
{
    Work &work = m_work[size_t(index)];
    const PreviewFile::Encoded encoded = truePeak ? work.file.takeTruePeak(*truePeak, work.file.encodingLoss(bitrateFor(index).toInt()))
                                                  : PreviewFile::Encoded::Kept;
    if (encoded == PreviewFile::Encoded::CutAgain) {
        work.output.reset();
        work.step = work.file.usesLimiter() ? Step::Limit : Step::Cut;
        m_waiting.insert(index);
    } else if (encoded == PreviewFile::Encoded::Kept) {
        work.waveform = waveform;
        keepCut(index, QString(), tags);
    } else {
        keepCut(index, PreviewFile::StillPassesCeiling(), tags);
    }
    pump();
}

void ParallelPreviews::cutEnded(int index, const RunResult &ended)
{
    Work &work = m_work[size_t(index)];
    const PreviewFile &file = work.file;
    // The check may ask FFmpeg about an unreadable source, while other tools end meanwhile.
    const auto check = [&](const QString &written) {
        return file.cutProblem(ended, work.decoder, written, m_tools.ffmpeg);
    };
    // A piece of a join needs no tags: the joined file gets them.
    const PreviewFile::Written written =
        work.output ? PreviewFile::Finish(work.output->path(), work.output->finalPath(),
                                          [&](const QString &path) { return file.tag(m_settings.tags, path); }, check)
                    : PreviewFile::Written{check(m_results[index].preview), QString()};
    if (m_stopped)
        return;
    if (written.problem.isEmpty() && file.measuresMade(bitrateFor(index).toInt()))
        return measureMade(index, work.output ? work.output->path() : m_results[index].preview, written.tagProblem);
    keepCut(index, written.problem, written.tagProblem);
}

void ParallelPreviews::keepCut(int index, QString problem, const QString &tags)
{
    Work &work = m_work[size_t(index)];
    work.file.dropSamples();
    m_results[index].takeMade(work.file, m_cuts.share(index).has_value());
    const QString written = work.output ? work.output->path() : m_results[index].preview;
    if (problem.isEmpty() && work.output)
        problem = m_results[index].commit(*work.output);
    work.output.reset();
    if (!problem.isEmpty()) {
        QFile::remove(written); // a piece; a temporary output is gone already
        return fail(index, problem);
    }
    m_results[index].tagProblem = tags;
    m_results[index].endsEarly = work.file.endsEarly(m_results[index].preview);
    completeMade(index);
}
