#include "analysis/chorusbeats.h"

#include "analysis/chorusfeatures.h"

#include <aubio/aubio.h>

#include <algorithm>
#include <cmath>

namespace Chorus {

namespace {

constexpr double WindowSeconds = 0.046;
// The tempo is heard from the band below 700 Hz: the bass, the kick drum, the body of the
// snare and the chords' strokes tell it as well as the whole band, for half the work.
constexpr double TempoRate = RhythmRate / 2;
// It is heard from the middle half of the song, where the band plays, not a free intro or a
// fading end; the beats then follow the song's own changes of tempo around it.
constexpr double TempoShare = 0.5;
constexpr int LeastBeats = 4;
// A beat the onsets of the whole band mark counts half as much as one the low notes mark.
constexpr float WholeBandWeight = 0.5f;
// How strictly the beats keep the tempo: a gap 10 % off it costs as much as a strong onset
// gives (Ellis's weight for onsets scaled to their spread).
constexpr double Tightness = 100;
constexpr double ShortestGap = 0.7; // of the period
constexpr double LongestGap = 1.4;

uint_t windowSize(int rate)
{
    return uint_t(1) << uint_t(std::max(1L, std::lround(std::log2(WindowSeconds * rate))));
}

// aubio's beats over all of the samples, in seconds.
std::vector<double> aubioBeats(const std::vector<float> &samples, int rate)
{
    std::vector<double> beats;
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
    for (size_t position = 0; position + hop <= samples.size(); position += hop) {
        std::copy_n(samples.begin() + long(position), hop, input->data);
        aubio_tempo_do(tracker, input, beat);
        if (beat->data[0] > 0)
            beats.push_back(aubio_tempo_get_last_s(tracker));
    }
    del_fvec(beat);
    del_fvec(input);
    {
        const std::lock_guard<std::mutex> locked(PlannerLock());
        del_aubio_tempo(tracker);
    }
    return beats;
}

// How far above its usual strength each onset is, in spreads; 0 where below.
std::vector<double> aboveUsual(const std::vector<float> &onsets)
{
    std::vector<double> above = InSpreads({onsets.begin(), onsets.end()}, 1e-6, INFINITY);
    for (double &value : above)
        value = std::max(0.0, value);
    return above;
}

} // namespace

double BeatPeriod(const RhythmBand &band)
{
    if (band.rate <= 0)
        return 0;
    const auto skipped = long(double(band.samples.size()) * (1 - TempoShare) / 2);
    const std::vector<float> middle(band.samples.begin() + skipped, band.samples.end() - skipped);
    const RhythmBand lower = Averaged(middle, band.rate, TempoRate);
    const std::vector<double> beats = aubioBeats(lower.samples, int(std::lround(lower.rate)));
    if (beats.size() < LeastBeats)
        return 0;
    std::vector<double> gaps;
    for (size_t index = 1; index < beats.size(); ++index)
        gaps.push_back(beats[index] - beats[index - 1]);
    std::nth_element(gaps.begin(), gaps.begin() + long(gaps.size() / 2), gaps.end());
    return gaps[gaps.size() / 2];
}

std::vector<double> TrackBeats(const Onsets &onsets, double period)
{
    const double frames = period * onsets.framesPerSecond;
    const int shortest = std::max(1, int(std::ceil(ShortestGap * frames)));
    const int longest = int(std::floor(LongestGap * frames));
    if (period <= 0 || longest < shortest)
        return {};
    const std::vector<double> low = aboveUsual(onsets.low);
    const std::vector<double> whole = aboveUsual(onsets.whole);
    std::vector<double> cost(size_t(longest) + 1);
    for (int gap = shortest; gap <= longest; ++gap)
        cost[size_t(gap)] = Tightness * std::pow(std::log(gap / frames), 2);
    // The best score of a run of beats ending on each frame, and the beat before it there.
    const size_t count = low.size();
    std::vector<double> score(count);
    std::vector<int> previous(count, -1);
    for (size_t frame = 0; frame < count; ++frame) {
        double best = 0;
        for (int gap = shortest; gap <= std::min(longest, int(frame)); ++gap) {
            const double value = score[frame - size_t(gap)] - cost[size_t(gap)];
            if (value > best) {
                best = value;
                previous[frame] = int(frame) - gap;
            }
        }
        score[frame] = low[frame] + WholeBandWeight * whole[frame] + best;
    }
    if (count == 0)
        return {};
    // The run ends on the best frame within a period of the end.
    const auto last = std::max_element(score.end() - std::min<long>(long(count), long(frames) + 1), score.end());
    if (*last <= 0)
        return {};
    std::vector<double> beats;
    for (int frame = int(last - score.begin()); frame >= 0; frame = previous[size_t(frame)])
        beats.push_back(frame / onsets.framesPerSecond);
    std::reverse(beats.begin(), beats.end());
    return beats;
}

} // namespace Chorus
