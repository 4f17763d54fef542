#include "analysis/chorusbeats.h"

#include "analysis/chorusfeatures.h"

#include <aubio/aubio.h>

#include <algorithm>
#include <cmath>

namespace Chorus {

namespace {

constexpr double WindowSeconds = 0.046; // 1024 samples at 22050 Hz
// The tracker needs a few bars to settle on the tempo and the phase.
constexpr double SettlingSeconds = 8;

uint_t windowSize(int rate)
{
    return uint_t(1) << uint_t(std::lround(std::log2(WindowSeconds * rate)));
}

} // namespace

std::vector<double> BeatsBetween(const std::vector<float> &samples, int rate, double from, double to)
{
    std::vector<double> beats;
    if (rate <= 0)
        return beats;
    const uint_t window = windowSize(rate);
    const uint_t hop = window / 2;
    aubio_tempo_t *tracker = nullptr;
    {
        const std::lock_guard<std::mutex> locked(PlannerLock());
        tracker = new_aubio_tempo("default", window, hop, uint_t(rate));
    }
    if (!tracker)
        return beats;
    fvec_t *input = new_fvec(hop);
    fvec_t *beat = new_fvec(1);
    const size_t first = size_t(std::max(0.0, from) * rate);
    const size_t last = std::min(samples.size(), size_t(std::max(0.0, to) * rate));
    for (size_t position = first; position + hop <= last; position += hop) {
        std::copy_n(samples.begin() + long(position), hop, input->data);
        aubio_tempo_do(tracker, input, beat);
        if (beat->data[0] > 0)
            beats.push_back(double(first) / rate + aubio_tempo_get_last_s(tracker));
    }
    del_fvec(beat);
    del_fvec(input);
    {
        const std::lock_guard<std::mutex> locked(PlannerLock());
        del_aubio_tempo(tracker);
    }
    return beats;
}

double OnBeat(const std::vector<float> &samples, int rate, double seconds, double reach)
{
    const std::vector<double> beats = BeatsBetween(samples, rate, seconds - SettlingSeconds, seconds + reach + 0.5);
    const auto next = std::lower_bound(beats.begin(), beats.end(), seconds);
    return next != beats.end() && *next <= seconds + reach ? *next : seconds;
}

} // namespace Chorus
