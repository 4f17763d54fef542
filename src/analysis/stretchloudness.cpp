#include "analysis/stretchloudness.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace Analysis {

namespace {

// The preview's channels.
constexpr int Stereo = 2;
// The true peak is looked for block by block, each with this many frames around it to prime
// and drain the oversampling filter, and to clear what the run before left in it.
constexpr size_t PeakBlockFrames = 256;
constexpr size_t PeakMarginFrames = 32;

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

// Eight running maxima, which the compiler turns into vector instructions: a third of the
// time of one, over every sample of a stretch and of each preview measured.
float highestOf(const float *samples, size_t count)
{
    constexpr size_t Lanes = 8;
    float lanes[Lanes] = {};
    size_t index = 0;
    for (; index + Lanes <= count; index += Lanes) {
        for (size_t lane = 0; lane < Lanes; ++lane) {
            const float magnitude = std::fabs(samples[index + lane]);
            lanes[lane] = lanes[lane] < magnitude ? magnitude : lanes[lane];
        }
    }
    float highest = *std::max_element(lanes, lanes + Lanes);
    for (; index < count; ++index)
        highest = std::max(highest, std::abs(samples[index]));
    return highest;
}

} // namespace

std::vector<float> Faded(std::vector<float> frames, int rate, double fadeIn, double fadeOut)
{
    const size_t count = frames.size() / Stereo;
    const size_t inFrames = framesOf(fadeIn, rate);
    const size_t outFrames = framesOf(fadeOut, rate);
    for (size_t frame = 0; frame < count; ++frame) {
        const float gain = fadeGain(frame, inFrames) * fadeGain(count - frame - 1, outFrames);
        frames[frame * Stereo] *= gain;
        frames[frame * Stereo + 1] *= gain;
    }
    return frames;
}

StretchLoudness::StretchLoudness(Stretch stretch, Measures measures) : m_stretch(stretch), m_measures(measures)
{
}

StretchLoudness::~StretchLoudness() = default;

void StretchLoudness::initialize(int rate, int channels)
{
    m_rate = rate;
    m_channels = channels;
    m_position = 0;
    m_begin = framesOf(m_stretch.begin, rate);
    m_end = m_begin + framesOf(m_stretch.seconds, rate);
    m_fadeInFrames = framesOf(m_stretch.fadeIn, rate);
    m_fadeOutFrames = framesOf(m_stretch.fadeOut, rate);
    m_kept = m_stretch.seconds <= LongestKeptSeconds;
    m_frames.clear();
    m_rawFadeIn.clear();
    m_rawFadeOut.clear();
    if (m_kept)
        m_frames.reserve((m_end - m_begin) * Stereo);
    m_meter.reset();
    if (!m_kept || m_measures == Measures::LoudnessAndPeak)
        m_meter = std::make_unique<Loudness::Meter>(Stereo, rate, m_kept ? Loudness::Meter::Peak::None
                                                                         : Loudness::Meter::Peak::True);
    m_open = true;
}

void StretchLoudness::processSamples(const float *samples, size_t frames)
{
    const size_t first = std::clamp(m_begin, m_position, m_position + frames) - m_position;
    const size_t last = std::clamp(m_end, m_position, m_position + frames) - m_position;
    if (last > first)
        keep(samples + first * size_t(m_channels), last - first, m_position + first - m_begin);
    m_position += frames;
    // Measured a second at a time, so that little is copied while the fade-out waits.
    if (!m_kept && m_frames.size() / Stereo > m_fadeOutFrames + size_t(m_rate))
        measureKept(m_fadeOutFrames);
}

// Two channels of the stretch, the fade-in applied; stretchFrame: where the first one lies
// in the stretch.
void StretchLoudness::keep(const float *samples, size_t frames, size_t stretchFrame)
{
    // Past the fade-in a stereo block is kept as it came.
    if (m_channels == Stereo && stretchFrame >= m_fadeInFrames) {
        m_frames.insert(m_frames.end(), samples, samples + frames * Stereo);
        return;
    }
    for (size_t frame = 0; frame < frames; ++frame) {
        const float gain = fadeGain(stretchFrame + frame, m_fadeInFrames);
        const float *in = samples + frame * size_t(m_channels);
        const float right = m_channels > 1 ? in[1] : in[0];
        m_frames.push_back(in[0] * gain);
        m_frames.push_back(right * gain);
        if (m_kept && stretchFrame + frame < m_fadeInFrames)
            m_rawFadeIn.insert(m_rawFadeIn.end(), {in[0], right});
    }
}

void StretchLoudness::measureKept(size_t waiting)
{
    const size_t frames = m_frames.size() / Stereo;
    if (frames <= waiting)
        return;
    const size_t measured = frames - waiting;
    m_meter->add(m_frames.data(), measured);
    m_frames.erase(m_frames.begin(), m_frames.begin() + long(measured * Stereo));
}

bool StretchLoudness::wantsMore() const
{
    return m_position < m_end;
}

void StretchLoudness::finalize()
{
    if (!m_open)
        return;
    m_open = false;
    // The audio has ended: the fade-out reaches the frames still here.
    const size_t frames = m_frames.size() / Stereo;
    if (m_kept)
        m_rawFadeOut.assign(m_frames.end() - long(std::min(frames, m_fadeOutFrames) * Stereo), m_frames.end());
    for (size_t frame = 0; frame < frames && m_fadeOutFrames > 0; ++frame) {
        const float gain = fadeGain(frames - frame - 1, m_fadeOutFrames);
        m_frames[frame * Stereo] *= gain;
        m_frames[frame * Stereo + 1] *= gain;
    }
    if (m_meter) {
        m_meter->add(m_frames.data(), frames);
        m_measured = m_meter->result();
        m_meter.reset();
    }
    if (m_kept)
        keepBlockPeaks();
    else
        m_frames.clear();
}

// The fade-out's frames first: where the fades overlap, they had the fade-in already.
std::vector<float> StretchLoudness::takeFrames()
{
    std::vector<float> frames = std::move(m_frames);
    m_frames.clear();
    std::copy(m_rawFadeOut.begin(), m_rawFadeOut.end(), frames.end() - long(m_rawFadeOut.size()));
    std::copy(m_rawFadeIn.begin(), m_rawFadeIn.end(), frames.begin());
    m_blockPeaks.clear();
    return frames;
}

// The highest sample of each block, and of all: the true peak lies at or above it.
void StretchLoudness::keepBlockPeaks()
{
    const size_t frames = m_frames.size() / Stereo;
    m_blockPeaks.clear();
    for (size_t frame = 0; frame < frames; frame += PeakBlockFrames)
        m_blockPeaks.push_back(highestOf(&m_frames[frame * Stereo], std::min(PeakBlockFrames, frames - frame) * Stereo));
    const float highest = m_blockPeaks.empty() ? 0 : *std::max_element(m_blockPeaks.begin(), m_blockPeaks.end());
    if (highest > 0)
        m_measured.truePeak = 20 * std::log10(double(highest));
}

// Blocks whose highest sample lies more than the allowance below the threshold cannot reach
// it between their samples, nor, below the stretch's highest sample, hold its true peak, which
// lies at or above that sample; runs of the others get their true peak measured.
double StretchLoudness::truePeakAbove(double threshold) const
{
    if (!m_kept)
        return m_measured.truePeak;
    const double lowest = std::max(threshold, m_measured.truePeak) - Loudness::InterSampleAllowance;
    const float loud = float(std::pow(10, lowest / 20));
    const size_t frames = m_frames.size() / Stereo;
    const std::vector<float> &blockPeaks = m_blockPeaks;
    float quietPeak = 0; // the highest sample of the blocks left out
    double peak = -std::numeric_limits<double>::infinity();
    Loudness::PeakMeter meter(Stereo, m_rate);
    for (size_t first = 0; first < blockPeaks.size();) {
        if (blockPeaks[first] < loud) {
            quietPeak = std::max(quietPeak, blockPeaks[first++]);
            continue;
        }
        size_t last = first;
        while (last < blockPeaks.size() && blockPeaks[last] >= loud)
            ++last;
        const size_t begin = first * PeakBlockFrames;
        const size_t end = std::min(frames, last * PeakBlockFrames);
        const size_t priming = std::min(begin, PeakMarginFrames);
        const size_t drained = std::min(frames - end, PeakMarginFrames);
        const float *run = &m_frames[begin * Stereo];
        peak = std::max(peak, meter.of(run, priming, end - begin + drained));
        first = last;
    }
    const double quietBound = quietPeak > 0 ? 20 * std::log10(quietPeak) + Loudness::InterSampleAllowance
                                            : -std::numeric_limits<double>::infinity();
    return std::max(peak, quietBound);
}

} // namespace Analysis
