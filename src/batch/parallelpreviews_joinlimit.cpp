// The join's limiter, with --limit: the pieces are joined into floats with their gains and
// crossfades, measured in this process, and the true-peak limiter takes them down on a thread
// of the pool (counted among the jobs) until its gain brings them to the level wanted; SoX
// encodes the limited samples with that gain, once. The level wanted is the pieces' as
// joined, less what the encoding takes, and with previews taken as they are, what it takes
// again of them made up. One whose encoding still passes the ceiling is limited again, to a
// lower ceiling, as a preview is.

#include "batch/parallelwork.h"

#include "preview/previewcheck.h"
#include "preview/previewcommands.h"

#include <cstring>

using Shell32::RunResult;

namespace {

// Its samples are held some six times over while they are limited, 2.3 MB a second: a longer
// sampler would take gigabytes, and is lowered as without the limiter.
constexpr double LongestLimitedSeconds = 600;

} // namespace

bool ParallelPreviews::joinsIntoFloats() const
{
    return m_settings.limit && m_settings.loudness && joinedSeconds() <= LongestLimitedSeconds;
}

void ParallelPreviews::joinFloats()
{
    const int rate = m_settings.format->sampleRateFor(bitrateFor(0));
    const CommandLine floats =
        spliced(PreviewCommands::JoinFloats(m_tools.sox, m_joinWork.pieces, rate, m_joinWork.pieceGains));
    launch(floats, [this](const RunResult &result) { joinedFloats(result); });
}

void ParallelPreviews::joinedFloats(const RunResult &result)
{
    if (const QString problem = PreviewCheck::ToolProblem(result); !problem.isEmpty())
        return keepJoined(result, problem);
    auto decoded = std::make_shared<DecodedAudio::Stretch>();
    decoded->rate = m_settings.format->sampleRateFor(bitrateFor(0));
    decoded->channels = PreviewCommands::Channels;
    decoded->samples.resize(size_t(result.output.size()) / sizeof(float));
    std::memcpy(decoded->samples.data(), result.output.constData(), decoded->samples.size() * sizeof(float));
    m_joinWork.decoded = decoded;
    ++m_analysing;
    m_analyses.start([this, decoded] {
        const Loudness::Measurement measured = DecodedAudio::MeasureStretch(*decoded);
        QMetaObject::invokeMethod(this, [this, measured] { measuredFloats(measured); }, Qt::QueuedConnection);
    });
}

void ParallelPreviews::measuredFloats(const Loudness::Measurement &measured)
{
    --m_analysing;
    if (m_stopped || m_done)
        return;
    if (!measured.integrated) { // silence has no level to limit to: joined as it is
        m_joinWork.decoded.reset();
        return launchJoin();
    }
    const int kbps = bitrateFor(0).toInt();
    Loudness::Adjustment &loudness = m_joined->loudness.emplace();
    loudness.measured = measured;
    loudness.target = *m_settings.loudness;
    LimitedStretch::Plan &plan = m_joinWork.plan;
    plan.encodingLoss = m_settings.format->encodingLoss(kbps);
    plan.measured = measured;
    Loudness::Measurement encoded = measured;
    *encoded.integrated -= plan.encodingLoss;
    plan.target = *encoded.integrated + retaken(encoded);
    plan.ceiling = Loudness::PeakCeiling - m_settings.format->peakMargin(kbps);
    plan.subsonicCutoff = m_settings.format->subsonicCutoff();
    limitJoin();
}

// The first time it finds the gain; after that the gain stays and only the ceiling is lower.
void ParallelPreviews::limitJoin()
{
    ++m_analysing;
    m_analyses.start([this, decoded = m_joinWork.decoded, plan = m_joinWork.plan, gain = m_joined->loudness->gain,
                      ceiling = m_joinWork.limiterCeiling] {
        const LimitedStretch::Limited outcome =
            ceiling ? LimitedStretch::At(*decoded, plan, gain, *ceiling) : LimitedStretch::ToTarget(*decoded, plan);
        QMetaObject::invokeMethod(this, [this, outcome] { limitedJoin(outcome); }, Qt::QueuedConnection);
    });
}

void ParallelPreviews::limitedJoin(const LimitedStretch::Limited &outcome)
{
    --m_analysing;
    if (m_stopped || m_done)
        return;
    Loudness::Adjustment &loudness = *m_joined->loudness;
    loudness.gain = outcome.gain;
    loudness.heldBack = outcome.gain < 0;
    // A sampler whose peaks stayed below the ceiling was not limited.
    loudness.limited = outcome.deepestCut > 0 ? std::optional(outcome.deepestCut) : std::nullopt;
    m_joinWork.limiterCeiling = outcome.limiterCeiling;
    m_joinWork.limited = outcome.stretch;
    launchJoin();
}
