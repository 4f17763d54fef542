// The joined file's limiter, with --limit: the pieces are joined into floats with their gains
// and crossfades, measured in this process, and the true-peak limiter takes them down on a
// thread of the front end's until its gain brings them to the level wanted; SoX encodes the
// limited samples with that gain, once. The level wanted is the pieces' as joined, less what the
// encoding takes, and with previews taken as they are, what it takes again of them made up.
// One whose encoding still passes the ceiling is limited again, to a lower ceiling, as a
// preview is.
#include "preview/joinedfile.h"

#include "platform/shell32.h"
#include "preview/previewcheck.h"
#include "preview/previewcommands.h"

#include <cstring>

using Shell32::RunResult;

namespace {

// Its samples are held some six times over while they are limited, 2.3 MB a second: a longer
// sampler would take gigabytes, and is lowered as without the limiter.
constexpr double LongestLimitedSeconds = 600;

} // namespace

bool JoinedFile::joinsIntoFloats() const
{
    return m_settings.limit && m_settings.loudness && seconds() <= LongestLimitedSeconds;
}

void JoinedFile::joinFloats()
{
    const int rate = m_settings.format->sampleRateFor(m_bitrate);
    const CommandLine floats = spliced(PreviewCommands::JoinFloats(m_tools.sox, paths(), rate, gains()));
    m_run.launch({floats, std::nullopt, {}, std::nullopt},
                 [this](const RunResult &result, const std::optional<RunResult> &) { joinedFloats(result); });
}

void JoinedFile::joinedFloats(const RunResult &result)
{
    if (const QString problem = PreviewCheck::ToolProblem(result); !problem.isEmpty())
        return keep(result, problem);
    auto decoded = std::make_shared<DecodedAudio::Stretch>();
    decoded->rate = m_settings.format->sampleRateFor(m_bitrate);
    decoded->channels = PreviewCommands::Channels;
    decoded->samples.resize(size_t(result.output.size()) / sizeof(float));
    std::memcpy(decoded->samples.data(), result.output.constData(), decoded->samples.size() * sizeof(float));
    m_decoded = decoded;
    m_run.background([this, decoded] {
        const Loudness::Measurement measured = DecodedAudio::MeasureStretch(*decoded);
        return Later([this, measured] { measuredFloats(measured); });
    });
}

void JoinedFile::measuredFloats(const Loudness::Measurement &measured)
{
    if (!measured.integrated) { // silence has no level to limit to: joined as it is
        m_decoded.reset();
        return launchJoin();
    }
    const int kbps = m_bitrate.toInt();
    Loudness::Adjustment &loudness = m_joined.loudness.emplace();
    loudness.measured = measured;
    loudness.target = *m_settings.loudness;
    m_plan.encodingLoss = m_settings.format->encodingLoss(kbps);
    m_plan.measured = measured;
    Loudness::Measurement encoded = measured;
    *encoded.integrated -= m_plan.encodingLoss;
    m_plan.target = *encoded.integrated + retaken(encoded);
    m_plan.ceiling = Loudness::PeakCeiling - m_settings.format->peakMargin(kbps);
    m_plan.subsonicCutoff = m_settings.format->subsonicCutoff();
    limit();
}

// The first time it finds the gain; after that the gain stays and only the ceiling is lower.
void JoinedFile::limit()
{
    m_run.background([this, decoded = m_decoded, plan = m_plan, gain = m_joined.loudness->gain,
                      ceiling = m_limiterCeiling] {
        const LimitedStretch::Limited outcome =
            ceiling ? LimitedStretch::At(*decoded, plan, gain, *ceiling) : LimitedStretch::ToTarget(*decoded, plan);
        return Later([this, outcome] { limited(outcome); });
    });
}

void JoinedFile::limited(const LimitedStretch::Limited &outcome)
{
    Loudness::Adjustment &loudness = *m_joined.loudness;
    loudness.gain = outcome.gain;
    loudness.heldBack = outcome.gain < 0;
    // A sampler whose peaks stayed below the ceiling was not limited.
    loudness.limited = outcome.deepestCut > 0 ? std::optional(outcome.deepestCut) : std::nullopt;
    m_limiterCeiling = outcome.limiterCeiling;
    m_limited = outcome.stretch;
    launchJoin();
}
