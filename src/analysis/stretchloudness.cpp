#include "analysis/stretchloudness.h"

#include <algorithm>
#include <cmath>

namespace Analysis {

namespace {

// The preview's channels.
constexpr int Stereo = 2;

// SoX's default fade shape, logarithmic: 100 dB down at the far end of the fade, full at its
// near end and beyond; frame counts from the far end.
float fadeGain(size_t frame, size_t frames)
{
    return frame < frames ? float(std::pow(0.1, (1 - double(frame) / double(frames)) * 5)) : 1.0f;
}

size_t framesOf(double seconds, int rate)
{
    return seconds > 0 ? size_t(seconds * rate + 0.5) : 0;
}

} // namespace

StretchLoudness::StretchLoudness(Stretch stretch) : m_stretch(stretch)
{
}

StretchLoudness::~StretchLoudness() = default;

void StretchLoudness::initialize(int rate, int channels)
{
    m_channels = channels;
    m_position = 0;
    m_begin = framesOf(m_stretch.begin, rate);
    m_end = m_begin + framesOf(m_stretch.seconds, rate);
    m_fadeInFrames = framesOf(m_stretch.fadeIn, rate);
    m_fadeOutFrames = framesOf(m_stretch.fadeOut, rate);
    m_secondFrames = size_t(rate);
    m_kept.clear();
    m_meter = std::make_unique<Loudness::Meter>(Stereo, rate);
}

void StretchLoudness::processSamples(const float *samples, size_t frames)
{
    const size_t first = std::clamp(m_begin, m_position, m_position + frames) - m_position;
    const size_t last = std::clamp(m_end, m_position, m_position + frames) - m_position;
    if (last > first)
        keep(samples + first * size_t(m_channels), last - first, m_position + first - m_begin);
    m_position += frames;
    // Measured a second at a time, so that little is copied while the fade-out waits.
    if (m_kept.size() / Stereo > m_fadeOutFrames + m_secondFrames)
        measureKept(m_fadeOutFrames);
}

// Two channels of the stretch, the fade-in applied; stretchFrame: where the first one lies
// in the stretch.
void StretchLoudness::keep(const float *samples, size_t frames, size_t stretchFrame)
{
    for (size_t frame = 0; frame < frames; ++frame) {
        const size_t at = stretchFrame + frame;
        const float gain = fadeGain(at, m_fadeInFrames);
        const float *in = samples + frame * size_t(m_channels);
        const float left = in[0];
        const float right = m_channels > 1 ? in[1] : in[0];
        m_kept.push_back(left * gain);
        m_kept.push_back(right * gain);
    }
}

void StretchLoudness::measureKept(size_t waiting)
{
    const size_t frames = m_kept.size() / Stereo;
    if (frames <= waiting)
        return;
    const size_t measured = frames - waiting;
    m_meter->add(m_kept.data(), measured);
    m_kept.erase(m_kept.begin(), m_kept.begin() + long(measured * Stereo));
}

bool StretchLoudness::wantsMore() const
{
    return m_position < m_end;
}

void StretchLoudness::finalize()
{
    if (!m_meter)
        return;
    // The audio has ended: the fade-out reaches the frames still kept.
    const size_t frames = m_kept.size() / Stereo;
    for (size_t frame = 0; frame < frames && m_fadeOutFrames > 0; ++frame) {
        const float gain = fadeGain(frames - frame - 1, m_fadeOutFrames);
        m_kept[frame * Stereo] *= gain;
        m_kept[frame * Stereo + 1] *= gain;
    }
    measureKept(0);
    m_measured = m_meter->result();
    m_meter.reset();
}

} // namespace Analysis
