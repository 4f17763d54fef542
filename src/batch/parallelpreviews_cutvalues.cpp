// What one file's cut is made of: bit rate and start; and what its result tells of them.
#include "batch/parallelwork.h"

#include "preview/previewcheck.h"

QString ParallelPreviews::bitrateFor(int index) const
{
    if (m_settings.kbps > 0)
        return QString::number(m_settings.kbps);
    return m_settings.join ? m_joinBitrate : m_work[size_t(index)].bitrate;
}

// The seconds its start rule gives; none when it is a share of a length that cannot be read.
std::optional<double> ParallelPreviews::startFor(int index) const
{
    const std::optional<double> share = m_cuts.share(index);
    if (!share)
        return m_cuts.seconds(index);
    const std::optional<double> seconds = m_work[size_t(index)].file.songSeconds();
    if (!seconds)
        return std::nullopt;
    return *share * *seconds;
}

bool ParallelPreviews::settleStart(int index)
{
    PreviewFile &file = m_work[size_t(index)].file;
    if (file.startSettled())
        return true;
    // A start found in the audio needs no rule.
    const std::optional<double> start = file.found() ? std::optional(0.0) : startFor(index);
    if (!start) {
        fail(index, PreviewCheck::NoLengthForShare(m_results[index].source));
        return false;
    }
    file.settleStart(*start, m_cuts.origin(index));
    return true;
}

void ParallelPreviews::setCutLine(int index, const QString &writeTo)
{
    PreviewFile &file = m_work[size_t(index)].file;
    file.setBitrate(bitrateFor(index), m_settings.kbps);
    PreviewSteps::CutLine line = file.cutLine(m_tools, writeTo);
    m_results[index].command = std::move(line.sox);
    m_results[index].decoder = std::move(line.decoder);
}

// What the report tells of the file's way so far: where its start came from and the level it got.
void ParallelPreviews::takeMade(int index)
{
    const PreviewFile &file = m_work[size_t(index)].file;
    Result &result = m_results[index];
    result.foundStart = file.found();
    result.loudness = file.loudness();
    if (!file.startSettled())
        return;
    result.start = file.start();
    result.duration = file.duration();
    result.startIsShare = !file.found() && m_cuts.share(index);
    result.startFrom = file.origin();
}
