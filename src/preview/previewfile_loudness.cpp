// A song's loudness on its way to its preview: what its encodings lose and how far below the
// peak ceiling its peaks must stay, the rate its stretch is measured at, whether that stretch
// is kept for the cut or for the limiter, and whether its encoded preview is measured again.
#include "preview/previewfile.h"

#include "analysis/stretchloudness.h"
#include "preview/previewcommands.h"

double PreviewFile::encodingLoss(int kbps) const
{
    return encodings() * m_format->encodingLoss(kbps);
}

double PreviewFile::peakMargin(int kbps) const
{
    return encodings() * m_format->peakMargin(kbps);
}

Loudness::Adjustment PreviewFile::gainFor(const Loudness::Measurement &measured, int kbps) const
{
    return Loudness::GainFor(measured, *m_recipe.loudness, encodingLoss(kbps), peakMargin(kbps));
}

// Raising the rate adds nothing to measure, so it is left to the cut unless the preview's
// rate is lower: that drops treble, which counts. An MP3 the limiter may take is read at its
// own rate, as a dry run's line decodes it.
int PreviewFile::measuringRate(int kbps) const
{
    const int previewRate = m_format->sampleRateFor(QString::number(kbps));
    const int sourceRate = length().value_or(AudioLength()).rate;
    if (limiterAsked() && DecodedAudio::Decodes(m_source) && sourceRate > 0)
        return sourceRate;
    return sourceRate > 0 && sourceRate < previewRate ? sourceRate : previewRate;
}

// Where the samples are the source's own: its rate, no fade, no gain. A join's pieces read
// the source, and so does a preview longer than the measuring keeps, which would hold much
// memory.
bool PreviewFile::keepsStretch(int kbps) const
{
    return m_recipe.loudness && !m_piece && DecodedAudio::Decodes(m_source) && length()
           && measuringRate(kbps) >= length()->rate && duration() <= Analysis::StretchLoudness::LongestKeptSeconds;
}

// A longer stretch is not kept (StretchLoudness), so there is none to limit.
bool PreviewFile::limiterAsked() const
{
    return m_recipe.limit && duration() <= Analysis::StretchLoudness::LongestKeptSeconds;
}

SourceAnalysis::Request PreviewFile::analysisRequest(const Tools::Found &tools, std::optional<int> measuredKbps,
                                                     bool search) const
{
    const int kbps = measuredKbps.value_or(0);
    const bool measures = m_recipe.loudness && measuredKbps;
    const int rate = measures ? measuringRate(kbps) : 0;
    SourceAnalysis::Request request = PreviewSteps::AnalysisRequest(tools, m_source, duration(), length(), rate);
    request.search = search;
    request.start = start();
    request.fadeIn = m_recipe.fadeIn;
    request.fadeOut = m_recipe.fadeOut;
    if (!measures)
        return request;
    request.loudnessRate = rate;
    request.loudnessTarget = *m_recipe.loudness;
    // Its true peak is made exact down to where it would hold back a piece of a join too, so
    // that a join can take this preview as its piece and plan that from the mark.
    request.encodingLoss = JoinEncodings * m_format->encodingLoss(kbps);
    request.peakMargin = JoinEncodings * m_format->peakMargin(kbps);
    request.keepStretch = keepsStretch(kbps) || limiterAsked();
    return request;
}

void PreviewFile::takeAnalysis(const SourceAnalysis::Outcome &outcome, int kbps)
{
    if (outcome.found)
        m_found = outcome.found;
    if (outcome.measured)
        m_loudness = gainFor(*outcome.measured, kbps);
    // Less than a millisecond would read as no trim at all.
    if (!outcome.stretch || PreviewSteps::StretchSeconds(*outcome.stretch, duration()) <= 0)
        return;
    m_limits = m_recipe.limit && m_loudness && m_loudness->heldBack;
    // One whose encoding may still pass the ceiling keeps it too, for the limiter to take
    // that (takeTruePeak) rather than a lower gain.
    if (m_limits || (m_recipe.limit && measuresMade(kbps)))
        m_decoded = outcome.stretch;
    if (!m_limits && keepsStretch(kbps))
        m_stretch = outcome.stretch;
}

LimitedStretch::Plan PreviewFile::limitPlan(int kbps) const
{
    LimitedStretch::Plan plan;
    plan.measured = m_loudness->measured;
    plan.target = m_loudness->target;
    plan.encodingLoss = encodingLoss(kbps);
    plan.ceiling = Loudness::PeakCeiling - peakMargin(kbps);
    // As SoX and a dry run's line get them: to the millisecond.
    plan.fadeIn = PreviewCommands::SecondsText(m_recipe.fadeIn).toDouble();
    plan.fadeOut = PreviewCommands::SecondsText(m_recipe.fadeOut).toDouble();
    plan.subsonicCutoff = m_format->subsonicCutoff();
    return plan;
}

// The others cannot reach the ceiling, and measuring every preview would cost half as much
// again as the cut: theirs are the planned figures. A join's pieces are encoded again in the
// joined file, so the joined file is measured instead.
bool PreviewFile::measuresMade(int kbps) const
{
    if (m_piece || !m_loudness)
        return false;
    const double plannedPeak = m_loudness->measured.truePeak + m_loudness->gain;
    return plannedPeak > Loudness::PeakCeiling - m_format->overshootAllowance(kbps);
}

// The analysis's decoding of the stretch, as lumbrisk-cli or the tools give it, then the
// limiter: an MP3 is decoded by lumbrisk-cli itself, any other source by the tool runs the
// analysis ran.
QList<CommandLine> PreviewFile::stretchRuns(const Tools::Found &tools, const QString &program, int kbps) const
{
    if (!m_stretch)
        return {};
    const QString duration = PreviewCommands::SecondsText(this->duration());
    if (!usesLimiter())
        return {PreviewCommands::DecodedStretch(program, m_source, m_start, duration)};
    QList<CommandLine> line;
    if (DecodedAudio::Decodes(m_source)) {
        line.append(PreviewCommands::DecodedStretch(program, m_source, m_start, duration, PreviewCommands::StretchFloatsOption));
    } else {
        const std::optional<SourceAnalysis::Pipes> pipes =
            PreviewSteps::AnalysisPipes(tools, m_source, measuringRate(kbps), this->duration(), songSeconds());
        if (pipes->feeder)
            line.append(*pipes->feeder);
        line.append(pipes->stretch(start()));
    }
    line.append(PreviewCommands::LimitedStretch(program, m_stretch->rate, *m_limiterCeiling,
                                                PreviewCommands::SecondsText(m_recipe.fadeIn),
                                                PreviewCommands::SecondsText(m_recipe.fadeOut),
                                                m_format->subsonicCutoff()));
    return line;
}
