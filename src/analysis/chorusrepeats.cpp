#include "analysis/chorusrepeats.h"

#include "analysis/chorusbeginning.h"
#include "analysis/chorussimilarity.h"

#include <algorithm>
#include <cmath>

namespace Chorus {

namespace {

// The windows whose repetitions are looked for: 30 s, longer ones seldom repeat whole;
// less in a short song, but at least 10 s, shorter ones match by chance.
constexpr double ShortestWindowSeconds = 10;
constexpr double LongestWindowSeconds = 30;
constexpr int ShortSongWindows = 3;
constexpr double LeastFitness = 0.18; // below: nothing repeats (made-up speech reached 0.14, songs 0.33)
constexpr double FullShare = 0.8;     // of the section's length: an occurrence shorter was cut short
constexpr double WeakerMatch = 0.6;   // of the best occurrence's match: a weaker variant
constexpr double NearlyAsFit = 0.85;
// A section begins where a repetition begins: how well the stretch just before a window's
// beginning repeats counts against the window, a third as much.
constexpr double PrecedingWeight = 1.0 / 3;
// Another section's window lies outside the sections found when at most a quarter of it
// overlaps them.
constexpr int OverlapShare = 4;
constexpr double SameBars = 2;
constexpr double SameBeginningSeconds = 4; // two bars at 120 beats a minute, where no pulse was found
constexpr int MostTries = 6; // windows elsewhere looked into, each a family's search

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

// What the search looks at.
struct Search {
    const Features &detailed;
    Features features;
    Matrix similarity;
    Loudness loudness;
    Window window;
    double barSeconds;
};

// The section the window beginning at `start` lies in, walked back to the first of the
// copies played running and to where its occurrences begin to repeat one another.
Repeated sectionAt(const Search &search, int start, double fitness)
{
    const double fps = search.features.framesPerSecond;
    const int length = search.window.length;
    const int begins = FirstCopy(search.similarity, search.loudness, start, search.window.first, fps);
    const std::vector<Occurrence> full = withWindow(fullOccurrences(FamilyOf(search.similarity, begins, length)), begins, length);
    const double offset = ToSectionBeginning(search.detailed, full, begins, fps, search.barSeconds);
    Repeated repeated;
    repeated.fitness = fitness;
    for (const Occurrence &occurrence : full) {
        if (occurrence.begin == begins)
            repeated.window = repeated.occurrences.size();
        repeated.occurrences.push_back(Section{std::max(0.0, occurrence.begin / fps + offset), occurrence.end / fps});
    }
    return repeated;
}

// Whether an occurrence of `one` begins within two bars of where one of `other` does: the
// same section, found again from a window elsewhere in it (a chorus played twice running,
// its second half) and begun a little differently.
bool sameSection(const Repeated &one, const Repeated &other, double barSeconds)
{
    const double reach = barSeconds > 0 ? SameBars * barSeconds : SameBeginningSeconds;
    return std::any_of(one.occurrences.begin(), one.occurrences.end(), [&](const Section &mine) {
        return std::any_of(other.occurrences.begin(), other.occurrences.end(),
                           [&](const Section &theirs) { return std::abs(mine.begin - theirs.begin) < reach; });
    });
}

// Marks the frames (at `fps`) of the window searched at `start` and of every occurrence of
// its section as taken.
void take(std::vector<bool> &taken, int start, int length, const Repeated &section, double fps)
{
    const auto mark = [&](double begin, double end) {
        const auto last = std::min(taken.size(), size_t(std::max(0L, std::lround(end))));
        for (auto frame = size_t(std::max(0L, std::lround(begin))); frame < last; ++frame)
            taken[frame] = true;
    };
    mark(start, start + length);
    for (const Section &occurrence : section.occurrences)
        mark(occurrence.begin * fps, occurrence.end * fps);
}

// The fittest window (by `weighted`) that lies outside the frames taken; -1 when none is fit
// enough.
int windowElsewhere(const std::vector<double> &weighted, const std::vector<double> &fitness, const Window &window,
                    const std::vector<bool> &taken, double leastFitness)
{
    int best = -1;
    for (int start = window.first; start <= window.last; ++start) {
        if (fitness[size_t(start)] < leastFitness || (best >= 0 && weighted[size_t(start)] <= weighted[size_t(best)]))
            continue;
        const auto overlap = std::count(taken.begin() + start, taken.begin() + start + window.length, true);
        if (overlap * OverlapShare <= window.length)
            best = start;
    }
    return best;
}

// The fitness below which nothing repeats, for a window of `seconds`: a shorter window matches
// by chance more closely, by the square root of how many fewer frames it averages.
double leastFitnessOf(double seconds)
{
    return LeastFitness * std::sqrt(std::max(1.0, LongestWindowSeconds / seconds));
}

// The fittest sections for the search's window, up to `most`; none when nothing repeats.
std::vector<Repeated> sectionsFound(const Search &search, size_t most)
{
    const double fps = search.features.framesPerSecond;
    const int length = search.window.length;
    const double leastFitness = leastFitnessOf(length / fps);
    const std::vector<double> fitness = fitnessNearTheFittest(search.similarity, search.loudness, search.window);
    const std::vector<double> weighted = loudnessWeighted(fitness, search.loudness, search.window);
    const int beginning = std::min(length, int(std::lround(ShortestWindowSeconds * fps)));
    const int chosen = chosenWindow(weighted, search.similarity, beginning);
    if (chosen < 0 || fitness[size_t(chosen)] < leastFitness)
        return {};
    std::vector<Repeated> found{sectionAt(search, chosen, fitness[size_t(chosen)])};
    std::vector<bool> taken(static_cast<size_t>(search.similarity.size));
    take(taken, chosen, length, found.back(), fps);
    for (int tries = 0; found.size() < most && tries < MostTries; ++tries) {
        const int other = windowElsewhere(weighted, fitness, search.window, taken, leastFitness);
        if (other < 0)
            break;
        const Repeated section = sectionAt(search, other, fitness[size_t(other)]);
        take(taken, other, length, section, fps);
        const bool repeats = section.occurrences.size() > 1;
        if (repeats && std::none_of(found.begin(), found.end(), [&](const Repeated &one) { return sameSection(section, one, search.barSeconds); }))
            found.push_back(section);
    }
    return found;
}

} // namespace

std::vector<Repeated> RepeatedSections(const Features &detailed, double seconds, double barSeconds, size_t most)
{
    Features features = Reduced(detailed);
    const double fps = features.framesPerSecond;
    const int frames = int(features.chroma.size());
    const int first = int(std::ceil(SkippedShare * seconds * fps));
    const int end = std::min(frames, int(std::floor((seconds - SkippedEndSeconds) * fps)) + 1);
    const int length = std::min(int(std::lround(LongestWindowSeconds * fps)), end - first);
    const int shortest = int(std::lround(ShortestWindowSeconds * fps));
    if (length < shortest || most == 0)
        return {};
    Matrix similarity = SelfSimilarity(features.chroma);
    Loudness loudness(features.power);
    Search search{detailed, std::move(features), std::move(similarity), std::move(loudness),
                  Window{length, first, end - length}, barSeconds};
    std::vector<Repeated> found = sectionsFound(search, most);
    // A song too short to play a long window three times may repeat its chorus of a few bars
    // but never a verse and chorus together; in a longer one a short window repeats by chance.
    if (found.empty() && length > shortest && end - first < ShortSongWindows * length) {
        search.window = Window{shortest, first, end - shortest};
        found = sectionsFound(search, most);
    }
    return found;
}

} // namespace Chorus
