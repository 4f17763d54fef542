#include "analysis/chorus.h"

#include "analysis/chorusbeats.h"
#include "analysis/chorussections.h"


#include <algorithm>
#include <cmath>
#include <optional>

namespace Chorus {

namespace {

// The windows whose repetitions are looked for: 30 s, longer ones seldom repeat whole;
// less in a short song, but at least 10 s, shorter ones match by chance.
constexpr double ShortestWindowSeconds = 10;
constexpr double LongestWindowSeconds = 30;
constexpr double SkippedShare = 0.1;  // of the length, at the start
constexpr double SkippedEndSeconds = 10;
constexpr double LeastFitness = 0.18; // below: nothing repeats (made-up speech reached 0.14, songs 0.33)
constexpr double FallbackShare = 0.25;
constexpr double FullShare = 0.8;       // of the section's length: an occurrence shorter was cut short
constexpr double WeakerMatch = 0.6;     // of the best occurrence's match: a weaker variant
constexpr double NearlyAsFit = 0.85;
// A section begins where a repetition begins: how well the stretch just before a window's
// beginning repeats counts against the window, a third as much.
constexpr double PrecedingWeight = 1.0 / 3;
constexpr double SmoothingLeadSeconds = 1;
constexpr double BeatReachSeconds = 1;
constexpr size_t LeastOccurrencesFollowedBack = 3;
constexpr double ReachAheadSeconds = 6; // a window may begin before its section
constexpr double ClearRiseDb = 3;
constexpr double BarSettlingSeconds = 8;
constexpr double MaxBarSeconds = 4;
constexpr double MatchedSeconds = 1;    // two stretches repeat each other when alike over a second
// A copy played just before a stretch matches it as well as a chorus matches itself.
constexpr double CopyMatch = 0.6;
constexpr double CopyQuieterDb = 3;     // a copy much quieter is a verse on the same chords
constexpr int MostCopies = 3;
constexpr double PauseReachSeconds = 3; // about a bar at a slow tempo
constexpr double PauseDb = 15;          // below the level of the section's first seconds
constexpr double SectionLevelSeconds = 8;

// The mean power of the frames from begin to end.
struct Loudness {
    explicit Loudness(const std::vector<float> &power)
        : sums(power.size() + 1)
    {
        for (size_t frame = 0; frame < power.size(); ++frame)
            sums[frame + 1] = sums[frame] + power[frame];
    }
    double of(int begin, int end) const { return (sums[size_t(end)] - sums[size_t(begin)]) / std::max(1, end - begin); }
    std::vector<double> sums;
};

// How many dB `one` is above `other` (powers).
double levelRatioDb(double one, double other)
{
    return 10 * std::log10(std::max(1e-12, one) / std::max(1e-12, other));
}

// Windows of `length` frames that may start at frames first .. last.
struct Window {
    int length;
    int first;
    int last;
};

// The occurrences that carry the family: full length and matching about as well as the
// best.
std::vector<Occurrence> fullOccurrences(const Family &family)
{
    float bestMatch = 0;
    for (const Occurrence &occurrence : family.occurrences)
        bestMatch = std::max(bestMatch, occurrence.match);
    std::vector<Occurrence> full;
    for (const Occurrence &occurrence : family.occurrences) {
        if (occurrence.end - occurrence.begin >= FullShare * family.length && occurrence.match >= WeakerMatch * bestMatch)
            full.push_back(occurrence);
    }
    return full;
}

// Each window's fitness weighted by its loudness (0 outside first .. last). The chorus is
// usually the loudest part of a song: a window 6 dB quieter than the loudest counts 0.7
// times.
std::vector<double> loudnessWeighted(const std::vector<double> &fitness, const Loudness &loudness,
                                     const Window &window)
{
    double loudest = 1e-12;
    for (int start = window.first; start <= window.last; ++start)
        loudest = std::max(loudest, loudness.of(start, start + window.length));
    std::vector<double> weighted(fitness.size());
    for (int start = window.first; start <= window.last; ++start)
        weighted[size_t(start)] = fitness[size_t(start)] * std::pow(loudness.of(start, start + window.length) / loudest, 0.25);
    return weighted;
}

// The fitness of every other window, and of the windows between them where those are
// nearly as fit as the fittest: fitness changes slowly from one frame to the next, and the
// search for paths is the costliest part.
std::vector<double> fitnessNearTheFittest(const Matrix &similarity, const Loudness &loudness, const Window &window)
{
    std::vector<double> fitness = Fitness(similarity, window.length, window.first, window.last, 2);
    const std::vector<double> weighted = loudnessWeighted(fitness, loudness, window);
    const double fittest = *std::max_element(weighted.begin(), weighted.end());
    for (int start = window.first + 1; start <= window.last; start += 2) {
        const bool nearFit = weighted[size_t(start) - 1] >= NearlyAsFit * fittest
                             || (start < window.last && weighted[size_t(start) + 1] >= NearlyAsFit * fittest);
        if (nearFit && fittest > 0)
            fitness[size_t(start)] = FitnessOf(similarity, start, window.length);
    }
    return fitness;
}

// Among the windows nearly as fit as the fittest, the one whose beginning (its first
// `beginning` frames) is fittest and the stretch before it least; -1 when nothing repeats.
// A window that holds a verse's end and then the chorus and one that holds the chorus and
// then the next verse's beginning are about as fit, but only the second begins with the
// chorus, the part repeated most.
int chosenWindow(const std::vector<double> &weighted, const Matrix &similarity, int beginning)
{
    const double fittest = *std::max_element(weighted.begin(), weighted.end());
    int chosen = -1;
    double chosenBeginning = 0;
    for (size_t start = 0; start < weighted.size() && fittest > 0; ++start) {
        if (weighted[start] < NearlyAsFit * fittest)
            continue;
        const double fitness = FitnessOf(similarity, int(start), beginning)
                               - PrecedingWeight * FitnessOf(similarity, std::max(0, int(start) - beginning), beginning);
        if (chosen < 0 || fitness > chosenBeginning) {
            chosen = int(start);
            chosenBeginning = fitness;
        }
    }
    return chosen;
}

// The occurrences with the chosen window's own in place of the one that covers it (the paths
// may have passed it by a frame or two).
std::vector<Occurrence> withWindow(std::vector<Occurrence> occurrences, int begins, int length)
{
    const Occurrence own{begins, begins + length, 1};
    // A neighbour that touches the window by a few frames (a chorus played twice in a row) is
    // an occurrence of its own.
    const auto overlapping = [&](const Occurrence &occurrence) {
        return std::min(occurrence.end, own.end) - std::max(occurrence.begin, own.begin) > length / 2;
    };
    occurrences.erase(std::remove_if(occurrences.begin(), occurrences.end(), overlapping), occurrences.end());
    occurrences.insert(std::upper_bound(occurrences.begin(), occurrences.end(), own,
                                        [](const Occurrence &one, const Occurrence &other) { return one.begin < other.begin; }),
                       own);
    return occurrences;
}

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
    const double reachBack = occurrenceBegins.size() >= LeastOccurrencesFollowedBack ? LongestWindowSeconds : 0;
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
            rise += levelRatioDb(loudness.of(at, at + span), loudness.of(at - span, at));
        }
        rise /= double(occurrenceStarts.size());
        if (rise > bestRise) {
            bestRise = rise;
            best = offset;
        }
    }
    return best / fps;
}

// Four beats of aubio's tempo around `seconds`; 0 when it finds no pulse.
double barAround(const std::vector<float> &samples, int rate, double seconds)
{
    std::vector<double> beats = BeatsBetween(samples, rate, seconds - BarSettlingSeconds, seconds + MaxBarSeconds);
    if (beats.size() < 3)
        return 0;
    std::vector<double> gaps;
    for (size_t index = 1; index < beats.size(); ++index)
        gaps.push_back(beats[index] - beats[index - 1]);
    std::nth_element(gaps.begin(), gaps.begin() + long(gaps.size() / 2), gaps.end());
    return std::min(MaxBarSeconds, 4 * gaps[gaps.size() / 2]);
}

// The lag, in frames, of a copy of the stretch beginning at `begin` played just before it
// (the first time through a chorus played twice running); 0 when there is none.
int copyBefore(const Matrix &similarity, const Loudness &loudness, int begin, double fps)
{
    int bestLag = 0;
    double bestMatch = CopyMatch;
    const int longest = std::min({int(std::lround(LongestWindowSeconds * fps)), begin, similarity.size - begin});
    for (int lag = int(std::lround(ShortestWindowSeconds * fps)); lag <= longest; ++lag) {
        double sum = 0;
        for (int frame = 0; frame < lag; ++frame)
            sum += similarity.at(begin - lag + frame, begin + frame);
        if (sum / lag >= bestMatch) {
            bestMatch = sum / lag;
            bestLag = lag;
        }
    }
    if (bestLag && levelRatioDb(loudness.of(begin - bestLag, begin), loudness.of(begin, begin + bestLag)) < -CopyQuieterDb)
        return 0;
    return bestLag;
}

// The earliest of the copies played one after the other that end with the stretch at `begin`.
int firstCopy(const Matrix &similarity, const Loudness &loudness, int begin, double fps)
{
    for (int copies = 0; copies < MostCopies; ++copies) {
        const int lag = copyBefore(similarity, loudness, begin, fps);
        if (lag == 0)
            break;
        begin -= lag;
    }
    return begin;
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
            belowDb += levelRatioDb(detailed.power[size_t(at + offset)], loudness.of(at, at + level));
        }
        if (belowDb / double(starts.size()) < -PauseDb)
            past = offset + 1;
    }
    return past / fps;
}

} // namespace

// The preview's length does not move its start: it begins at the chorus either way.
Start ChooseStart(const std::vector<float> &samples, int rate, double /*previewSeconds*/)
{
    const double seconds = rate > 0 ? double(samples.size()) / rate : 0;
    const Start fallback = Fallback(seconds);
    if (seconds > LongestSongSeconds)
        return fallback;
    const Features detailed = ChromaOf(samples, rate);
    const Features features = Reduced(detailed);
    const double fps = features.framesPerSecond;
    const int frames = int(features.chroma.size());
    // The windows end SkippedEndSeconds before the song does.
    const int first = int(std::ceil(SkippedShare * seconds * fps));
    const int end = std::min(frames, int(std::floor((seconds - SkippedEndSeconds) * fps)) + 1);
    const int length = std::min(int(std::lround(LongestWindowSeconds * fps)), end - first);
    const Window window{length, first, std::min(frames, end) - length};
    if (length < ShortestWindowSeconds * fps)
        return fallback;
    const Matrix similarity = SelfSimilarity(features.chroma);
    const Loudness loudness(features.power);
    const std::vector<double> fitness = fitnessNearTheFittest(similarity, loudness, window);
    const int beginning = std::min(length, int(std::lround(ShortestWindowSeconds * fps)));
    const int chosen = chosenWindow(loudnessWeighted(fitness, loudness, window), similarity, beginning);
    if (chosen < 0 || fitness[size_t(chosen)] < LeastFitness)
        return fallback;
    const int begins = firstCopy(similarity, loudness, chosen, fps);
    const std::vector<Occurrence> full = withWindow(fullOccurrences(FamilyOf(similarity, begins, length)), begins, length);
    // Where the occurrences never all match, the window's beginning is known only roughly (the
    // averaging along the diagonals lets a repetition seem to begin early): a second on, and
    // the band may come in as far as a window may begin before its section.
    const std::optional<double> shared = sectionBeginning(detailed, full, begins, fps);
    const double moved = shared.value_or(SmoothingLeadSeconds);
    std::vector<double> starts;
    for (const Occurrence &occurrence : full)
        starts.push_back(std::max(0.0, occurrence.begin / fps + moved));
    const double bar = barAround(samples, rate, begins / fps + moved);
    const double rise = bar > 0 ? sharedRise(detailed, starts, bar, shared ? bar : ReachAheadSeconds) : 0;
    for (double &at : starts)
        at += rise;
    const double pause = pastSharedPause(detailed, starts);
    Start start;
    start.seconds = OnBeat(samples, rate, std::max(0.0, begins / fps + moved + rise + pause), BeatReachSeconds);
    start.fromChorus = true;
    start.reason = "chorus";
    for (size_t index = 0; index < full.size(); ++index) {
        start.sections.push_back(Section{starts[index] + pause, full[index].end / fps});
        start.candidates.push_back(Candidate{starts[index] + pause, 0, int(full.size()), fitness[size_t(chosen)]});
    }
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

} // namespace Chorus
