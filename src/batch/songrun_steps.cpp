// The steps of a song that run tools: its probe and its cut, and the measuring of what the
// cut made (its analysis: _analysis).
#include "batch/songrun.h"

#include "analysis/decodedaudio.h"
#include "platform/main.h"
#include "platform/shell32.h"
#include "preview/getbitrate.h"
#include "preview/outputformat.h"
#include "preview/previewcheck.h"

#include <QCoreApplication>
#include <QFile>

using Shell32::RunResult;

void SongRun::probe()
{
    m_batch->launch({GetBitrate::ProbeCommand(m_batch->tools.ffmpeg, result().source)},
                    [this](const RunResult &ended) { probed(ended); }, m_index);
}

void SongRun::probed(const RunResult &ended)
{
    const PreviewSettings &settings = m_batch->settings;
    const QString capture = QString::fromUtf8(ended.errorOutput);
    const QString bitrate = GetBitrate::BitrateFromCapture(capture, *settings.format);
    if (bitrate.isEmpty())
        return fail(PreviewCheck::ProbeProblem(result().source, ended));
    if (!settings.join)
        result().unkeptRate = GetBitrate::UnkeptRateNote(capture, *settings.format);
    m_bitrate = bitrate;
    m_step = stepAfterProbe();
    m_batch->ready(m_index);
    if (settings.join)
        m_batch->joinRateFound(bitrate);
}

void SongRun::cut()
{
    if (!settleStart())
        return;
    PreviewResult &result = this->result();
    // A stretch the process holds is written into SoX by the process itself.
    if (const QString problem = PreviewSteps::ReadingProblem(m_batch->tools, result.source);
        !problem.isEmpty() && !m_file.stretch())
        return fail(problem);
    if (m_batch->dryRun) {
        setCutLine(result.preview);
        // Its line runs later: lumbrisk-cli decodes (and limits) the stretch into it as a run would.
        const QList<CommandLine> runs =
            m_file.stretchRuns(m_batch->tools, QCoreApplication::applicationFilePath(), bitrate().toInt());
        if (m_file.usesLimiter())
            result.pipedFrom = runs;
        else if (!runs.isEmpty())
            result.decoder = runs.first();
        m_file.dropSamples();
        result.takeMade(m_file, m_batch->cuts.share(m_index).has_value());
        // A review page of the plan shows its song's picture too.
        return completeMade();
    }
    QString writeTo = result.preview;
    m_file.length(); // read before SoX reads the source, so that the check sees a change
    if (!m_batch->settings.join) {
        if (const QString problem = m_batch->prepareFolder(result); !problem.isEmpty())
            return fail(problem);
        m_batch->sweep.removeFrom(Main::FolderOf(result.preview));
        m_output = std::make_unique<PreviewFiles::TemporaryOutput>(result.preview, m_earlier);
        if (!m_output->created())
            return fail(m_output->problem());
        writeTo = m_output->path();
    }
    setCutLine(writeTo);
    const ToolRun run{*result.command, result.decoder, m_file.feed().value_or(SampleFeed::Input()), result.encoder};
    m_batch->launch(run, [this](const RunResult &ended) { cutEnded(ended); }, m_index);
}

void SongRun::cutEnded(const RunResult &ended)
{
    // The check may ask FFmpeg about an unreadable source, while other tools end meanwhile.
    const auto check = [&](const QString &written) {
        return m_file.cutProblem(ended, m_decoder, written, m_batch->tools.ffmpeg);
    };
    // A piece of a join needs no tags: the joined file gets them.
    const PreviewFile::Written written =
        m_output ? PreviewFile::Finish(m_output->path(), m_output->finalPath(),
                                       [&](const QString &path) { return m_file.tag(m_batch->settings.tags, path); },
                                       check)
                 : PreviewFile::Written{check(result().preview), QString()};
    if (m_batch->stopped)
        return;
    if (written.problem.isEmpty() && m_file.measuresMade(bitrate().toInt()))
        return measureMade(this->written(), written.tagProblem);
    keepCut(written.problem, written.tagProblem);
}

// A preview's true peak is known only once it is encoded: the preview itself is measured, and
// cut again lower while it passes the ceiling (PreviewFile::takeTruePeak). Its true peak is
// what is measured and reported; its loudness stays the planned figure, which the encoder's
// loss allowance keeps within a few tenths of an LU. A join's pieces are encoded again in the
// joined file, so the joined file is measured instead.

// The measuring decodes the preview and oversamples its loudest stretches: on a thread of
// the pool, counted among the jobs, so that the other songs' tools are followed meanwhile.
// The same decoding builds its waveform when one is asked for.
void SongRun::measureMade(const QString &written, const QString &tags)
{
    const std::optional<Waveform::FileSettings> waveform = m_batch->settings.waveform;
    m_batch->onThread(m_index, [this, written, tags, waveform, seconds = m_batch->cuts.duration(m_index)] {
        std::optional<Waveform::PassBuilder> builder;
        std::vector<Analysis::Analyzer *> others;
        if (waveform)
            others.push_back(&builder.emplace(waveform->channels));
        const std::optional<double> truePeak =
            DecodedAudio::MeasureTruePeak(written, seconds, OutputFormat::OfPreview(written).decoder(), others);
        std::optional<Waveform::Data> data;
        if (truePeak && builder)
            data = builder->finish();
        return BatchRun::Later([this, truePeak, data, tags] { measuredMade(truePeak, data, tags); });
    });
}

void SongRun::measuredMade(std::optional<double> truePeak, const std::optional<Waveform::Data> &waveform,
                           const QString &tags)
{
    const PreviewFile::Encoded encoded =
        truePeak ? m_file.takeTruePeak(*truePeak, m_file.encodingLoss(bitrate().toInt())) : PreviewFile::Encoded::Kept;
    if (encoded == PreviewFile::Encoded::CutAgain) {
        m_output.reset();
        m_step = m_file.usesLimiter() ? Step::Limit : Step::Cut;
        m_batch->ready(m_index);
    } else if (encoded == PreviewFile::Encoded::Kept) {
        m_waveform = waveform;
        keepCut(QString(), tags);
    } else {
        keepCut(PreviewFile::StillPassesCeiling(), tags);
    }
    m_batch->pump();
}

void SongRun::keepCut(QString problem, const QString &tags)
{
    m_file.dropSamples();
    PreviewResult &result = this->result();
    result.takeMade(m_file, m_batch->cuts.share(m_index).has_value());
    const QString written = this->written();
    if (problem.isEmpty() && m_output)
        problem = result.commit(*m_output);
    m_output.reset();
    if (!problem.isEmpty()) {
        QFile::remove(written); // a piece; a temporary output is gone already
        return fail(problem);
    }
    result.tagProblem = tags;
    result.endsEarly = m_file.endsEarly(result.preview);
    completeMade();
}
