#include "preview/previewfile.h"

#include "analysis/sourceaudio.h"
#include "preview/previewcheck.h"
#include "preview/previewcommands.h"

#include <cmath>

PreviewFile::PreviewFile(QString source, PreviewRecord::Recipe recipe, bool piece, const OutputFormat &format)
    : m_source(std::move(source)), m_recipe(std::move(recipe)), m_piece(piece), m_format(&format)
{
}

const std::optional<PreviewMark::Record> &PreviewFile::wanted() const
{
    if (!m_wanted)
        m_wanted = PreviewRecord::Wanted(m_source, m_recipe);
    return *m_wanted;
}

bool PreviewFile::keeps(const PreviewMark::Record &recorded, const QString &path) const
{
    return wanted() && recorded.meets(*wanted()) && PreviewRecord::IsWhole(path, recorded);
}

std::optional<AudioLength> PreviewFile::length() const
{
    if (!m_length)
        m_length = SourceAudio::Measure(m_source);
    return *m_length;
}

std::optional<double> PreviewFile::songSeconds() const
{
    const std::optional<AudioLength> measured = length();
    return measured ? std::optional(measured->seconds) : std::nullopt;
}

void PreviewFile::setBitrate(const QString &bitrate, int recordedKbps)
{
    m_bitrate = bitrate;
    if (m_recipe.kbps == recordedKbps)
        return;
    m_recipe.kbps = recordedKbps;
    m_wanted.reset();
}

QString PreviewFile::settleStart(std::optional<double> share, double seconds, StartOrigin fixedOrigin)
{
    if (m_found) {
        m_start = PreviewCommands::SecondsText(m_found->seconds);
        m_origin = m_found->fromChorus ? StartOrigin::Chorus : StartOrigin::Fallback;
        return QString();
    }
    if (share) {
        const std::optional<double> song = songSeconds();
        if (!song)
            return PreviewCheck::NoLengthForShare(m_source);
        seconds = *share * *song;
    }
    m_start = PreviewCommands::SecondsText(seconds);
    m_origin = fixedOrigin;
    return QString();
}

std::optional<SampleFeed::Input> PreviewFile::feed() const
{
    if (!m_stretch)
        return std::nullopt;
    return SampleFeed::Input{DecodedAudio::WaveHeaderOf(*m_stretch), {m_stretch, &m_stretch->samples}};
}

PreviewSteps::Cut PreviewFile::cut() const
{
    PreviewSteps::Cut cut;
    cut.source = m_source;
    cut.bitrate = m_bitrate;
    cut.start = m_start;
    cut.duration = m_recipe.duration;
    // Only a decoded source's cut depends on its length: a dry run reads no other's.
    if (PreviewSteps::NeedsFfmpeg(m_source))
        cut.songSeconds = songSeconds();
    cut.fadeIn = m_recipe.fadeIn;
    cut.fadeOut = m_recipe.fadeOut;
    if (m_loudness)
        cut.gain = m_loudness->gain;
    cut.stretch = m_stretch;
    return cut;
}

PreviewSteps::CutLine PreviewFile::cutLine(const Tools::Found &tools, const QString &writeTo) const
{
    return PreviewSteps::CutCommand(tools, cut(), writeTo);
}

QString PreviewFile::cutProblem(const Shell32::RunResult &run, const PreviewSteps::DecoderEnd &decoder,
                                const QString &written, const QString &ffmpeg) const
{
    return PreviewSteps::CutProblem(run, decoder, written, cut(), length(), ffmpeg);
}

QString PreviewFile::markText(const QString &written) const
{
    const std::optional<PreviewMark::Record> &record = wanted();
    if (!record)
        return QString();
    PreviewRecord::Made made;
    made.start = start();
    made.origin = m_origin;
    made.loudness = m_loudness;
    made.found = m_found ? &*m_found : nullptr;
    return PreviewRecord::MarkText(*record, made, written);
}

QString PreviewFile::tag(bool copyTags, const QString &written) const
{
    return PreviewSteps::Tag(copyTags, m_source, written, markText(written));
}

QString PreviewFile::endsEarly(const QString &preview) const
{
    return PreviewCheck::EndsEarly(start(), m_recipe.duration, length(), preview);
}

PreviewFile::Written PreviewFile::Finish(const QString &written, const QString &finalName,
                                         const std::function<QString(const QString &)> &tag,
                                         const std::function<QString(const QString &)> &check)
{
    Written result;
    result.tagProblem = tag(written);
    result.problem = check(written).replace(written, finalName);
    return result;
}

std::function<LimitedStretch::Limited()> PreviewFile::limiting(const LimitedStretch::Plan &plan) const
{
    return [decoded = m_decoded, plan = plan, gain = m_loudness->gain, ceiling = m_limiterCeiling,
            excess = m_unlimitedExcess]() mutable {
        // Cut again for its encoding's peak, with the ceiling takeTruePeak lowered and the gain
        // kept. One whose encoding passed the ceiling unlimited is limited the first time below
        // the peak it had, by the same rule.
        if (ceiling)
            return LimitedStretch::At(*decoded, plan, gain, *ceiling);
        if (excess)
            plan.ceiling = LoweredGain(LimitedStretch::PeakOf(*decoded, plan) + gain, 2 * *excess);
        return LimitedStretch::ToTarget(*decoded, plan);
    };
}

void PreviewFile::takeLimited(const LimitedStretch::Limited &outcome)
{
    m_loudness->gain = outcome.gain;
    m_loudness->result = outcome.result;
    m_loudness->heldBack = outcome.heldBack;
    m_loudness->limited = outcome.deepestCut;
    m_limiterCeiling = outcome.limiterCeiling;
    m_stretch = outcome.stretch;
}

void PreviewFile::dropSamples()
{
    m_stretch.reset();
    m_decoded.reset();
}

double PreviewFile::LoweredGain(double gain, double excess)
{
    return std::floor((gain - excess - RecutStep) * 100) / 100;
}

QString PreviewFile::StillPassesCeiling()
{
    return QStringLiteral("its encoding still passes %1 dBTP with its gain lowered %2 times")
        .arg(Loudness::PeakCeiling)
        .arg(MostRecuts);
}

PreviewFile::Encoded PreviewFile::takeTruePeak(double truePeak, double encodingLoss)
{
    m_loudness->truePeak = truePeak;
    if (truePeak <= Loudness::PeakCeiling)
        return Encoded::Kept;
    if (m_recuts >= MostRecuts)
        return Encoded::Failed;
    // The next encoding's mark is written before it is measured: it records no peak but its own.
    m_loudness->truePeak.reset();
    ++m_recuts;
    const double excess = truePeak - Loudness::PeakCeiling;
    // The limiter leaves many peaks at its ceiling, and the encoder's overshoot varies from one
    // to the next by tenths of a dB: its ceiling goes down by twice the excess. With the
    // limiter asked, one not limited yet is limited now (limiting) rather than made quieter.
    if (m_decoded) {
        if (m_limiterCeiling)
            m_limiterCeiling = LoweredGain(*m_limiterCeiling, 2 * excess);
        else
            m_unlimitedExcess = excess;
        m_limits = true;
        return Encoded::CutAgain;
    }
    m_loudness->gain = LoweredGain(m_loudness->gain, excess);
    m_loudness->result = Loudness::PlannedResult(m_loudness->measured, m_loudness->gain, encodingLoss);
    m_loudness->heldBack = true;
    return Encoded::CutAgain;
}
