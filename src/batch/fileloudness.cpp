#include "batch/fileloudness.h"

#include "analysis/decodedaudio.h"
#include "analysis/stretchloudness.h"
#include "preview/previewcommands.h"

int FileLoudness::encodings() const
{
    return m_settings.join ? JoinEncodings : 1;
}

double FileLoudness::encodingLoss(int kbps) const
{
    return encodings() * m_settings.format->encodingLoss(kbps);
}

double FileLoudness::peakMargin(int kbps) const
{
    return encodings() * m_settings.format->peakMargin(kbps);
}

Loudness::Adjustment FileLoudness::gainFor(const Loudness::Measurement &measured, int kbps) const
{
    return Loudness::GainFor(measured, *m_settings.loudness, encodingLoss(kbps), peakMargin(kbps));
}

// Raising the rate adds nothing to measure, so it is left to the cut unless the preview's
// rate is lower: that drops treble, which counts. An MP3 the limiter may take is read at its
// own rate, as a dry run's line decodes it.
int FileLoudness::measuringRate(const File &file) const
{
    const int previewRate = m_settings.format->sampleRateFor(QString::number(file.kbps));
    const int sourceRate = file.length.value_or(AudioLength()).rate;
    if (limits(file.index) && DecodedAudio::Decodes(file.source) && sourceRate > 0)
        return sourceRate;
    return sourceRate > 0 && sourceRate < previewRate ? sourceRate : previewRate;
}

// Where the samples are the source's own: its rate, no fade, no gain. A join's pieces read
// the source, and so does a preview longer than the measuring keeps, which would hold much
// memory.
bool FileLoudness::keepsStretch(const File &file) const
{
    return m_settings.loudness && !m_settings.join && DecodedAudio::Decodes(file.source) && file.length
           && measuringRate(file) >= file.length->rate
           && m_cuts.duration(file.index) <= Analysis::StretchLoudness::LongestKeptSeconds;
}

// A longer stretch is not kept (StretchLoudness), so there is none to limit.
bool FileLoudness::limits(int index) const
{
    return m_settings.limit && m_cuts.duration(index) <= Analysis::StretchLoudness::LongestKeptSeconds;
}

LimitedStretch::Plan FileLoudness::limitPlan(const Loudness::Adjustment &loudness, int kbps) const
{
    LimitedStretch::Plan plan;
    plan.measured = loudness.measured;
    plan.target = loudness.target;
    plan.encodingLoss = encodingLoss(kbps);
    plan.ceiling = Loudness::PeakCeiling - peakMargin(kbps);
    // As SoX and a dry run's line get them: to the millisecond.
    plan.fadeIn = PreviewCommands::SecondsText(m_settings.fadeIn).toDouble();
    plan.fadeOut = PreviewCommands::SecondsText(m_settings.fadeOut).toDouble();
    return plan;
}

// The others cannot reach the ceiling, and measuring every preview would cost half as much
// again as the cut: theirs are the planned figures. A join's pieces are encoded again in the
// joined file, so the joined file is measured instead.
bool FileLoudness::measuresMade(const Loudness::Adjustment &loudness, int kbps) const
{
    if (m_settings.join)
        return false;
    const double plannedPeak = loudness.measured.truePeak + loudness.gain;
    return plannedPeak > Loudness::PeakCeiling - m_settings.format->overshootAllowance(kbps);
}
