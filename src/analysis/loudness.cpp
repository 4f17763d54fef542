#include "analysis/loudness.h"

#include <ebur128.h>

#include <algorithm>
#include <cmath>
#include <limits>

namespace Loudness {

struct Meter::State {
    State(int channels, int rate, Peak peak)
        : channels(channels),
          peakMode(peak == Peak::True ? EBUR128_MODE_TRUE_PEAK : 0),
          meter(ebur128_init(unsigned(channels), unsigned(rate), EBUR128_MODE_I | peakMode))
    {
    }
    ~State()
    {
        if (meter)
            ebur128_destroy(&meter);
    }

    int channels;
    int peakMode;
    ebur128_state *meter;
};

Meter::Meter(int channels, int rate, Peak peak) : m_state(std::make_unique<State>(channels, rate, peak))
{
}

Meter::~Meter() = default;

void Meter::add(const float *samples, size_t frames)
{
    if (m_state->meter && frames > 0)
        ebur128_add_frames_float(m_state->meter, samples, frames);
}

Measurement Meter::result() const
{
    Measurement measured;
    if (!m_state->meter)
        return measured;
    double integrated = 0;
    if (ebur128_loudness_global(m_state->meter, &integrated) == EBUR128_SUCCESS && std::isfinite(integrated))
        measured.integrated = integrated;
    double peak = 0;
    for (int channel = 0; channel < m_state->channels && m_state->peakMode; ++channel) {
        double channelPeak = 0;
        if (ebur128_true_peak(m_state->meter, unsigned(channel), &channelPeak) == EBUR128_SUCCESS)
            peak = std::max(peak, channelPeak);
    }
    if (peak > 0)
        measured.truePeak = 20 * std::log10(peak);
    return measured;
}

struct PeakMeter::State {
    int channels;
    ebur128_state *meter;
};

PeakMeter::PeakMeter(int channels, int rate)
    : m_state(std::make_unique<State>(State{channels, ebur128_init(unsigned(channels), unsigned(rate), EBUR128_MODE_TRUE_PEAK)}))
{
}

PeakMeter::~PeakMeter()
{
    if (m_state->meter)
        ebur128_destroy(&m_state->meter);
}

double PeakMeter::of(const float *samples, size_t priming, size_t frames)
{
    if (!m_state->meter)
        return -std::numeric_limits<double>::infinity();
    const int channels = m_state->channels;
    ebur128_add_frames_float(m_state->meter, samples - priming * size_t(channels), priming);
    ebur128_add_frames_float(m_state->meter, samples, frames);
    double peak = 0;
    for (int channel = 0; channel < channels; ++channel) {
        double channelPeak = 0;
        if (ebur128_prev_true_peak(m_state->meter, unsigned(channel), &channelPeak) == EBUR128_SUCCESS)
            peak = std::max(peak, channelPeak);
    }
    return peak > 0 ? 20 * std::log10(peak) : -std::numeric_limits<double>::infinity();
}

double EncodingLoss(int kbps)
{
    if (kbps >= 256)
        return 0;
    if (kbps >= 224)
        return 0.19;
    if (kbps >= 192)
        return 0.28;
    return kbps > 8 ? 0.46 : 0.56;
}

double PeakMargin(int kbps)
{
    if (kbps >= 256)
        return 0.05;
    return kbps >= 96 || kbps <= 8 ? 0 : 0.3;
}

double OvershootAllowance(int kbps)
{
    if (kbps >= 128)
        return 1.5;
    return kbps >= 96 ? 2 : 6;
}

Adjustment GainFor(const Measurement &measured, double target, double encodingLoss, double peakMargin)
{
    Adjustment adjustment;
    adjustment.measured = measured;
    adjustment.target = target;
    if (!measured.integrated)
        return adjustment;
    const double asked = target - *measured.integrated + encodingLoss;
    const double wanted = std::min(asked, MaxGain);
    const double allowed = PeakCeiling - peakMargin - measured.truePeak;
    adjustment.capped = asked > MaxGain && allowed >= wanted;
    adjustment.heldBack = allowed < wanted;
    // To the hundredth, as SoX gets it, but never past the ceiling.
    double hundredths = std::round(std::min(wanted, allowed) * 100);
    if (hundredths / 100 > allowed)
        hundredths -= 1;
    adjustment.gain = hundredths / 100;
    adjustment.result = PlannedResult(measured, adjustment.gain, encodingLoss);
    return adjustment;
}

std::optional<double> PlannedResult(const Measurement &measured, double gain, double encodingLoss)
{
    if (!measured.integrated)
        return std::nullopt;
    return *measured.integrated + gain - encodingLoss;
}

double PeakThatHoldsBack(double integrated, double target, double encodingLoss, double peakMargin)
{
    return PeakCeiling - peakMargin - (target - integrated + encodingLoss);
}

} // namespace Loudness
