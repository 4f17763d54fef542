// The join's limiter, with --limit: a joined file whose make-up would lift its peaks past the
// ceiling, or whose encoding passes it, keeps its level where a plain gain would have to be
// lowered. Its pieces are joined again into floats, which the true-peak limiter takes down on
// a thread of the pool (counted among the jobs) until its gain brings them to the level
// wanted; SoX encodes the limited samples with that gain. One whose encoding still passes the
// ceiling is limited again, to a lower ceiling, as a preview is.

#include "batch/parallelwork.h"

#include "preview/previewcheck.h"
#include "preview/previewcommands.h"

#include <cstring>
#include <numeric>

using Shell32::RunResult;

namespace {

// Its samples are held some six times over while they are limited, 2.3 MB a second: a longer
// sampler would take gigabytes, and is lowered as without the limiter.
constexpr double LongestLimitedSeconds = 600;

} // namespace

bool ParallelPreviews::limitsJoin(const Loudness::Measurement &measured, double raise) const
{
    const QList<double> &pieces = m_joinWork.pieceSeconds;
    return m_settings.limit && measured.integrated
           && std::accumulate(pieces.cbegin(), pieces.cend(), 0.0) <= LongestLimitedSeconds
           && (raise >= 2 * ParallelWork::RecutStep || measured.truePeak > Loudness::PeakCeiling);
}

// The floats are the joined file before its encoding, which took its loss of them.
void ParallelPreviews::joinFloats(const Loudness::Measurement &measured, double raise)
{
    const int kbps = bitrateFor(0).toInt();
    LimitedStretch::Plan &plan = m_joinWork.plan;
    plan.encodingLoss = m_settings.format->encodingLoss(kbps);
    plan.measured = measured;
    *plan.measured.integrated += plan.encodingLoss;
    plan.target = *measured.integrated + raise;
    plan.ceiling = Loudness::PeakCeiling - m_settings.format->peakMargin(kbps);
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
    loudness.limited = outcome.deepestCut;
    m_joinWork.limiterCeiling = outcome.limiterCeiling;
    m_joinWork.limited = outcome.stretch;
    launchJoin();
}
