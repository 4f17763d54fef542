#include "analysis/chorusbeginning.h"

#include "analysis/chorussections.h"

#include <algorithm>
#include <cmath>
#include <optional>

namespace Chorus {

namespace {

constexpr double SmoothingLeadSeconds = 1;
constexpr size_t LeastOccurrencesFollowedBack = 3;
constexpr double ReachBackSeconds = 30;
constexpr double ReachAheadSeconds = 6; // a window may begin before its section
constexpr double MatchedSeconds = 1;    // two stretches repeat each other when alike over a second
constexpr double ClearRiseDb = 3;
// A copy is a section played again: 10 to 30 s, shorter ones match by chance. It matches the
// stretch after it as well as a chorus matches itself.
constexpr double ShortestCopySeconds = 10;
constexpr double LongestCopySeconds = 30;
constexpr double CopyMatch = 0.6;
constexpr double CopyQuieterDb = 3; // a copy much quieter is a verse on the same chords
constexpr int MostCopies = 3;
constexpr double PauseReachSeconds = 3; // about a bar at a slow tempo
constexpr double PauseDb = 15;          // below the level of the section's first seconds
constexpr double SectionLevelSeconds = 8;

// Seconds from the chosen window's beginning (`begins`, frames at `fps`) to the beginning of
// the section it lies in: where, in the detailed frames, all the occurrences begin to repeat
// one another. Two occurrences share whatever came before both (a verse played again with
// its chorus): only with a third, after a bridge or at the end, is the section followed
// back. Nothing when they never all match.
std::optional<double> sectionBeginning(const Features &detailed, const std::vector<Occurrence> &full, int begins, double fps)
{
    const double scale = detailed.framesPerSecond / fps;
    const int anchor = int(std::lround(begins * scale));
    std::vector<int> occurrenceBegins;
    for (const Occurrence &occurrence : full)
        occurrenceBegins.push_back(int(std::lround(occurrence.begin * scale)));
    const double reachBack = occurrenceBegins.size() >= LeastOccurrencesFollowedBack ? ReachBackSeconds : 0;
    const int shared = SharedBeginning(detailed.chroma, occurrenceBegins, anchor,
                                       int(std::lround(ReachAheadSeconds * detailed.framesPerSecond)),
                                       int(std::lround(reachBack * detailed.framesPerSecond)),
                                       int(std::lround(MatchedSeconds * detailed.framesPerSecond)));
    if (shared == anchor)
        return std::nullopt;
    return (shared - anchor) / detailed.framesPerSecond;
}

// A lead-in played before every chorus repeats with it, so the repetition begins a bar early,
// but the chorus itself begins where the band comes in: the offset, from half a bar to
// `reachSeconds` after the occurrences' starts, where the bar that follows is louder than the
// bar before by ClearRiseDb or more on average over all the occurrences (the most, if
// several); 0 when there is none. From half a bar on: nearer, the rise is the downbeat already begun with.
double sharedRise(const Features &detailed, const std::vector<double> &occurrenceStarts, double barSeconds,
                  double reachSeconds)
{
    const double fps = detailed.framesPerSecond;
    const Loudness loudness(detailed.power);
    const int frames = int(detailed.power.size());
    const int bar = int(std::lround(barSeconds * fps));
    const int span = bar;
    const int reach = int(std::lround(reachSeconds * fps));
    int best = 0;
    double bestRise = ClearRiseDb;
    for (int offset = bar / 2; offset <= reach; ++offset) {
        double rise = 0;
        for (const double start : occurrenceStarts) {
            const int at = int(std::lround(start * fps)) + offset;
            if (at - span < 0 || at + span > frames)
                return 0;
            rise += LevelRatioDb(loudness.of(at, at + span), loudness.of(at - span, at));
        }
        rise /= double(occurrenceStarts.size());
        if (rise > bestRise) {
            bestRise = rise;
            best = offset;
        }
    }
    return best / fps;
}

// The lag, in frames, of a copy of the stretch beginning at `begin` played just before it
// (the first time through a chorus played twice running); 0 when there is none.
int copyBefore(const Matrix &similarity, const Loudness &loudness, int begin, double fps)
{
    int bestLag = 0;
    double bestMatch = CopyMatch;
    const int longest = std::min({int(std::lround(LongestCopySeconds * fps)), begin, similarity.size - begin});
    for (int lag = int(std::lround(ShortestCopySeconds * fps)); lag <= longest; ++lag) {
        double sum = 0;
        for (int frame = 0; frame < lag; ++frame)
            sum += similarity.at(begin - lag + frame, begin + frame);
        if (sum / lag >= bestMatch) {
            bestMatch = sum / lag;
            bestLag = lag;
        }
    }
    if (bestLag && LevelRatioDb(loudness.of(begin - bestLag, begin), loudness.of(begin, begin + bestLag)) < -CopyQuieterDb)
        return 0;
    return bestLag;
}


// Seconds from the occurrences' starts to just past a pause they share within
// PauseReachSeconds (on average PauseDb below the level of the section that follows): the
// preview should not open on the end of a phrase and a silence. 0 when there is none.
double pastSharedPause(const Features &detailed, const std::vector<double> &starts)
{
    const double fps = detailed.framesPerSecond;
    const int frames = int(detailed.power.size());
    const Loudness loudness(detailed.power);
    const int level = int(std::lround(SectionLevelSeconds * fps));
    int past = 0;
    for (int offset = 0; offset <= int(std::lround(PauseReachSeconds * fps)); ++offset) {
        double belowDb = 0;
        for (const double start : starts) {
            const int at = int(std::lround(start * fps));
            if (at + level > frames)
                return 0;
            belowDb += LevelRatioDb(detailed.power[size_t(at + offset)], loudness.of(at, at + level));
        }
        if (belowDb / double(starts.size()) < -PauseDb)
            past = offset + 1;
    }
    return past / fps;
}

} // namespace

int FirstCopy(const Matrix &similarity, const Loudness &loudness, int begin, int earliest, double fps)
{
    for (int copies = 0; copies < MostCopies; ++copies) {
        const int lag = copyBefore(similarity, loudness, begin, fps);
        if (lag == 0 || begin - lag < earliest)
            break;
        begin -= lag;
    }
    return begin;
}

double ToSectionBeginning(const Features &detailed, const std::vector<Occurrence> &full, int begins, double fps,
                          double barSeconds)
{
    // Where the occurrences never all match, the window's beginning is known only roughly (the
    // averaging along the diagonals lets a repetition seem to begin early): a second on, and
    // the band may come in as far as a window may begin before its section.
    const std::optional<double> shared = sectionBeginning(detailed, full, begins, fps);
    const double moved = shared.value_or(SmoothingLeadSeconds);
    std::vector<double> starts;
    for (const Occurrence &occurrence : full)
        starts.push_back(std::max(0.0, occurrence.begin / fps + moved));
    const double rise = barSeconds > 0 ? sharedRise(detailed, starts, barSeconds, shared ? barSeconds : ReachAheadSeconds) : 0;
    for (double &at : starts)
        at += rise;
    return moved + rise + pastSharedPause(detailed, starts);
}

} // namespace Chorus
