// What one file's cut is made of: bit rate, start, length, fades, gain.
#include "batch/parallelwork.h"

#include "platform/main.h"
#include "preview/previewcheck.h"
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
        return PreviewSteps::SecondsText(found->seconds);
    const std::optional<double> share = startShareOf(index);
    if (!share) {
        const StartList::SourceCut *own = ownStart(index);
        return PreviewSteps::SecondsText(own ? *own->startSeconds : m_settings.startSeconds);
    }
    const std::optional<AudioLength> length = sourceLength(index);
    if (!length)
        return std::nullopt;
    return PreviewSteps::SecondsText(*share * length->seconds);
}

// The file's row of a --starts list, when it gives a start of its own.
const StartList::SourceCut *ParallelPreviews::ownStart(int index) const
{
    const StartList::SourceCut *own = m_settings.cuts.isEmpty() ? nullptr : &m_settings.cuts.at(index);
    return own && (own->startSeconds || own->startShare) ? own : nullptr;
}

std::optional<double> ParallelPreviews::startShareOf(int index) const
{
    const StartList::SourceCut *own = ownStart(index);
    return own ? own->startShare : m_settings.startShare;
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

double ParallelPreviews::durationFor(int index) const
{
    if (m_settings.cuts.isEmpty())
        return m_settings.durationSeconds;
    return m_settings.cuts.at(index).durationSeconds.value_or(m_settings.durationSeconds);
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
    result.duration = durationFor(index);
    result.startIsShare = !result.foundStart && startShareOf(index);
    result.startFrom = startOrigin(index);
    return true;
}

ParallelPreviews::StartOrigin ParallelPreviews::startOrigin(int index) const
{
    if (const std::optional<Chorus::Start> &found = m_results[index].foundStart)
        return found->fromChorus ? StartOrigin::Chorus : StartOrigin::Fallback;
    if (ownStart(index))
        return StartOrigin::List;
    return startShareOf(index) ? StartOrigin::Share : StartOrigin::Seconds;
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
    cut.duration = durationFor(index);
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
}
