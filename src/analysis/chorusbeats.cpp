#include "analysis/chorusbeats.h"

#include "analysis/chorusfeatures.h"

#include <aubio/aubio.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace Chorus {

namespace {

constexpr double WindowSeconds = 0.046; // 1024 samples at 22050 Hz
// The tracker needs a few bars to settle on the tempo and the phase.
constexpr double SettlingSeconds = 8;

uint_t windowSize(int rate)
{
    return uint_t(1) << uint_t(std::lround(std::log2(WindowSeconds * rate)));
}

// A beat the tracker found, in seconds of the song, and how far it had heard by then: the
// end of the block it found it in, in samples from where it began.
struct Found {
    double seconds;
    size_t heard;
};

// aubio's tracker over the samples first .. last-1.
std::vector<Found> track(const std::vector<float> &samples, int rate, size_t first, size_t last)
{
    std::vector<Found> beats;
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
    for (size_t position = first; position + hop <= last; position += hop) {
        std::copy_n(samples.begin() + long(position), hop, input->data);
        aubio_tempo_do(tracker, input, beat);
        if (beat->data[0] > 0)
            beats.push_back(Found{double(first) / rate + aubio_tempo_get_last_s(tracker), position + hop - first});
    }
    del_fvec(beat);
    del_fvec(input);
    {
        const std::lock_guard<std::mutex> locked(PlannerLock());
        del_aubio_tempo(tracker);
    }
    return beats;
}

// The tracker hears the song in order and only what has come, so a run from the same sample
// over the same samples finds, up to where it stops, the beats a longer run found there. The
// search asks for the beats of the bar around the chorus and then, mostly from the same
// sample, for the beat to begin on: each thread keeps its last run, with the samples it
// heard, and answers the second question from it.
struct Run {
    int rate = 0;
    size_t first = 0;
    std::vector<float> heard;
    std::vector<Found> beats;

    bool covers(const std::vector<float> &samples, int songRate, size_t from, size_t to) const
    {
        return songRate == rate && from == first && to - from <= heard.size()
               && std::memcmp(samples.data() + from, heard.data(), (to - from) * sizeof(float)) == 0;
    }
};

thread_local Run lastRun;

} // namespace

std::vector<double> BeatsBetween(const std::vector<float> &samples, int rate, double from, double to)
{
    std::vector<double> beats;
    if (rate <= 0)
        return beats;
    const size_t first = size_t(std::max(0.0, from) * rate);
    const size_t last = std::min(samples.size(), size_t(std::max(0.0, to) * rate));
    if (first >= last)
        return beats;
    Run &run = lastRun;
    if (!run.covers(samples, rate, first, last)) {
        run.rate = rate;
        run.first = first;
        run.heard.assign(samples.begin() + long(first), samples.begin() + long(last));
        run.beats = track(samples, rate, first, last);
    }
    for (const Found &beat : run.beats) {
        if (beat.heard <= last - first)
            beats.push_back(beat.seconds);
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
