#include "analysis/chorusinside.h"

#include <algorithm>
#include <cmath>

namespace Chorus {

namespace {

constexpr double StepSeconds = 0.5;
constexpr double WindowSeconds = 3; // a line of words, about
constexpr double SwaySeconds = 0.5; // occurrences line up only roughly
constexpr double LongestCycleSeconds = 60;
// The paths of a repetition may cross its beginning some bars off. An occurrence whose chords,
// over at most the unit's first LinedUpSeconds, match those of the occurrence where the search
// found the unit clearly better (by LinedUpMargin) more than a bar or so away (within
// LinedUpReachSeconds) is out of line, and left out.
constexpr double LinedUpSeconds = 30;
constexpr double LinedUpReachSeconds = 16;
constexpr double LinedUpSway = 2;
constexpr double LinedUpMargin = 0.05;
// Nearer the unit's beginning than about a bar and a half, the unit begins with its chorus
// (the repetition found a little early).
constexpr double ShortestVerseSeconds = 3;
constexpr double StepReachSeconds = 4; // on either side of where the chorus's timbre begins to match
// How much better the chorus's timbre matches between the occurrences than the verse's before
// it (a product of standardised cepstra, -1..1): the same words sung again.
constexpr double WeakContrast = 0.15;
constexpr double ClearContrast = 0.3;
constexpr double LevelSeconds = 8;
// Of the offsets: the agreement of the verse and that of the chorus; the chorus's stretch
// matches at least two thirds of the way from the one to the other.
constexpr double LowShare = 0.1;
constexpr double HighShare = 0.9;
constexpr double ChorusMatch = 2.0 / 3;

// Each coefficient less its mean over the song, over its spread; each frame then of length 1,
// so that how alike two frames are is the product of theirs.
std::vector<Timbre> standardised(std::vector<Timbre> timbre)
{
    Timbre mean{};
    Timbre square{};
    for (const Timbre &frame : timbre) {
        for (size_t index = 0; index < frame.size(); ++index) {
            mean[index] += frame[index];
            square[index] += frame[index] * frame[index];
        }
    }
    const float count = std::max(1.0f, float(timbre.size()));
    Timbre spread{};
    for (size_t index = 0; index < mean.size(); ++index) {
        mean[index] /= count;
        spread[index] = std::sqrt(std::max(1e-6f, square[index] / count - mean[index] * mean[index]));
    }
    for (Timbre &frame : timbre) {
        float length = 0;
        for (size_t index = 0; index < frame.size(); ++index) {
            frame[index] = (frame[index] - mean[index]) / spread[index];
            length += frame[index] * frame[index];
        }
        length = std::max(std::sqrt(length), 1e-6f);
        for (float &value : frame)
            value /= length;
    }
    return timbre;
}

float alike(const Timbre &one, const Timbre &other)
{
    float sum = 0;
    for (size_t index = 0; index < one.size(); ++index)
        sum += one[index] * other[index];
    return sum;
}

// How alike the `window` frames from `one` and from `other` are, the second moved by up to
// `sway` frames either way; below -1 where either runs past the song.
double agreement(const std::vector<Timbre> &timbre, int one, int other, int window, int sway)
{
    const int size = int(timbre.size());
    double best = -2;
    for (int shift = -sway; shift <= sway; ++shift) {
        const int moved = other + shift;
        if (moved < 0 || moved + window > size || one + window > size)
            continue;
        double sum = 0;
        for (int frame = 0; frame < window; ++frame)
            sum += alike(timbre[size_t(one + frame)], timbre[size_t(moved + frame)]);
        best = std::max(best, sum / window);
    }
    return best;
}

// For every StepSeconds from the occurrences' beginnings over one cycle (from one occurrence to
// the next, as far as two of them reach): how well the timbre of the WindowSeconds around
// matches between every two occurrences, and how loud they are there.
struct Profile {
    std::vector<double> agreement;
    std::vector<double> levelDb;
};

Profile profileOf(const std::vector<int> &begins, int cycle, const Features &detailed)
{
    const std::vector<Timbre> timbre = standardised(detailed.timbre);
    const Loudness loudness(detailed.power);
    const double fps = detailed.framesPerSecond;
    const int window = int(std::lround(WindowSeconds * fps));
    const int step = int(std::lround(StepSeconds * fps));
    const int sway = int(std::lround(SwaySeconds * fps));
    const int frames = int(detailed.power.size());
    Profile profile;
    for (int offset = 0; offset < cycle; offset += step) {
        // Around the offset, but within the song where the first occurrence begins with it.
        const int from = std::max(offset - window / 2, -begins.front());
        double sum = 0;
        int pairs = 0;
        double level = 0;
        int heard = 0;
        for (size_t one = 0; one < begins.size(); ++one) {
            const int at = begins[one] + from;
            if (at + window > frames)
                continue;
            level += LevelRatioDb(loudness.of(at, at + window), 1);
            ++heard;
            for (size_t other = one + 1; other < begins.size(); ++other) {
                const double match = agreement(timbre, at, begins[other] + from, window, sway);
                if (match >= -1) {
                    sum += match;
                    ++pairs;
                }
            }
        }
        if (pairs == 0)
            break; // past the song's end
        profile.agreement.push_back(sum / pairs);
        profile.levelDb.push_back(level / heard);
    }
    return profile;
}

double meanOf(const std::vector<double> &values, size_t from, size_t to)
{
    from = std::min(from, values.size());
    to = std::clamp(to, from, values.size());
    double sum = 0;
    for (size_t index = from; index < to; ++index)
        sum += values[index];
    return to > from ? sum / double(to - from) : 0;
}

// The value below which `share` of `values` lie.
double quantile(std::vector<double> values, double share)
{
    const auto at = values.begin() + long(share * double(values.size() - 1));
    std::nth_element(values.begin(), at, values.end());
    return *at;
}

// The stretch of offsets [first, last) whose timbre matches best between the occurrences: the
// most agreement above ChorusMatch of its range, summed.
std::pair<size_t, size_t> bestMatched(const std::vector<double> &agreement)
{
    const double low = quantile(agreement, LowShare);
    const double middle = low + ChorusMatch * (quantile(agreement, HighShare) - low);
    std::pair<size_t, size_t> best{0, 0};
    double bestSum = 0;
    double sum = 0;
    size_t first = 0;
    for (size_t index = 0; index < agreement.size(); ++index) {
        if (sum <= 0) {
            sum = 0;
            first = index;
        }
        sum += agreement[index] - middle;
        if (sum > bestSum) {
            bestSum = sum;
            best = {first, index + 1};
        }
    }
    return best;
}

// Near `around`, the offset where the agreement rises most: the mean of the StepReachSeconds
// after it less that of those before.
size_t steepestRise(const std::vector<double> &agreement, size_t around, size_t reach)
{
    size_t steepest = around;
    double most = -2;
    for (size_t index = std::max<size_t>(1, around > reach ? around - reach : 0);
         index <= std::min(around + reach, agreement.size() - 1); ++index) {
        const double rise = meanOf(agreement, index, index + reach) - meanOf(agreement, index > reach ? index - reach : 0, index);
        if (rise > most) {
            most = rise;
            steepest = index;
        }
    }
    return steepest;
}

// How much better the timbre matches over the offsets [from, to) than before them, in the verse.
double contrastOf(const std::vector<double> &agreement, size_t from, size_t to)
{
    return meanOf(agreement, from, to) - meanOf(agreement, 0, from);
}

// Clearly the same words again, or the later part's timbre matching a little better and that
// part louder: the chorus is the later part; a weaker case is offered beside the other start.
Inside decided(double offset, double length, double contrast, double riseDb)
{
    if (contrast >= ClearContrast && riseDb > -LouderDb)
        return Inside{offset, length, std::nullopt};
    if (contrast >= ClearContrast || riseDb >= LouderDb)
        return Inside{offset, length, 0.0};
    return Inside{0, 0, offset};
}

// How alike the chords of the `length` frames from `one` and from `other` are, on average;
// -1 where either runs past the song.
double chordMatch(const std::vector<Chroma> &chroma, int one, int other, int length)
{
    const int size = int(chroma.size());
    if (one < 0 || other < 0 || one + length > size || other + length > size)
        return -1;
    double sum = 0;
    for (int frame = 0; frame < length; ++frame)
        sum += Likeness(chroma[size_t(one + frame)], chroma[size_t(other + frame)]);
    return sum / std::max(1, length);
}

// Whether the occurrence at `other` lines up with the one at `reference` (frames): its chords
// match best near where it begins.
bool linedUp(const std::vector<Chroma> &chroma, int reference, int other, int length, double fps)
{
    const double there = chordMatch(chroma, reference, other, length);
    const int sway = int(std::lround(LinedUpSway * fps));
    const int reach = int(std::lround(LinedUpReachSeconds * fps));
    for (int lag = -reach; lag <= reach; ++lag) {
        if (std::abs(lag) > sway && chordMatch(chroma, reference, other + lag, length) > there + LinedUpMargin)
            return false;
    }
    return true;
}

// The frames where the occurrences that line up with the one where the search found the unit
// begin, that one among them.
std::vector<int> linedUpStarts(const Repeated &unit, const Features &detailed)
{
    const double fps = detailed.framesPerSecond;
    const int frames = int(detailed.chroma.size());
    const Section &own = unit.occurrences[unit.window];
    int length = int(std::lround(std::min(LinedUpSeconds, own.end - own.begin) * fps));
    for (const Section &occurrence : unit.occurrences)
        length = std::min(length, frames - int(std::lround(occurrence.begin * fps)));
    const int reference = int(std::lround(own.begin * fps));
    std::vector<int> starts;
    for (const Section &occurrence : unit.occurrences) {
        const int start = int(std::lround(occurrence.begin * fps));
        if (start == reference || linedUp(detailed.chroma, reference, start, length, fps))
            starts.push_back(start);
    }
    return starts;
}

} // namespace

Inside ChorusInside(const Repeated &unit, const Features &detailed)
{
    if (unit.occurrences.size() < 2)
        return {};
    const double fps = detailed.framesPerSecond;
    const std::vector<int> starts = linedUpStarts(unit, detailed);
    if (starts.size() < 2)
        return {};
    int cycle = int(std::lround(LongestCycleSeconds * fps));
    for (size_t index = 1; index < starts.size(); ++index)
        cycle = std::min(cycle, starts[index] - starts[index - 1]);
    const Profile profile = profileOf(starts, cycle, detailed);
    const std::vector<double> &agreement = profile.agreement;
    if (agreement.size() < 2)
        return {};
    const auto steps = [](double seconds) { return size_t(std::lround(seconds / StepSeconds)); };
    const auto [first, last] = bestMatched(agreement);
    const size_t chorus = std::min(steepestRise(agreement, first, steps(StepReachSeconds)), last - 1);
    const double contrast = contrastOf(agreement, chorus, last);
    if (chorus < steps(ShortestVerseSeconds) || contrast < WeakContrast)
        return {};
    const size_t level = steps(LevelSeconds);
    const double riseDb = meanOf(profile.levelDb, chorus, chorus + level)
                          - meanOf(profile.levelDb, chorus > level ? chorus - level : 0, chorus);
    return decided(double(chorus) * StepSeconds, double(last - chorus) * StepSeconds, contrast, riseDb);
}

} // namespace Chorus
