#include "analysis/chorusanalyzer.h"

#include <algorithm>

namespace Analysis {

ChorusAnalyzer::ChorusAnalyzer(double previewSeconds, bool pictured)
    : m_previewSeconds(previewSeconds), m_pictured(pictured)
{
}

void ChorusAnalyzer::initialize(int rate, int channels)
{
    m_rate = rate;
    m_channels = channels;
    m_mono.clear();
    // Room for the longest song at once: only the pages written take memory, and the samples
    // are not copied over and over as the song grows (that cost a tenth of the search).
    m_mono.reserve(size_t(Chorus::LongestSongSeconds * std::max(rate, 0)) + 1);
    m_start.reset();
}

void ChorusAnalyzer::processSamples(const float *samples, size_t frames)
{
    if (m_channels == 1) {
        m_mono.insert(m_mono.end(), samples, samples + frames);
        return;
    }
    for (size_t frame = 0; frame < frames; ++frame) {
        float sum = 0;
        for (int channel = 0; channel < m_channels; ++channel)
            sum += samples[frame * size_t(m_channels) + size_t(channel)];
        m_mono.push_back(sum / float(m_channels));
    }
}

bool ChorusAnalyzer::wantsMore() const
{
    return true;
}

void ChorusAnalyzer::finalize()
{
    if (!m_mono.empty())
        m_start = Chorus::ChooseStart(m_mono, m_rate, m_previewSeconds);
    if (!m_mono.empty() && m_pictured)
        m_picture = Waveform::OverviewOf(m_mono, m_rate);
    m_mono = std::vector<float>(); // a song's worth of samples, no longer needed
}

} // namespace Analysis
