#include "analysis/chorus.h"

#include "analysis/chorusbeats.h"

#include <algorithm>
#include <cmath>

namespace Chorus {

namespace {

// The windows whose repetitions are looked for: the preview's length, but at least 10 s
// (shorter ones match by chance) and at most 30 s (longer ones seldom repeat whole).
constexpr double ShortestWindowSeconds = 10;
constexpr double LongestWindowSeconds = 30;
constexpr double SkippedShare = 0.1;  // of the length, at the start
constexpr double SkippedEndSeconds = 10;
constexpr double LeastFitness = 0.18; // below: nothing repeats (made-up speech reached 0.14, songs 0.33)
constexpr double FallbackShare = 0.25;
constexpr double FullShare = 0.8;       // of the section's length: an occurrence shorter was cut short
constexpr double WeakerMatch = 0.6;     // of the best occurrence's match: a weaker variant
constexpr double NearlyAsFit = 0.85;
// Averaging along the diagonals lets a repetition seem to begin up to 3 s early; in trials
// on made-up songs it began a second later on average.
constexpr double SmoothingLeadSeconds = 1;
constexpr double BeatReachSeconds = 1;

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
// `beginning` frames) is fittest; -1 when nothing repeats. A window that holds a verse's end
// and then the chorus and one that holds the chorus and then the next verse's beginning are
// about as fit, but only the second begins with the chorus, the part repeated most.
int chosenWindow(const std::vector<double> &weighted, const Matrix &similarity, int beginning)
{
    const double fittest = *std::max_element(weighted.begin(), weighted.end());
    int chosen = -1;
    double chosenBeginning = 0;
    for (size_t start = 0; start < weighted.size() && fittest > 0; ++start) {
        if (weighted[start] < NearlyAsFit * fittest)
            continue;
        const double fitness = FitnessOf(similarity, int(start), beginning);
        if (chosen < 0 || fitness > chosenBeginning) {
            chosen = int(start);
            chosenBeginning = fitness;
        }
    }
    return chosen;
}

} // namespace

Start ChooseStart(const std::vector<float> &samples, int rate, double previewSeconds)
{
    const double seconds = rate > 0 ? double(samples.size()) / rate : 0;
    const Start fallback = Fallback(seconds);
    if (seconds > LongestSongSeconds)
        return fallback;
    const Features features = Reduced(ChromaOf(samples, rate));
    const double fps = features.framesPerSecond;
    const int frames = int(features.chroma.size());
    const int length = int(std::lround(std::clamp(previewSeconds, ShortestWindowSeconds, LongestWindowSeconds) * fps));
    const Window window{length, int(std::ceil(SkippedShare * seconds * fps)),
                        std::min(frames - length, int(std::floor((seconds - SkippedEndSeconds) * fps)))};
    if (window.last < window.first)
        return fallback;
    const Matrix similarity = SelfSimilarity(features.chroma);
    const Loudness loudness(features.power);
    const std::vector<double> fitness = fitnessNearTheFittest(similarity, loudness, window);
    const int beginning = std::min(length, int(std::lround(ShortestWindowSeconds * fps)));
    const int begins = chosenWindow(loudnessWeighted(fitness, loudness, window), similarity, beginning);
    if (begins < 0 || fitness[size_t(begins)] < LeastFitness)
        return fallback;
    const double begin = std::min(window.last / fps, begins / fps + SmoothingLeadSeconds);
    Start start{OnBeat(samples, rate, begin, BeatReachSeconds), true, {}, "chorus"};
    for (const Occurrence &occurrence : fullOccurrences(FamilyOf(similarity, begins, length)))
        start.sections.push_back(Section{occurrence.begin / fps + SmoothingLeadSeconds, occurrence.end / fps});
    return start;
}

Start Fallback(double songSeconds)
{
    return Start{FallbackShare * songSeconds, false, {}, "nothing repeats: a quarter in"};
}

} // namespace Chorus
