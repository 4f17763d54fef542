#include "analysis/limiter.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <deque>

namespace Limiter {

namespace {

constexpr int Oversampling = 4;
// The samples on each side of a point between two samples that its interpolation reads.
constexpr int HalfSpan = 8;
constexpr int Span = 2 * HalfSpan;
// Frames whose samples, with their neighbours, are checked against the ceiling at once.
constexpr size_t BlockFrames = 64;
// A gain this near 1 is 1: the signal passes as it came.
constexpr float Unity = 1 - 1e-6f;

using Phase = std::array<float, Span>;
using Phases = std::array<Phase, Oversampling - 1>;

// The interpolation at each point between a sample and the next one: a Hann-windowed sinc,
// as true-peak meters use, scaled to pass a constant as it is. Tap k reads the sample
// k - (HalfSpan - 1) frames after the earlier sample.
const Phases &interpolation()
{
    static const Phases phases = [] {
        Phases made{};
        for (int phase = 1; phase < Oversampling; ++phase) {
            std::array<double, Span> taps{};
            double sum = 0;
            for (int tap = 0; tap < Span; ++tap) {
                const double distance = double(tap - (HalfSpan - 1)) - double(phase) / Oversampling;
                const double window = 0.5 * (1 + std::cos(M_PI * distance / HalfSpan));
                taps[size_t(tap)] = std::sin(M_PI * distance) / (M_PI * distance) * window;
                sum += taps[size_t(tap)];
            }
            for (int tap = 0; tap < Span; ++tap)
                made[size_t(phase - 1)][size_t(tap)] = float(taps[size_t(tap)] / sum);
        }
        return made;
    }();
    return phases;
}

// The most the interpolation can raise the highest sample it reads.
float interpolationBound()
{
    float bound = 1;
    for (const Phase &phase : interpolation()) {
        float sum = 0;
        for (const float tap : phase)
            sum += std::fabs(tap);
        bound = std::max(bound, sum);
    }
    return bound;
}

// The highest magnitude between a sample and the next, of one channel: `first` is the
// sample HalfSpan - 1 before the earlier one.
float betweenPeak(const float *first)
{
    float peak = 0;
    for (const Phase &phase : interpolation()) {
        float value = 0;
        for (size_t tap = 0; tap < Span; ++tap)
            value += phase[tap] * first[tap];
        peak = std::max(peak, std::fabs(value));
    }
    return peak;
}

// One channel of interleaved samples, with HalfSpan frames of silence on each side, so that
// the interpolation reads past the ends of the stretch as it reads inside it.
std::vector<float> paddedChannel(const std::vector<float> &samples, int channels, int channel)
{
    const size_t frames = samples.size() / size_t(channels);
    std::vector<float> padded(frames + 2 * HalfSpan, 0.0f);
    for (size_t frame = 0; frame < frames; ++frame)
        padded[HalfSpan + frame] = samples[frame * size_t(channels) + size_t(channel)];
    return padded;
}

// The least of each window [frame - before, frame + after], in one pass.
std::vector<float> windowMinima(const std::vector<float> &values, size_t before, size_t after)
{
    std::vector<float> minima(values.size());
    std::deque<size_t> rising; // frames whose values rise from front to back
    size_t next = 0;
    for (size_t frame = 0; frame < values.size(); ++frame) {
        for (; next < values.size() && next <= frame + after; ++next) {
            while (!rising.empty() && values[rising.back()] >= values[next])
                rising.pop_back();
            rising.push_back(next);
        }
        while (rising.front() + before < frame)
            rising.pop_front();
        minima[frame] = values[rising.front()];
    }
    return minima;
}

// The mean of each run of `length` values ending at a frame; before the first, the first.
std::vector<float> runningMean(const std::vector<float> &values, size_t length)
{
    std::vector<float> means(values.size());
    double sum = double(values.front()) * double(length);
    for (size_t frame = 0; frame < values.size(); ++frame) {
        sum += values[frame] - (frame >= length ? values[frame - length] : values.front());
        means[frame] = float(sum / double(length));
    }
    return means;
}

} // namespace

TruePeakLimiter::TruePeakLimiter(int channels, int rate, double ceiling)
    : m_channels(channels), m_rate(rate), m_ceiling(float(std::pow(10, ceiling / 20)))
{
}

std::vector<float> TruePeakLimiter::process(const std::vector<float> &samples, const std::vector<float> *heard)
{
    const size_t frames = samples.size() / size_t(m_channels);
    m_gains.assign(frames, 1.0f);
    if (frames == 0)
        return samples;
    const std::vector<float> needed = neededGains(heard ? *heard : samples);
    if (*std::min_element(needed.begin(), needed.end()) >= Unity)
        return samples;
    shapeGains(needed);
    std::vector<float> limited(samples.size());
    for (size_t frame = 0; frame < frames; ++frame) {
        for (int channel = 0; channel < m_channels; ++channel) {
            const size_t at = frame * size_t(m_channels) + size_t(channel);
            limited[at] = samples[at] * m_gains[frame];
        }
    }
    return limited;
}

double TruePeakLimiter::deepestCut() const
{
    const float least = m_gains.empty() ? 1.0f : *std::min_element(m_gains.begin(), m_gains.end());
    return least >= Unity ? 0 : -20 * std::log10(double(least));
}

// Blocks whose samples, and their neighbours, lie so far below the ceiling that no point
// between them can reach it are not interpolated: most of a song, usually.
std::vector<float> TruePeakLimiter::neededGains(const std::vector<float> &samples) const
{
    const size_t frames = samples.size() / size_t(m_channels);
    const float quiet = m_ceiling / interpolationBound();
    std::vector<float> peaks(frames, 0.0f);
    std::vector<std::vector<float>> channels;
    for (int channel = 0; channel < m_channels; ++channel)
        channels.push_back(paddedChannel(samples, m_channels, channel));
    for (size_t first = 0; first < frames; first += BlockFrames) {
        const size_t last = std::min(frames, first + BlockFrames);
        const size_t from = (first > HalfSpan ? first - HalfSpan : 0) * size_t(m_channels);
        const size_t to = std::min(frames, last + HalfSpan) * size_t(m_channels);
        float highest = 0;
        for (size_t at = from; at < to; ++at)
            highest = std::max(highest, std::fabs(samples[at]));
        for (size_t channel = 0; channel < channels.size() && highest >= quiet; ++channel)
            peaksNear(channels[channel], first, last, peaks);
    }
    std::vector<float> needed(frames, 1.0f);
    for (size_t frame = 0; frame < frames; ++frame) {
        if (peaks[frame] > m_ceiling)
            needed[frame] = m_ceiling / peaks[frame];
    }
    return needed;
}

// A frame's peak is its own sample and the highest point on either side of it.
void TruePeakLimiter::peaksNear(const std::vector<float> &channel, size_t first, size_t last,
                                std::vector<float> &peaks) const
{
    const size_t frames = peaks.size();
    for (size_t frame = first > 0 ? first - 1 : 0; frame < last; ++frame) {
        const float *own = &channel[HalfSpan + frame];
        const float between = betweenPeak(own - (HalfSpan - 1));
        peaks[frame] = std::max({peaks[frame], between, std::fabs(*own)});
        if (frame + 1 < frames)
            peaks[frame + 1] = std::max(peaks[frame + 1], between);
    }
}

// The needed gain is held from the lookahead before a peak until the interpolation around
// it no longer reads it, and two running means of half the lookahead each make that a smooth
// slope down which still reaches the needed gain where the peak lies. The gain then comes
// back towards the level it has had of late (fast) and towards 1 (at the pace that level
// changes), and never above what the slope allows.
void TruePeakLimiter::shapeGains(const std::vector<float> &needed)
{
    const size_t lookahead = std::max<size_t>(2, size_t(std::lround(LookaheadSeconds * m_rate)));
    const std::vector<float> held = windowMinima(needed, HalfSpan, lookahead + HalfSpan);
    const size_t firstMean = lookahead / 2 + 1;
    const std::vector<float> sloped = runningMean(runningMean(held, firstMean), lookahead + 2 - firstMean);
    const float release = float(1 - std::exp(-1 / (ReleaseSeconds * m_rate)));
    const float drift = float(1 - std::exp(-1 / (AverageSeconds * m_rate)));
    float gain = 1;
    float ofLate = 1;
    for (size_t frame = 0; frame < needed.size(); ++frame) {
        const float back = std::max(gain + (ofLate - gain) * release, gain + (1 - gain) * drift);
        gain = std::min(back, sloped[frame]);
        if (gain >= Unity)
            gain = 1;
        ofLate += (sloped[frame] - ofLate) * drift;
        m_gains[frame] = gain;
    }
}

} // namespace Limiter
