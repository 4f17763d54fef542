// What one file's cut is made of: bit rate and start; and what its result tells of them.
#include "batch/parallelwork.h"

QString ParallelPreviews::bitrateFor(int index) const
{
    if (m_settings.kbps > 0)
        return QString::number(m_settings.kbps);
    return m_settings.join ? m_joinBitrate : m_work[size_t(index)].bitrate;
}

bool ParallelPreviews::settleStart(int index)
{
    PreviewFile &file = m_work[size_t(index)].file;
    if (file.startSettled())
        return true;
    const QString problem = file.settleStart(m_cuts.share(index), m_cuts.seconds(index), m_cuts.origin(index));
    if (!problem.isEmpty())
        fail(index, problem);
    return problem.isEmpty();
}

void ParallelPreviews::setCutLine(int index, const QString &writeTo)
{
    PreviewFile &file = m_work[size_t(index)].file;
    file.setBitrate(bitrateFor(index), m_settings.kbps);
    PreviewSteps::CutLine line = file.cutLine(m_tools, writeTo);
    m_results[index].command = std::move(line.sox);
    m_results[index].decoder = std::move(line.decoder);
    m_results[index].encoder = std::move(line.encoder);
}
