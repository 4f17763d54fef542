#include "analysis/chorusonsets.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace Chorus {

namespace {

constexpr double FramesPerSecond = 100;
constexpr double LowHz = 150;
constexpr double FloorShare = 0.01; // of the mean power: -20 dB
constexpr int RiseFrames = 2;

// Each frame's rise in dB over the frame RiseFrames before, never below 0.
std::vector<float> rises(const std::vector<double> &power)
{
    const double mean = power.empty() ? 0 : std::accumulate(power.begin(), power.end(), 0.0) / double(power.size());
    const double floor = std::max(FloorShare * mean, 1e-12);
    std::vector<float> level(power.size());
    std::transform(power.begin(), power.end(), level.begin(), [&](double value) { return float(10 * std::log10(value + floor)); });
    std::vector<float> rise(power.size());
    for (size_t frame = RiseFrames; frame < level.size(); ++frame)
        rise[frame] = std::max(0.0f, level[frame] - level[frame - RiseFrames]);
    return rise;
}

} // namespace

float Onsets::near(const std::vector<float> &band, double seconds, double reachSeconds) const
{
    const long from = std::max(0L, std::lround((seconds - reachSeconds) * framesPerSecond));
    const long to = std::min(long(band.size()) - 1, std::lround((seconds + reachSeconds) * framesPerSecond));
    float strongest = 0;
    for (long frame = from; frame <= to; ++frame)
        strongest = std::max(strongest, band[size_t(frame)]);
    return strongest;
}

RhythmBand Averaged(const std::vector<float> &samples, double rate, double lowest)
{
    const int factor = std::max(1, int(rate / lowest));
    RhythmBand band{std::vector<float>(samples.size() / size_t(factor)), rate / factor};
    for (size_t index = 0; index < band.samples.size(); ++index) {
        const auto group = samples.begin() + long(index) * factor;
        band.samples[index] = std::accumulate(group, group + factor, 0.0f) / float(factor);
    }
    return band;
}

Onsets OnsetsOf(const RhythmBand &band)
{
    Onsets onsets;
    onsets.framesPerSecond = FramesPerSecond;
    const std::vector<float> &samples = band.samples;
    const double rate = band.rate;
    if (rate <= 0)
        return onsets;
    // Two one-pole low-passes: 12 dB an octave above LowHz, enough to leave the chords out.
    const double pole = std::exp(-2 * M_PI * LowHz / rate);
    double once = 0;
    double twice = 0;
    std::vector<double> lowPower;
    std::vector<double> wholePower;
    const double hop = rate / FramesPerSecond;
    size_t sample = 0;
    for (long frame = 0;; ++frame) {
        const auto end = size_t(std::lround(double(frame + 1) * hop));
        if (end > samples.size())
            break;
        double low = 0;
        double whole = 0;
        for (; sample < end; ++sample) {
            once = samples[sample] + pole * (once - samples[sample]);
            twice = once + pole * (twice - once);
            low += twice * twice;
            whole += double(samples[sample]) * samples[sample];
        }
        lowPower.push_back(low / hop);
        wholePower.push_back(whole / hop);
    }
    onsets.low = rises(lowPower);
    onsets.whole = rises(wholePower);
    return onsets;
}

} // namespace Chorus
