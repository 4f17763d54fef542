// The pieces cut by the front end (with lumbrisk-cli's update, also songs' own previews
// taken as they are), made into one file by one SoX run. With a loudness target it is
// measured once encoded: its crossfades add the pieces up and its encoding overshoots again,
// so only then is its true peak known. While it passes the ceiling, it is joined again,
// lowered as a whole; one of previews taken as they are is joined again once raised by what
// its encoding took of them, as far as its peaks leave room. With the limiter, the pieces go
// through it on their way to the one encoding instead (joinedfile_limit.cpp).
#include "preview/joinedfile.h"

#include "platform/shell32.h"
#include "preview/outputformat.h"
#include "preview/previewcheck.h"
#include "preview/previewcommands.h"
#include "preview/previewfile.h"
#include "preview/previewrecord.h"
#include "preview/previewsteps.h"

#include <algorithm>
#include <cmath>
#include <numeric>

using Shell32::RunResult;

namespace {

// Without the limiter, as far as its peaks leave room.
double madeUp(const Loudness::Measurement &measured, double lacking)
{
    const double room = Loudness::PeakCeiling - measured.truePeak - PreviewFile::RecutStep;
    const double raise = std::floor(std::min(lacking, room) * 100) / 100;
    return raise >= 2 * PreviewFile::RecutStep ? raise : 0;
}

} // namespace

JoinedFile::JoinedFile(Tools::Found tools, const PreviewSettings &settings, PreviewResult &joined,
                       QList<Piece> pieces, QString bitrate, Run run)
    : m_tools(std::move(tools)),
      m_settings(settings),
      m_joined(joined),
      m_pieces(std::move(pieces)),
      m_bitrate(std::move(bitrate)),
      m_run(std::move(run))
{
}

QString JoinedFile::PathIn(const QString &folder, const OutputFormat &format)
{
    return PreviewCommands::FreePath(PreviewCommands::JoinedPath(folder, format), PreviewMark::IsUnmarkedFile);
}

QString JoinedFile::refusal(bool listed) const
{
    if (m_pieces.isEmpty())
        return QStringLiteral("none of the previews could be made");
    if (listed)
        return PreviewCheck::ListedJoinProblem();
    if (m_settings.crossfade > 0)
        return PreviewCheck::CrossfadeProblem(pieceSeconds(), sources(), m_settings.crossfade);
    return QString();
}

void JoinedFile::plan()
{
    m_joined.command = command(m_joined.preview);
    m_joined.encoder = PreviewCommands::Encode(m_tools.ffmpeg, m_bitrate, m_joined.preview);
}

void JoinedFile::make(const PreviewFiles::EarlierFile &earlier)
{
    m_output = std::make_unique<PreviewFiles::TemporaryOutput>(m_joined.preview, earlier);
    if (!m_output->created()) {
        m_joined.reason = m_output->problem();
        return end();
    }
    joinsIntoFloats() ? joinFloats() : launchJoin();
}

void JoinedFile::takeRecorded(const PreviewMark::Record &recorded, bool dryRun)
{
    m_joined.upToDate = true;
    if (m_settings.loudness)
        m_joined.loudness = PreviewRecord::RecordedLoudness(recorded, *m_settings.loudness);
    writeWaveform(dryRun);
}

void JoinedFile::discard()
{
    if (m_output)
        m_output->discard();
}

void JoinedFile::launchJoin()
{
    m_joined.command = command(m_output->path());
    m_joined.encoder = PreviewCommands::Encode(m_tools.ffmpeg, m_bitrate, m_output->path());
    SampleFeed::Input input;
    if (m_limited)
        input = {DecodedAudio::WaveHeaderOf(*m_limited), {m_limited, &m_limited->samples}};
    m_run.launch({*m_joined.command, std::nullopt, input, m_joined.encoder},
                 [this](const RunResult &result, const std::optional<RunResult> &) { joinEnded(result); });
}

void JoinedFile::joinEnded(const RunResult &result)
{
    if (m_settings.loudness && PreviewCheck::ToolProblem(result).isEmpty())
        return measure(result);
    keep(result);
}

double JoinedFile::seconds() const
{
    const QList<double> pieces = pieceSeconds();
    const double overlaps = m_settings.crossfade * double(std::max<qsizetype>(pieces.size() - 1, 0));
    return std::accumulate(pieces.cbegin(), pieces.cend(), 0.0) - overlaps;
}

// A sampler is minutes of audio to decode and oversample. Measured for as long as it lasts:
// one of a usual length is kept whole while it is measured, and its true peak looked for only
// where it can lie.
void JoinedFile::measure(const RunResult &result)
{
    m_run.background([this, result, written = m_output->path(), seconds = seconds()] {
        const std::optional<Loudness::Measurement> loudness =
            DecodedAudio::MeasureLoudness(written, seconds, OutputFormat::OfPreview(written).decoder());
        return Later([this, result, loudness] { measured(result, loudness); });
    });
}

// Its loudness tells what it has: as first joined (measured), the level it was lowered by
// (gain), and as kept (result, truePeak).
void JoinedFile::measured(const RunResult &result, const std::optional<Loudness::Measurement> &measured)
{
    if (!measured) // the check says why it cannot be read
        return keep(result);
    std::optional<Loudness::Adjustment> &loudness = m_joined.loudness;
    if (!loudness) {
        loudness.emplace();
        loudness->measured = *measured;
        loudness->target = *m_settings.loudness;
    }
    loudness->result = measured->integrated;
    loudness->truePeak = measured->truePeak;
    const bool first = m_recuts == 0 && !m_limiterCeiling;
    if (const double raise = first ? madeUp(*measured, retaken(*measured)) : 0) {
        loudness->gain = raise;
        ++m_recuts;
        return launchJoin();
    }
    if (measured->truePeak <= Loudness::PeakCeiling)
        return keep(result);
    if (m_recuts >= PreviewFile::MostRecuts)
        return keep(result, PreviewFile::StillPassesCeiling());
    const double excess = measured->truePeak - Loudness::PeakCeiling;
    if (m_limiterCeiling) {
        // As a preview's: the gain stays, and the limiter's ceiling goes down by twice the excess.
        m_limiterCeiling = PreviewFile::LoweredGain(*m_limiterCeiling, 2 * excess);
        ++m_recuts;
        return limit();
    }
    loudness->gain = PreviewFile::LoweredGain(loudness->gain, excess);
    loudness->heldBack = loudness->gain < 0;
    ++m_recuts;
    launchJoin();
}

void JoinedFile::keep(const RunResult &result, QString problem)
{
    // As a song's preview: tagged, then checked, and told of by its own name.
    const PreviewFile::Written written = PreviewFile::Finish(
        m_output->path(), m_output->finalPath(),
        [this](const QString &path) { return PreviewSteps::TagJoined(m_settings.tags, sources(), path, mark(path)); },
        [&](const QString &path) {
            return problem.isEmpty() ? PreviewCheck::JoinProblem(result, path, paths(), m_settings.crossfade) : problem;
        });
    problem = written.problem.isEmpty() ? m_joined.commit(*m_output) : written.problem;
    m_output.reset();
    m_decoded.reset(); // a long sampler's samples: its file is all that is needed now
    m_limited.reset();
    m_joined.made = problem.isEmpty();
    m_joined.reason = problem;
    m_joined.tagProblem = m_joined.made ? written.tagProblem : QString();
    writeWaveform(false);
    end();
}

// The front end may let this go as it hears of the end, so nothing here is touched after it.
void JoinedFile::end()
{
    const std::function<void()> ended = m_run.ended;
    ended();
}

QString JoinedFile::mark(const QString &written) const
{
    QList<std::optional<PreviewMark::Record>> songs;
    QList<double> starts;
    for (const Piece &piece : m_pieces) {
        songs.append(piece.wanted);
        starts.append(piece.start);
    }
    return PreviewRecord::JoinedMarkText(songs, sources(), starts, m_settings.crossfade, m_settings.loudness,
                                         m_joined.loudness, written);
}

QStringList JoinedFile::sources() const
{
    QStringList sources;
    for (const Piece &piece : m_pieces)
        sources.append(piece.source);
    return sources;
}

QStringList JoinedFile::paths() const
{
    QStringList paths;
    for (const Piece &piece : m_pieces)
        paths.append(piece.path);
    return paths;
}

QList<double> JoinedFile::pieceSeconds() const
{
    QList<double> seconds;
    for (const Piece &piece : m_pieces)
        seconds.append(piece.seconds);
    return seconds;
}

QList<double> JoinedFile::gains() const
{
    QList<double> gains;
    for (const Piece &piece : m_pieces)
        gains.append(piece.gain);
    return gains;
}

CommandLine JoinedFile::command(const QString &writeTo) const
{
    // The limited floats are joined already: encoded as they are, to the sample.
    const QString samples = m_limited ? QString::number(m_limited->frames()) + QLatin1Char('s') : QString();
    CommandLine command = m_limited ? PreviewCommands::CutStretch(m_tools.sox, m_bitrate, writeTo, samples)
                                    : spliced(PreviewCommands::Join(m_tools.sox, paths(), m_bitrate, writeTo, gains()));
    // After the splices: the overlaps are what passes the ceiling.
    if (m_joined.loudness && m_joined.loudness->gain != 0)
        command.plain(QStringLiteral(" gain ") + PreviewCommands::SoxNumber(m_joined.loudness->gain));
    return command;
}

CommandLine JoinedFile::spliced(CommandLine join) const
{
    if (m_settings.crossfade > 0)
        join.plain(PreviewCommands::CrossfadeSplices(pieceSeconds(), m_settings.crossfade));
    return join;
}

// A preview taken as its piece was made for one encoding: the join's takes a little of its
// loudness again.
double JoinedFile::retaken(const Loudness::Measurement &encoded) const
{
    const bool taken = std::any_of(m_pieces.cbegin(), m_pieces.cend(), [](const Piece &piece) { return piece.taken; });
    if (!taken || !encoded.integrated)
        return 0;
    return std::clamp(*m_settings.loudness - *encoded.integrated, 0.0,
                      m_settings.format->encodingLoss(m_bitrate.toInt()));
}

// The joined file is the last work of the run, so it is written here, at its end. A kept
// one's is written again only when it is not what this run asks; a dry run writes none.
void JoinedFile::writeWaveform(bool dryRun)
{
    if (!m_settings.waveform || !(m_joined.made || m_joined.upToDate))
        return;
    const Waveform::FileSettings &waveform = *m_settings.waveform;
    if (m_joined.upToDate && Waveform::FileMatches(m_joined.preview, waveform)) {
        m_joined.waveform = Waveform::PathBeside(m_joined.preview, waveform.format);
        return;
    }
    if (dryRun)
        return;
    const QString &joined = m_joined.preview;
    m_joined.wroteWaveform(Waveform::WriteBeside(joined, waveform, OutputFormat::OfPreview(joined).decoder()),
                           waveform.format);
}
