// What one file's cut is made of: bit rate, start, length, fades, gain.
#include "batch/parallelwork.h"

#include "platform/main.h"
#include "preview/previewcheck.h"
#include "preview/previewcommands.h"
#include "analysis/sourceaudio.h"

QString ParallelPreviews::bitrateFor(int index) const
{
    if (m_settings.kbps > 0)
        return QString::number(m_settings.kbps);
    return m_settings.join ? m_joinBitrate : m_work[size_t(index)].bitrate;
}

// The start as SoX gets it; none when it is a share of a length that cannot be read.
std::optional<QString> ParallelPreviews::startFor(int index) const
{
    if (const std::optional<Chorus::Start> &found = m_results[index].foundStart)
        return PreviewCommands::SecondsText(found->seconds);
    const std::optional<double> share = m_cuts.share(index);
    if (!share)
        return PreviewCommands::SecondsText(m_cuts.seconds(index));
    const std::optional<AudioLength> length = sourceLength(index);
    if (!length)
        return std::nullopt;
    return PreviewCommands::SecondsText(*share * length->seconds);
}

// Every step that needs the source's length (the auto start, the loudness rate, a share, the
// check of the cut) reads it once, before any tool of this file has read the source.
std::optional<AudioLength> ParallelPreviews::sourceLength(int index) const
{
    const Work &work = m_work[size_t(index)];
    if (!work.measured) {
        work.length = SourceAudio::Measure(m_results[index].source);
        work.measured = true;
    }
    return work.length;
}

bool ParallelPreviews::settleStart(int index)
{
    Work &work = m_work[size_t(index)];
    if (!work.start.isEmpty())
        return true;
    const std::optional<QString> start = startFor(index);
    if (!start) {
        fail(index, PreviewCheck::NoLengthForShare(m_results[index].source));
        return false;
    }
    work.start = *start;
    Result &result = m_results[index];
    result.start = start->toDouble();
    result.duration = m_cuts.duration(index);
    result.startIsShare = !result.foundStart && m_cuts.share(index);
    result.startFrom = m_cuts.origin(index, m_results[index].foundStart);
    return true;
}

std::optional<double> ParallelPreviews::songSeconds(int index) const
{
    const std::optional<AudioLength> length = sourceLength(index);
    return length ? std::optional(length->seconds) : std::nullopt;
}

PreviewSteps::Cut ParallelPreviews::cutOf(int index) const
{
    const Work &work = m_work[size_t(index)];
    PreviewSteps::Cut cut;
    cut.source = m_results[index].source;
    cut.bitrate = bitrateFor(index);
    cut.start = work.start;
    cut.duration = m_cuts.duration(index);
    // Only a decoded source's cut depends on its length: a dry run reads no other's.
    if (PreviewSteps::NeedsFfmpeg(cut.source))
        cut.songSeconds = songSeconds(index);
    cut.fadeIn = m_settings.fadeIn;
    cut.fadeOut = m_settings.fadeOut;
    if (const std::optional<Loudness::Adjustment> &loudness = m_results[index].loudness)
        cut.gain = loudness->gain;
    cut.stretch = work.stretch;
    return cut;
}

void ParallelPreviews::setCutLine(int index, const QString &writeTo)
{
    PreviewSteps::CutLine line = PreviewSteps::CutCommand(m_tools, cutOf(index), writeTo);
    m_results[index].command = std::move(line.sox);
    m_results[index].decoder = std::move(line.decoder);
    m_results[index].encoder = std::move(line.encoder);
}
