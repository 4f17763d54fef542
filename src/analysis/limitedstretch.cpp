#include "analysis/limitedstretch.h"

#include "analysis/limiter.h"
#include "analysis/stretchloudness.h"

#include <algorithm>
#include <cmath>

namespace LimitedStretch {

namespace {

// Each round costs a limiting and a measuring; the first usually leaves a few tenths of an
// LU, the second a few hundredths.
constexpr int MostRounds = 4;
// Where the hits carry much of the loudness, a dB more gain brings far less than a dB more
// loudness; the rounds after the first go by what the last one brought, but never by more
// than this at once, nor on a slope too flat to tell.
constexpr double LargestStep = 6;   // dB
constexpr double FlattestSlope = 0.2; // LU per dB
constexpr double CloseEnough = 0.05; // LU
// Further below the target than this, a limited preview is held back, and said to be.
constexpr double FallsShort = 0.3; // LU

double hundredths(double value)
{
    return std::round(value * 100) / 100;
}

// As the analysis measured the stretch: with the fades SoX gives the preview.
std::optional<double> loudnessOf(const DecodedAudio::Stretch &stretch, const Plan &plan)
{
    Analysis::StretchLoudness meter({0, double(stretch.frames()) / stretch.rate, plan.fadeIn, plan.fadeOut});
    meter.initialize(stretch.rate, stretch.channels);
    meter.processSamples(stretch.samples.data(), stretch.frames());
    meter.finalize();
    return meter.measured().integrated;
}

// The stretch without its DC offset: each channel less its mean. The offset is no sound (the
// loudness meter's filter takes it out) but lifts every peak on its side, so a limiter that
// answered to it would cut the whole stretch, not its hits, and leave it quieter.
DecodedAudio::Stretch centred(const DecodedAudio::Stretch &decoded)
{
    DecodedAudio::Stretch centred = decoded;
    const size_t channels = size_t(decoded.channels);
    const size_t frames = decoded.frames();
    for (size_t channel = 0; channel < channels && frames > 0; ++channel) {
        double sum = 0;
        for (size_t frame = 0; frame < frames; ++frame)
            sum += decoded.samples[frame * channels + channel];
        const float mean = float(sum / double(frames));
        for (size_t frame = 0; frame < frames; ++frame)
            centred.samples[frame * channels + channel] -= mean;
    }
    return centred;
}

// The stretch without what lies below `cutoff` (Hz): a second-order Butterworth high-pass
// (the audio EQ cookbook's) on each channel.
void highPassed(DecodedAudio::Stretch &stretch, double cutoff)
{
    const double omega = 2 * M_PI * cutoff / stretch.rate;
    const double alpha = std::sin(omega) / std::sqrt(2.0);
    const double a0 = 1 + alpha;
    const double b0 = (1 + std::cos(omega)) / 2 / a0;
    const double b1 = -2 * b0;
    const double a1 = -2 * std::cos(omega) / a0;
    const double a2 = (1 - alpha) / a0;
    const size_t channels = size_t(stretch.channels);
    for (size_t channel = 0; channel < channels; ++channel) {
        double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
        for (size_t frame = 0; frame < stretch.frames(); ++frame) {
            float &sample = stretch.samples[frame * channels + channel];
            const double y = b0 * (sample + x2) + b1 * x1 - a1 * y1 - a2 * y2;
            x2 = x1;
            x1 = sample;
            y2 = y1;
            y1 = y;
            sample = float(y);
        }
    }
}

// The stretch as the limiter takes it (centred, high-passed when asked) and as it
// hears it (with its fades; none without fades), worked out once for all the rounds that
// limit it.
struct Heard {
    DecodedAudio::Stretch source;
    std::vector<float> faded;
};

Heard heardOf(const DecodedAudio::Stretch &decoded, double fadeIn, double fadeOut, double subsonicCutoff)
{
    Heard heard{centred(decoded), {}};
    if (subsonicCutoff > 0)
        highPassed(heard.source, subsonicCutoff);
    if (fadeIn > 0 || fadeOut > 0)
        heard.faded = Analysis::Faded(heard.source.samples, decoded.rate, fadeIn, fadeOut);
    return heard;
}

// Its true peak (dBTP).
double peakOf(const Heard &heard)
{
    const DecodedAudio::Stretch &source = heard.source;
    const std::vector<float> &samples = heard.faded.empty() ? source.samples : heard.faded;
    return Loudness::PeakMeter(source.channels, source.rate).of(samples.data(), 0, source.frames());
}

DecodedAudio::Stretch limitedTo(const Heard &heard, double ceiling, double *deepestCut)
{
    const DecodedAudio::Stretch &source = heard.source;
    Limiter::TruePeakLimiter limiter(source.channels, source.rate, ceiling);
    DecodedAudio::Stretch limited{source.rate, source.channels,
                                  limiter.process(source.samples, heard.faded.empty() ? nullptr : &heard.faded)};
    if (deepestCut)
        *deepestCut = limiter.deepestCut();
    return limited;
}

Limited limitedAt(const Heard &heard, const Plan &plan, double gain, double limiterCeiling)
{
    Limited outcome;
    const auto limited = std::make_shared<const DecodedAudio::Stretch>(limitedTo(heard, limiterCeiling, &outcome.deepestCut));
    outcome.stretch = limited;
    outcome.gain = gain;
    outcome.limiterCeiling = limiterCeiling;
    if (const std::optional<double> loudness = loudnessOf(*limited, plan))
        outcome.result = *loudness + gain - plan.encodingLoss;
    outcome.heldBack = !outcome.result || *outcome.result < plan.target - FallsShort;
    return outcome;
}

} // namespace

DecodedAudio::Stretch Limit(const DecodedAudio::Stretch &decoded, double ceiling, double fadeIn, double fadeOut,
                            double subsonicCutoff, double *deepestCut)
{
    return limitedTo(heardOf(decoded, fadeIn, fadeOut, subsonicCutoff), ceiling, deepestCut);
}

double PeakOf(const DecodedAudio::Stretch &decoded, const Plan &plan)
{
    return peakOf(heardOf(decoded, plan.fadeIn, plan.fadeOut, plan.subsonicCutoff));
}

Limited At(const DecodedAudio::Stretch &decoded, const Plan &plan, double gain, double limiterCeiling)
{
    return limitedAt(heardOf(decoded, plan.fadeIn, plan.fadeOut, plan.subsonicCutoff), plan, gain, limiterCeiling);
}

Limited ToTarget(const DecodedAudio::Stretch &decoded, const Plan &plan)
{
    const Heard heard = heardOf(decoded, plan.fadeIn, plan.fadeOut, plan.subsonicCutoff);
    const double integrated = plan.measured.integrated.value_or(plan.target);
    const double wanted = std::min(plan.target - integrated + plan.encodingLoss, Loudness::MaxGain);
    // The gain at which the loudest peak, as the limiter hears it, is cut by MostCut.
    const double most = plan.ceiling + MostCut - peakOf(heard);
    double gain = hundredths(std::min(wanted, most));
    Limited limited;
    for (int round = 0; round < MostRounds; ++round) {
        const Limited before = limited;
        limited = limitedAt(heard, plan, gain, hundredths(plan.ceiling - gain));
        const double lacking = limited.result ? plan.target - *limited.result : 0;
        double slope = 1;
        if (round > 0 && before.result && limited.result)
            slope = std::max(FlattestSlope, (*limited.result - *before.result) / (gain - before.gain));
        const double step = std::min(lacking / slope, LargestStep);
        const double next = hundredths(std::min({gain + step, Loudness::MaxGain, most}));
        if (lacking < CloseEnough || next <= gain)
            break;
        gain = next;
    }
    return limited;
}

} // namespace LimitedStretch
