// The join: the pieces cut into the work folder (with update, also songs' own previews taken
// as they are), made into one file by one SoX run; with subfolders, one file in each, one
// after another. With a loudness target the joined file is measured once encoded: its
// crossfades add the pieces up and its encoding overshoots again, so only then is its true
// peak known. While it passes the ceiling, it is joined again, lowered as a whole; one of
// previews taken as they are is joined again once raised by what its encoding took of them,
// as far as its peaks leave room. With the limiter, the pieces go through it on their way
// to the one encoding instead (parallelpreviews_joinlimit.cpp).
#include "batch/parallelwork.h"

#include "platform/main.h"
#include "platform/shell32.h"
#include "preview/outputformat.h"
#include "analysis/decodedaudio.h"
#include "preview/previewcheck.h"
#include "preview/previewcommands.h"
#include "preview/previewfiles.h"
#include "preview/previewmark.h"

#include <algorithm>
#include <cmath>
#include <numeric>

using Shell32::RunResult;

namespace {

// Without the limiter, as far as its peaks leave room.
double madeUp(const Loudness::Measurement &measured, double lacking)
{
    const double room = Loudness::PeakCeiling - measured.truePeak - ParallelWork::RecutStep;
    const double raise = std::floor(std::min(lacking, room) * 100) / 100;
    return raise >= 2 * ParallelWork::RecutStep ? raise : 0;
}

} // namespace

// A preview taken as its piece was made for one encoding: the join's takes a little of its
// loudness again.
double ParallelPreviews::retaken(const Loudness::Measurement &encoded) const
{
    const bool taken = std::any_of(m_joinWork.songs.cbegin(), m_joinWork.songs.cend(),
                                   [this](int index) { return m_results[index].pieceTaken; });
    if (!taken || !encoded.integrated)
        return 0;
    return std::clamp(*m_settings.loudness - *encoded.integrated, 0.0, m_settings.format->encodingLoss(bitrateFor(0).toInt()));
}

bool ParallelPreviews::ofJoin(int index, int number) const
{
    return m_joinFolders.size() == 1 || m_subfolders.value(index) == m_joinFolders.at(number);
}

void ParallelPreviews::join()
{
    if (const std::optional<PreviewMark::Record> kept = m_keptJoins.value(m_joinNumber)) {
        takeRecordedJoin(*kept);
        return endJoin();
    }
    m_joinWork = JoinWork();
    QStringList sources;
    for (int index = 0; index < total(); ++index) {
        const Result &result = m_results[index];
        if (!ofJoin(index, m_joinNumber) || !(result.made || result.pieceTaken || (m_dryRun && result.reason.isEmpty())))
            continue;
        m_joinWork.songs.append(index);
        m_joinWork.pieces.append(result.preview);
        m_joinWork.pieceGains.append(m_work[size_t(index)].pieceGain);
        sources.append(result.source);
        // A dry run has no pieces yet: each is planned to last its duration.
        const bool planned = m_dryRun && !result.pieceTaken;
        const OutputFormat &format = OutputFormat::OfPreview(result.preview);
        m_joinWork.pieceSeconds.append(planned ? m_cuts.duration(index) : format.soxSeconds(result.preview).value_or(0));
    }
    if (m_joinWork.pieces.isEmpty())
        m_joined->reason = QStringLiteral("none of the previews could be made");
    else if (m_names.isSource(m_joined->preview))
        m_joined->reason = QStringLiteral("it is a file of the list, so the previews were not joined");
    else if (m_settings.crossfade > 0)
        m_joined->reason = PreviewCheck::CrossfadeProblem(m_joinWork.pieceSeconds, sources, m_settings.crossfade);
    if (m_joined->reason.isEmpty())
        m_joined->reason = prepareFolder(*m_joined);
    if (!m_joined->reason.isEmpty() || m_dryRun) {
        if (m_dryRun && m_joined->reason.isEmpty()) {
            m_joined->command = joinCommand(m_joined->preview);
            m_joined->encoder = PreviewCommands::Encode(m_tools.ffmpeg, bitrateFor(0), m_joined->preview);
        }
        return endJoin();
    }
    m_sweep.removeFrom(Main::FolderOf(m_joined->preview));
    m_joinedOutput = std::make_unique<PreviewFiles::TemporaryOutput>(m_joined->preview, m_joinsEarlier.at(m_joinNumber));
    if (!m_joinedOutput->created()) {
        m_joined->reason = m_joinedOutput->problem();
        return endJoin();
    }
    joinsIntoFloats() ? joinFloats() : launchJoin();
}

void ParallelPreviews::launchJoin()
{
    m_joined->command = joinCommand(m_joinedOutput->path());
    m_joined->encoder = PreviewCommands::Encode(m_tools.ffmpeg, bitrateFor(0), m_joinedOutput->path());
    ToolPool::Input input;
    if (const std::shared_ptr<const DecodedAudio::Stretch> &limited = m_joinWork.limited)
        input = {DecodedAudio::WaveHeaderOf(*limited), {limited, &limited->samples}};
    launch(*m_joined->command, [this](const RunResult &result) { joinEnded(result); }, -1, std::nullopt, input,
           m_joined->encoder);
}

void ParallelPreviews::joinEnded(const RunResult &result)
{
    if (m_settings.loudness && PreviewCheck::ToolProblem(result).isEmpty())
        return measureJoined(result);
    keepJoined(result);
}

double ParallelPreviews::joinedSeconds() const
{
    const QList<double> &pieces = m_joinWork.pieceSeconds;
    const double overlaps = m_settings.crossfade * double(std::max<qsizetype>(pieces.size() - 1, 0));
    return std::accumulate(pieces.cbegin(), pieces.cend(), 0.0) - overlaps;
}

// On a thread of the pool, counted among the jobs: a sampler is minutes of audio to decode
// and oversample. Measured for as long as it lasts: one of a usual length is kept whole while
// it is measured, and its true peak looked for only where it can lie.
void ParallelPreviews::measureJoined(const RunResult &result)
{
    ++m_analysing;
    m_analyses.start([this, result, written = m_joinedOutput->path(), seconds = joinedSeconds()] {
        const std::optional<Loudness::Measurement> measured = DecodedAudio::MeasureLoudness(written, seconds, OutputFormat::OfPreview(written).decoder());
        QMetaObject::invokeMethod(this, [this, result, measured] { measuredJoined(result, measured); },
                                  Qt::QueuedConnection);
    });
}

// The joined file's loudness tells what it has: as first joined (measured), the level it was
// lowered by (gain), and as kept (result, truePeak).
void ParallelPreviews::measuredJoined(const RunResult &result, const std::optional<Loudness::Measurement> &measured)
{
    --m_analysing;
    if (m_stopped || m_done)
        return;
    if (!measured) // the check says why it cannot be read
        return keepJoined(result);
    std::optional<Loudness::Adjustment> &loudness = m_joined->loudness;
    if (!loudness) {
        loudness.emplace();
        loudness->measured = *measured;
        loudness->target = *m_settings.loudness;
    }
    loudness->result = measured->integrated;
    loudness->truePeak = measured->truePeak;
    const bool first = m_joinWork.recuts == 0 && !m_joinWork.limiterCeiling;
    if (const double raise = first ? madeUp(*measured, retaken(*measured)) : 0) {
        loudness->gain = raise;
        ++m_joinWork.recuts;
        return launchJoin();
    }
    if (measured->truePeak <= Loudness::PeakCeiling)
        return keepJoined(result);
    if (m_joinWork.recuts >= ParallelWork::MostRecuts)
        return keepJoined(result, ParallelWork::StillPassesCeiling());
    const double excess = measured->truePeak - Loudness::PeakCeiling;
    if (m_joinWork.limiterCeiling) {
        // As a preview's: the gain stays, and the limiter's ceiling goes down by twice the excess.
        m_joinWork.limiterCeiling = ParallelWork::LoweredGain(*m_joinWork.limiterCeiling, 2 * excess);
        ++m_joinWork.recuts;
        return limitJoin();
    }
    loudness->gain = ParallelWork::LoweredGain(loudness->gain, excess);
    loudness->heldBack = loudness->gain < 0;
    ++m_joinWork.recuts;
    launchJoin();
}

void ParallelPreviews::keepJoined(const RunResult &result, QString problem)
{
    const QString written = m_joinedOutput->path();
    const QString mark = joinedMark(written);
    const QString tags = PreviewSteps::TagJoined(m_settings.tags, sourcesOf(m_joinWork.songs), written, mark);
    if (problem.isEmpty())
        problem = PreviewCheck::JoinProblem(result, written, m_joinWork.pieces, m_settings.crossfade);
    if (problem.isEmpty())
        problem = ParallelWork::Commit(*m_joined, *m_joinedOutput);
    m_joinedOutput.reset();
    m_joinWork.decoded.reset(); // a long sampler's samples: its file is all that is needed now
    m_joinWork.limited.reset();
    m_joined->made = problem.isEmpty();
    m_joined->reason = problem;
    m_joined->tagProblem = m_joined->made ? tags : QString();
    writeJoinedWaveform();
    endJoin();
}

CommandLine ParallelPreviews::joinCommand(const QString &writeTo) const
{
    const QString bitrate = bitrateFor(0);
    // The limited floats are joined already: encoded as they are, to the sample.
    const std::shared_ptr<const DecodedAudio::Stretch> &limited = m_joinWork.limited;
    const QString samples = limited ? QString::number(limited->frames()) + QLatin1Char('s') : QString();
    CommandLine command = limited ? PreviewCommands::CutStretch(m_tools.sox, bitrate, writeTo, samples)
                                  : spliced(PreviewCommands::Join(m_tools.sox, m_joinWork.pieces, bitrate, writeTo,
                                                                  m_joinWork.pieceGains));
    // After the splices: the overlaps are what passes the ceiling.
    if (m_joined->loudness && m_joined->loudness->gain != 0)
        command.plain(QStringLiteral(" gain ") + PreviewCommands::SoxNumber(m_joined->loudness->gain));
    return command;
}

CommandLine ParallelPreviews::spliced(CommandLine join) const
{
    if (m_settings.crossfade > 0)
        join.plain(PreviewCommands::CrossfadeSplices(m_joinWork.pieceSeconds, m_settings.crossfade));
    return join;
}

QString ParallelPreviews::pieceFolder() const
{
    return m_workFolder ? m_workFolder->path() : QString();
}

QString ParallelPreviews::joinedPath(int number) const
{
    const QString folder = m_settings.outputFolder.isEmpty() && total() > 0 ? Main::FolderOf(m_results.first().source)
                                                                           : m_settings.outputFolder;
    // A file without Lumbrisk's mark under the joined file's name is left alone.
    const QString joinFolder = folder + QLatin1Char('/') + m_joinFolders.at(number);
    return PreviewCommands::FreePath(PreviewCommands::JoinedPath(joinFolder, *m_settings.format),
                                     PreviewMark::IsUnmarkedFile);
}

void ParallelPreviews::beginJoin(int number)
{
    m_joinNumber = number;
    Result joined;
    joined.preview = joinedPath(number);
    m_joined = joined;
}

void ParallelPreviews::endJoin()
{
    m_joins.append(*m_joined);
    emit joinedReady();
    if (m_stopped || m_joinNumber + 1 >= m_joinFolders.size())
        return finish();
    beginJoin(m_joinNumber + 1);
    join();
}
