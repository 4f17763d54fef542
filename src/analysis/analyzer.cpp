#include "analysis/analyzer.h"

#include <algorithm>

namespace Analysis {

Pass::Pass(std::vector<Analyzer *> analyzers, double limitSeconds)
    : m_analyzers(std::move(analyzers)), m_limitSeconds(limitSeconds)
{
}

void Pass::begin(int rate, int channels)
{
    m_channels = channels;
    m_limitFrames = size_t(m_limitSeconds * rate);
    m_frames = 0;
    m_reachedLimit = false;
    for (Analyzer *analyzer : m_analyzers)
        analyzer->initialize(rate, channels);
}

bool Pass::feed(const float *samples, size_t frames)
{
    // The limit counts as audio: one block past it tells an analyzer the song is longer.
    const size_t room = m_frames <= m_limitFrames ? m_limitFrames - m_frames + 1 : 0;
    const size_t handed = std::min(frames, room);
    m_frames += handed;
    bool wanted = false;
    for (Analyzer *analyzer : m_analyzers) {
        if (handed > 0 && analyzer->wantsMore())
            analyzer->processSamples(samples, handed);
        wanted = wanted || analyzer->wantsMore();
    }
    m_reachedLimit = m_frames > m_limitFrames;
    return wanted && !m_reachedLimit;
}

void Pass::end()
{
    for (Analyzer *analyzer : m_analyzers)
        analyzer->finalize();
}

} // namespace Analysis
