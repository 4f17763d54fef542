#include "analysis/chorusbars.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numeric>
#include <optional>

namespace Chorus {

namespace {

constexpr double BassReachSeconds = 0.02;
constexpr int ChangeBeats = 2; // the chroma of two beats before against two after: half a bar
// The least spreads over a song that tell the bar: of the bass's rises, and of the change of
// the chroma (1 - the cosine of the two). Songs spread 3 dB and 0.1 and more; a difference
// smaller than these is not heard as an accent, and a steady drone's must not read as bars.
constexpr double LeastBassSpreadDb = 1.5;
constexpr double LeastChangeSpread = 0.05;
// The song's first note, risen from silence, is no stronger an accent than any clear one.
constexpr double MostSpreads = 2;
// What the Viterbi path pays to leave the bar's order: the evidence of about ten clear bars.
constexpr double PlaceJumpCost = 10;
constexpr double MeterChangeCost = 20;
// Whether the bar can be told: over ToldBeats beats either side, the first beats' evidence
// stands this far (in spreads of the evidence) above the other beats'.
constexpr int ToldBeats = 16;
constexpr double ToldContrast = 0.5;

constexpr std::array<int, 2> Meters{3, 4};

struct State {
    int meter;
    int place;
};

std::vector<State> states()
{
    std::vector<State> all;
    for (const int meter : Meters) {
        for (int place = 0; place < meter; ++place)
            all.push_back({meter, place});
    }
    return all;
}

// The mean chroma of the frames from `from` to `to` seconds, of length 1.
Chroma meanChroma(const Features &detailed, double from, double to)
{
    const long first = std::max(0L, std::lround(from * detailed.framesPerSecond));
    const long last = std::min(long(detailed.chroma.size()), std::max(first + 1, std::lround(to * detailed.framesPerSecond)));
    Chroma mean{};
    for (long frame = first; frame < last; ++frame) {
        for (size_t pitch = 0; pitch < mean.size(); ++pitch)
            mean[pitch] += detailed.chroma[size_t(frame)][pitch];
    }
    const float length = std::sqrt(std::inner_product(mean.begin(), mean.end(), mean.begin(), 0.0f));
    for (float &value : mean)
        value /= std::max(length, 1e-9f);
    return mean;
}

// How much each beat sounds like a bar's first: how strongly the low notes begin on it and
// how much the harmony changes there, each in spreads over the song, added.
std::vector<double> downbeatEvidence(const std::vector<double> &beats, const Onsets &onsets, const Features &detailed)
{
    std::vector<double> bass(beats.size());
    std::vector<double> change(beats.size());
    for (size_t beat = 0; beat < beats.size(); ++beat) {
        bass[beat] = onsets.near(onsets.low, beats[beat], BassReachSeconds);
        if (beat >= ChangeBeats && beat + ChangeBeats < beats.size())
            change[beat] = 1 - Likeness(meanChroma(detailed, beats[beat - ChangeBeats], beats[beat]),
                                        meanChroma(detailed, beats[beat], beats[beat + ChangeBeats]));
    }
    bass = InSpreads(bass, LeastBassSpreadDb, MostSpreads);
    change = InSpreads(change, LeastChangeSpread, MostSpreads);
    for (size_t beat = 0; beat < beats.size(); ++beat)
        bass[beat] += change[beat];
    return bass;
}

// What a beat of `evidence` adds to a path that holds it at `state`: its evidence on a bar's
// first beat, a share of it against the path on the others (so that neither metre wins by
// the number of its first beats).
double fit(const State &state, double evidence)
{
    return state.place == 0 ? evidence : -evidence / (state.meter - 1);
}

// The place of each beat in its bar along the best path of the Viterbi algorithm.
std::vector<State> bestPath(const std::vector<double> &evidence)
{
    const std::vector<State> all = states();
    std::vector<double> score(all.size());
    for (size_t state = 0; state < all.size(); ++state)
        score[state] = fit(all[state], evidence.empty() ? 0 : evidence[0]);
    std::vector<std::vector<size_t>> from(evidence.size(), std::vector<size_t>(all.size()));
    for (size_t beat = 1; beat < evidence.size(); ++beat) {
        std::vector<double> next(all.size());
        for (size_t state = 0; state < all.size(); ++state) {
            double best = -INFINITY;
            for (size_t before = 0; before < all.size(); ++before) {
                const bool sameMeter = all[before].meter == all[state].meter;
                const bool inOrder = sameMeter && (all[before].place + 1) % all[state].meter == all[state].place;
                const double value = score[before] - (inOrder ? 0 : sameMeter ? PlaceJumpCost : MeterChangeCost);
                if (value > best) {
                    best = value;
                    from[beat][state] = before;
                }
            }
            next[state] = best + fit(all[state], evidence[beat]);
        }
        score = next;
    }
    std::vector<State> path(evidence.size());
    size_t state = size_t(std::max_element(score.begin(), score.end()) - score.begin());
    for (size_t beat = evidence.size(); beat-- > 0;) {
        path[beat] = all[state];
        state = from[beat][state];
    }
    return path;
}

// Whether the first beats stand out from the others over the 2 ToldBeats + 1 beats around
// each beat (moved inside the song at its ends, so that as many bars always count).
std::vector<bool> toldBars(const std::vector<double> &evidence, const std::vector<int> &places)
{
    const size_t span = std::min(evidence.size(), size_t(2 * ToldBeats + 1));
    std::vector<bool> told(evidence.size());
    for (size_t beat = 0; beat < evidence.size(); ++beat) {
        const size_t from = std::min(beat > ToldBeats ? beat - ToldBeats : 0, evidence.size() - span);
        double first = 0;
        double other = 0;
        int firsts = 0;
        for (size_t around = from; around < from + span; ++around) {
            const bool isFirst = places[around] == 0;
            (isFirst ? first : other) += evidence[around];
            firsts += isFirst;
        }
        const int others = int(span) - firsts;
        told[beat] = firsts > 1 && others > 0 && first / firsts - other / others >= ToldContrast;
    }
    return told;
}

} // namespace

std::vector<double> Bars::downbeats() const
{
    std::vector<double> firsts;
    for (size_t beat = 0; beat < beats.size(); ++beat) {
        if (places[beat] == 0 && told[beat])
            firsts.push_back(beats[beat]);
    }
    return firsts;
}

Bars::Placed Bars::nearest(double seconds, double reach, double earliest) const
{
    const auto distance = [&](size_t beat) { return std::abs(beats[beat] - seconds); };
    std::optional<size_t> beat;
    std::optional<size_t> first;
    const auto from = std::lower_bound(beats.begin(), beats.end(), std::max(earliest, seconds - reach));
    for (auto index = size_t(from - beats.begin()); index < beats.size() && beats[index] <= seconds + reach; ++index) {
        if (!beat || distance(index) < distance(*beat))
            beat = index;
        if (places[index] == 0 && told[index] && (!first || distance(index) < distance(*first)))
            first = index;
    }
    if (beat && first && told[*beat])
        return {beats[*first], true, true};
    return beat ? Placed{beats[*beat], false, true} : Placed{seconds, false, false};
}

Bars BarsOf(const std::vector<double> &beats, const Onsets &onsets, const Features &detailed)
{
    Bars bars;
    bars.beats = beats;
    const std::vector<double> evidence = downbeatEvidence(beats, onsets, detailed);
    for (const State &state : bestPath(evidence))
        bars.places.push_back(state.place);
    bars.told = toldBars(evidence, bars.places);
    return bars;
}

} // namespace Chorus
