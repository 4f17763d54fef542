#include "analysis/chorus.h"

#include "analysis/chorusbars.h"
#include "analysis/chorusbeats.h"
#include "analysis/chorusevidence.h"
#include "analysis/chorusinside.h"
#include "analysis/chorusonsets.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace Chorus {

namespace {

constexpr double FallbackShare = 0.25;
constexpr double MaxBarSeconds = 4;
constexpr size_t MostSections = 3;
// A start moves to the nearest bar line, at most half of the longest bar away.
constexpr double BarReachSeconds = 3;
// The chorus wins clearly when it wins at least one cue of the song's structure more than the
// runner-up.
constexpr double ClearWin = 1;

// The start placed on its bar: the nearest bar line, or beat where the bar cannot be told,
// never before `earliest`.
Bars::Placed onBar(const Bars &bars, double seconds, double earliest)
{
    return bars.nearest(std::max(seconds, earliest), BarReachSeconds, earliest);
}

// The occurrence the preview begins with: the one where the search found the section, or,
// where that lies in the skipped first tenth (the walk back led there), the first one after.
const Section &startingOccurrence(const Repeated &section, double earliest)
{
    if (section.occurrences[section.window].begin >= earliest)
        return section.occurrences[section.window];
    for (const Section &occurrence : section.occurrences) {
        if (occurrence.begin >= earliest)
            return occurrence;
    }
    return section.occurrences[section.window];
}

std::string reasonFor(const Bars::Placed &placed, const Inside &inside)
{
    std::string reason = placed.onBar ? "chorus, on the bar"
                         : placed.onBeat ? "chorus, on a beat: the bar cannot be told"
                                         : "chorus, no beat found";
    if (inside.otherOffset)
        reason += *inside.otherOffset > 0 ? "; a close call with a later part" : "; a close call with its verse";
    return reason;
}

// The sections from the most chorus-like down; of two alike, in the search's order.
std::vector<size_t> byLikeness(const std::vector<double> &likeness)
{
    std::vector<size_t> ranked(likeness.size());
    std::iota(ranked.begin(), ranked.end(), 0);
    std::stable_sort(ranked.begin(), ranked.end(), [&](size_t one, size_t other) { return likeness[one] > likeness[other]; });
    return ranked;
}

// Every occurrence of the chorus, and where the search found each other section, each on
// its bar; in the order they are played. `ranked`: the sections from the most chorus-like down.
std::vector<Candidate> candidatesOf(const std::vector<Repeated> &ranked, const std::vector<double> &likeness, const Bars &bars)
{
    std::vector<Candidate> candidates;
    for (size_t rank = 0; rank < ranked.size(); ++rank) {
        const Repeated &section = ranked[rank];
        for (size_t index = 0; index < section.occurrences.size(); ++index) {
            if (rank == 0 || index == section.window)
                candidates.push_back(Candidate{onBar(bars, section.occurrences[index].begin, 0).seconds, int(rank),
                                               int(section.occurrences.size()), likeness[rank]});
        }
    }
    std::sort(candidates.begin(), candidates.end(),
              [](const Candidate &one, const Candidate &other) { return one.seconds < other.seconds; });
    return candidates;
}

// The unit's occurrences from `offset` seconds on, each `length` long (as long as before
// where 0); those that would begin past the song's end are left out.
Repeated shifted(Repeated unit, double offset, double length, double songSeconds)
{
    const Section found = unit.occurrences[unit.window];
    std::vector<Section> kept;
    for (const Section &occurrence : unit.occurrences) {
        const double begin = occurrence.begin + offset;
        if (begin >= songSeconds)
            continue;
        if (occurrence.begin == found.begin)
            unit.window = kept.size();
        kept.push_back(Section{begin, length > 0 ? std::min(songSeconds, begin + length) : std::max(begin, occurrence.end)});
    }
    if (kept.empty())
        return unit;
    unit.window = std::min(unit.window, kept.size() - 1);
    unit.occurrences = kept;
    return unit;
}

// The sections from the most chorus-like down, each with its likeness, the chorus found inside
// the first; where that was a close call, the first's other start next.
std::pair<std::vector<Repeated>, std::vector<double>> rankedWithin(const std::vector<Repeated> &sections,
                                                                   const std::vector<double> &likeness,
                                                                   const Inside &inside, double songSeconds)
{
    std::vector<Repeated> ranked;
    std::vector<double> scores;
    for (const size_t index : byLikeness(likeness)) {
        ranked.push_back(sections[index]);
        scores.push_back(likeness[index]);
    }
    const Repeated unit = ranked.front();
    ranked.front() = shifted(unit, inside.offset, inside.length, songSeconds);
    if (inside.otherOffset) {
        ranked.insert(ranked.begin() + 1, shifted(unit, *inside.otherOffset, 0, songSeconds));
        scores.insert(scores.begin() + 1, scores.front());
    }
    return {ranked, scores};
}

Start withPulse(Start start, const Bars &bars)
{
    start.beats = bars.beats;
    start.downbeats = bars.downbeats();
    return start;
}

} // namespace

// The preview's length does not move its start: it begins at the chorus either way.
Start ChooseStart(const std::vector<float> &samples, int rate, double /*previewSeconds*/)
{
    const double seconds = rate > 0 ? double(samples.size()) / rate : 0;
    if (seconds > LongestSongSeconds)
        return TooLong(seconds);
    const Features detailed = ChromaOf(samples, rate);
    const RhythmBand band = Averaged(samples, rate);
    const Onsets onsets = OnsetsOf(band);
    const double period = BeatPeriod(band);
    const Bars bars = BarsOf(TrackBeats(onsets, period), onsets, detailed);
    const std::vector<Repeated> sections = RepeatedSections(detailed, seconds, std::min(MaxBarSeconds, 4 * period), MostSections);
    if (sections.empty())
        return withPulse(Fallback(seconds), bars);
    std::vector<Sound> sounds;
    for (const Repeated &section : sections)
        sounds.push_back(SoundOf(section, detailed, onsets));
    const std::vector<double> likeness = ChorusLikeness(sounds);
    const std::vector<size_t> order = byLikeness(likeness);
    const Inside inside = ChorusInside(sections[order[0]], detailed);
    const auto [ranked, scores] = rankedWithin(sections, likeness, inside, seconds);
    const Repeated &chorus = ranked.front();
    const double earliest = SkippedShare * seconds;
    const Bars::Placed placed = onBar(bars, startingOccurrence(chorus, earliest).begin, earliest);
    Start start = withPulse(Start{}, bars);
    start.seconds = placed.seconds;
    start.fromChorus = true;
    start.reason = reasonFor(placed, inside);
    start.doubtful = inside.otherOffset || (order.size() > 1 && Comparison(sounds[order[0]], sounds[order[1]]) < ClearWin);
    for (const Section &occurrence : chorus.occurrences)
        start.sections.push_back(Section{onBar(bars, occurrence.begin, 0).seconds, occurrence.end});
    start.candidates = candidatesOf(ranked, scores, bars);
    return start;
}

Start Fallback(double songSeconds)
{
    Start start;
    start.seconds = FallbackShare * songSeconds;
    start.doubtful = true;
    start.reason = "nothing repeats: a quarter in";
    return start;
}

Start TooLong(double songSeconds)
{
    Start start = Fallback(songSeconds);
    start.tooLong = true;
    start.reason = "too long to look into: a quarter in";
    return start;
}

} // namespace Chorus
