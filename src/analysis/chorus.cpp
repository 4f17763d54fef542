#include "analysis/chorus.h"

#include <aubio/aubio.h>
#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <mutex>
#include <numeric>

namespace Chorus {

namespace {

constexpr double FramesPerSecond = 10;
constexpr double WindowSeconds = 0.186; // 4096 samples at 22050 Hz
constexpr double LowestHz = 80;
constexpr double HighestHz = 5000;
constexpr float Compression = 1000; // log(1 + Compression * energy)
constexpr int SmoothingFrames = 21;
constexpr int Thinning = 5;
constexpr int DiagonalFrames = 12; // 6 s of reduced frames
constexpr double KeptShare = 0.15;
constexpr float Penalty = -2;
// Windows of other lengths than the preview's: shorter ones match by chance, longer ones
// seldom repeat whole.
constexpr double ShortestWindowSeconds = 10;
constexpr double LongestWindowSeconds = 30;
constexpr double SkippedShare = 0.1;  // of the length, at the start
constexpr double SkippedEndSeconds = 10;
constexpr double LeastFitness = 0.18; // below: nothing repeats (made-up speech reached 0.14, songs 0.33)
constexpr double FallbackShare = 0.25;
constexpr double OnsetReachSeconds = 2;
constexpr float StrongShare = 0.75f; // of the strongest onset in reach
constexpr double NearlyAsFit = 0.85;
// Averaging along the diagonals lets a repetition seem to begin up to 3 s early; in trials
// on made-up songs it began a second later on average.
constexpr double SmoothingLeadSeconds = 1;

// FFTW's planner is not thread-safe, and aubio plans with FFTW too: every plan made or
// destroyed in the process, aubio's included, is made under this lock.
std::mutex &plannerLock()
{
    static std::mutex lock;
    return lock;
}

// The power of two nearest to WindowSeconds of samples.
int windowSize(int rate)
{
    return 1 << int(std::lround(std::log2(WindowSeconds * rate)));
}

void normalise(Chroma &chroma)
{
    float length = 0;
    for (const float value : chroma)
        length += value * value;
    length = std::sqrt(length);
    // Silence: alike to all other silence, as a flat vector.
    if (length < 1e-6f) {
        chroma.fill(1 / std::sqrt(12.0f));
        return;
    }
    for (float &value : chroma)
        value /= length;
}

// For every FFT bin, its pitch class, or -1 outside the range that carries harmony.
std::vector<int> pitchClasses(int size, int rate)
{
    std::vector<int> classes(size_t(size / 2 + 1), -1);
    for (size_t bin = 1; bin < classes.size(); ++bin) {
        const double hz = double(bin) * rate / size;
        if (hz < LowestHz || hz > HighestHz)
            continue;
        const long midi = std::lround(69 + 12 * std::log2(hz / 440));
        classes[bin] = int(((midi % 12) + 12) % 12);
    }
    return classes;
}

struct Fft {
    explicit Fft(int size)
        : input(fftwf_alloc_real(size_t(size))), output(fftwf_alloc_complex(size_t(size / 2 + 1)))
    {
        const std::lock_guard<std::mutex> locked(plannerLock());
        plan = fftwf_plan_dft_r2c_1d(size, input, output, FFTW_ESTIMATE);
    }
    ~Fft()
    {
        {
            const std::lock_guard<std::mutex> locked(plannerLock());
            fftwf_destroy_plan(plan);
        }
        fftwf_free(input);
        fftwf_free(output);
    }
    Fft(const Fft &) = delete;
    Fft &operator=(const Fft &) = delete;

    float *input;
    fftwf_complex *output;
    fftwf_plan plan = nullptr;
};

// In eight sums side by side, which the compiler turns into vector instructions.
float sumOfSquares(const float *from, const float *to)
{
    std::array<float, 8> sums{};
    for (; to - from >= 8; from += 8) {
        for (size_t lane = 0; lane < sums.size(); ++lane)
            sums[lane] += from[lane] * from[lane];
    }
    for (size_t lane = 0; from < to; ++from, ++lane)
        sums[lane] += *from * *from;
    return std::accumulate(sums.begin(), sums.end(), 0.0f);
}

// On the diagonals from the main one up: the mean of `values` over DiagonalFrames cells
// starting at each cell, and ending at each; the larger of the two goes into `best` when
// larger than what is there.
void smoothDiagonalsInto(const std::vector<float> &values, int size, std::vector<float> &best)
{
    const auto at = [size](int row, int offset) { return size_t(row) * size_t(size) + size_t(row + offset); };
    std::vector<double> sums(size_t(size) + 1);
    for (int offset = 0; offset < size; ++offset) {
        const int cells = size - offset; // the rows of the diagonal
        for (int row = 0; row < cells; ++row)
            sums[size_t(row) + 1] = sums[size_t(row)] + values[at(row, offset)];
        for (int row = 0; row < cells; ++row) {
            const int ahead = std::min(cells, row + DiagonalFrames);
            const int behind = std::max(0, row + 1 - DiagonalFrames);
            const double forward = (sums[size_t(ahead)] - sums[size_t(row)]) / (ahead - row);
            const double backward = (sums[size_t(row) + 1] - sums[size_t(behind)]) / (row + 1 - behind);
            float &kept = best[at(row, offset)];
            kept = std::max(kept, float(std::max(forward, backward)));
        }
    }
}

// The top KeptShare of the values scaled to 0..1, the rest set to Penalty.
void keepTop(std::vector<float> &values)
{
    if (values.empty())
        return;
    std::vector<float> sorted = values;
    const auto cut = sorted.begin() + long(double(sorted.size() - 1) * (1 - KeptShare));
    std::nth_element(sorted.begin(), cut, sorted.end());
    const float threshold = *cut;
    const float top = *std::max_element(values.begin(), values.end());
    const float range = std::max(top - threshold, 1e-6f);
    for (float &value : values)
        value = value >= threshold ? (value - threshold) / range : Penalty;
}

// One state of the search for a window's path family: its score, the cells of its paths,
// and the rows (frames of the song) those paths cover.
struct Family {
    float score = -std::numeric_limits<float>::infinity();
    int cells = 0;
    int rows = 0;
};

Family extended(const Family &family, float value, int rows)
{
    return Family{family.score + value, family.cells + 1, family.rows + rows};
}

const Family &better(const Family &one, const Family &other)
{
    return other.score > one.score ? other : one;
}

// The best family of paths through the columns start .. start+length-1 of the matrix, each
// path crossing all of them with steps of (1,1), (1,2) or (2,1), no two sharing a row.
Family pathFamily(const Matrix &similarity, int start, int length)
{
    const size_t states = size_t(length) + 1;
    // State 0 of a row: between paths; state m: m columns of a path done.
    std::vector<Family> twoBack(states), previous(states), current(states);
    previous[0] = Family{0, 0, 0};
    previous[1] = extended(previous[0], similarity.at(0, start), 1);
    for (int row = 1; row < similarity.size; ++row) {
        current[0] = better(previous[0], previous[states - 1]);
        current[1] = extended(current[0], similarity.at(row, start), 1);
        for (size_t column = 2; column < states; ++column) {
            const float value = similarity.at(row, start + int(column) - 1);
            const Family &down = twoBack[column - 1];
            const Family &level = better(previous[column - 1], previous[column - 2]);
            current[column] = down.score > level.score ? extended(down, value, 2) : extended(level, value, 1);
        }
        std::swap(twoBack, previous);
        std::swap(previous, current);
    }
    return better(previous[0], previous[states - 1]);
}

double fitnessOf(const Family &family, int length, int songFrames)
{
    const double score = (family.score - length) / std::max(family.cells, 1);
    const double coverage = double(family.rows - length) / songFrames;
    if (score <= 0 || coverage <= 0)
        return 0;
    return 2 * score * coverage / (score + coverage);
}

struct Onset {
    double seconds;
    float strength; // the peak of aubio's detection function around it
};

// Onsets aubio finds in the samples from `from` to `to` seconds.
std::vector<Onset> onsets(const std::vector<float> &samples, int rate, double from, double to)
{
    constexpr uint_t Window = 1024;
    constexpr uint_t Hop = 256;
    constexpr long PeakHops = 4; // how far from an onset its detection function peaks
    aubio_onset_t *detector = nullptr;
    {
        const std::lock_guard<std::mutex> locked(plannerLock());
        detector = new_aubio_onset("default", Window, Hop, uint_t(rate));
    }
    std::vector<Onset> found;
    if (!detector)
        return found;
    fvec_t *hop = new_fvec(Hop);
    fvec_t *onset = new_fvec(1);
    const size_t first = size_t(std::max(0.0, from) * rate);
    const size_t last = std::min(samples.size(), size_t(std::max(0.0, to) * rate));
    std::vector<float> detection;
    for (size_t position = first; position + Hop <= last; position += Hop) {
        std::copy_n(samples.begin() + long(position), Hop, hop->data);
        aubio_onset_do(detector, hop, onset);
        detection.push_back(aubio_onset_get_descriptor(detector));
        if (onset->data[0] > 0)
            found.push_back(Onset{double(first) / rate + aubio_onset_get_last_s(detector), 0});
    }
    del_fvec(onset);
    del_fvec(hop);
    {
        const std::lock_guard<std::mutex> locked(plannerLock());
        del_aubio_onset(detector);
    }
    for (Onset &each : found) {
        const long at = std::lround((each.seconds - double(first) / rate) * rate / Hop);
        const long begin = std::clamp(at - PeakHops, 0L, long(detection.size()));
        const long end = std::clamp(at + PeakHops + 1, begin, long(detection.size()));
        for (long index = begin; index < end; ++index)
            each.strength = std::max(each.strength, detection[size_t(index)]);
    }
    return found;
}

// The onset nearest to `seconds` among the strong ones within OnsetReachSeconds (at least
// three quarters as strong as the strongest there) and inside lowest .. highest; the seconds
// themselves when there is none. A chorus tends to begin with the strongest onset around:
// a downbeat, a new chord, a cymbal.
double nearestOnset(const std::vector<float> &samples, int rate, double seconds, double lowest, double highest)
{
    // Half a second before the reach lets the detector settle on the level of the music.
    std::vector<Onset> found = onsets(samples, rate, seconds - OnsetReachSeconds - 0.5, seconds + OnsetReachSeconds + 0.1);
    const auto outside = [&](const Onset &onset) {
        return std::abs(onset.seconds - seconds) > OnsetReachSeconds || onset.seconds < lowest || onset.seconds > highest;
    };
    found.erase(std::remove_if(found.begin(), found.end(), outside), found.end());
    float strongest = 0;
    for (const Onset &onset : found)
        strongest = std::max(strongest, onset.strength);
    double nearest = seconds;
    double distance = std::numeric_limits<double>::infinity();
    for (const Onset &onset : found) {
        if (onset.strength >= StrongShare * strongest && std::abs(onset.seconds - seconds) < distance) {
            distance = std::abs(onset.seconds - seconds);
            nearest = onset.seconds;
        }
    }
    return nearest;
}

// Windows of `length` frames that may start at frames first .. last.
struct Window {
    int length;
    int first;
    int last;
};

// Each window's fitness weighted by its loudness (0 outside first .. last). The chorus is
// usually the loudest part of a song: a window 6 dB quieter than the loudest counts 0.7
// times.
std::vector<double> loudnessWeighted(const std::vector<double> &fitness, const std::vector<float> &power,
                                     const Window &window)
{
    std::vector<double> sums(power.size() + 1);
    for (size_t frame = 0; frame < power.size(); ++frame)
        sums[frame + 1] = sums[frame] + power[frame];
    const auto loudness = [&](int start) { return sums[size_t(start + window.length)] - sums[size_t(start)]; };
    double loudest = 1e-12;
    for (int start = window.first; start <= window.last; ++start)
        loudest = std::max(loudest, loudness(start));
    std::vector<double> weighted(fitness.size());
    for (int start = window.first; start <= window.last; ++start)
        weighted[size_t(start)] = fitness[size_t(start)] * std::pow(loudness(start) / loudest, 0.25);
    return weighted;
}

double fitnessAt(const Matrix &similarity, int start, int length)
{
    return fitnessOf(pathFamily(similarity, start, length), length, similarity.size);
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
        const double fitness = fitnessAt(similarity, int(start), beginning);
        if (chosen < 0 || fitness > chosenBeginning) {
            chosen = int(start);
            chosenBeginning = fitness;
        }
    }
    return chosen;
}

} // namespace

Features ChromaOf(const std::vector<float> &samples, int rate)
{
    Features features;
    features.framesPerSecond = FramesPerSecond;
    if (rate <= 0)
        return features;
    const int size = windowSize(rate);
    const double hop = rate / FramesPerSecond;
    const std::vector<int> classes = pitchClasses(size, rate);
    std::vector<float> hann(static_cast<size_t>(size));
    double windowSum = 0;
    for (int index = 0; index < size; ++index) {
        hann[size_t(index)] = float(0.5 - 0.5 * std::cos(2 * M_PI * index / size));
        windowSum += hann[size_t(index)];
    }
    const float energyScale = float(1 / (windowSum * windowSum));
    Fft fft(size);
    const auto frames = long(std::ceil(double(samples.size()) / hop));
    // The bins that carry harmony lie together.
    const auto firstBin = size_t(std::find_if(classes.begin(), classes.end(), [](int pitch) { return pitch >= 0; })
                                 - classes.begin());
    const auto endBin = size_t(classes.rend() - std::find_if(classes.rbegin(), classes.rend(), [](int pitch) {
                                   return pitch >= 0;
                               }));
    for (long frame = 0; frame < frames; ++frame) {
        // The window's samples that lie within the song; zeros beyond its ends.
        const long from = std::lround(double(frame) * hop) - size / 2;
        const long inside = std::clamp(-from, 0L, long(size));
        const long end = std::clamp(long(samples.size()) - from, inside, long(size));
        std::fill(fft.input, fft.input + inside, 0.0f);
        std::fill(fft.input + end, fft.input + size, 0.0f);
        const float *window = samples.data() + from;
        for (long index = inside; index < end; ++index)
            fft.input[index] = window[index] * hann[size_t(index)];
        const float power = sumOfSquares(window + inside, window + end);
        fftwf_execute(fft.plan);
        Chroma chroma{};
        for (size_t bin = firstBin; bin < endBin; ++bin) {
            const float real = fft.output[bin][0];
            const float imaginary = fft.output[bin][1];
            chroma[size_t(classes[bin])] += (real * real + imaginary * imaginary) * energyScale;
        }
        for (float &value : chroma)
            value = std::log1p(Compression * value);
        normalise(chroma);
        features.chroma.push_back(chroma);
        features.power.push_back(power / float(size));
    }
    return features;
}

Features Reduced(const Features &features)
{
    Features reduced;
    reduced.framesPerSecond = features.framesPerSecond / Thinning;
    const int frames = int(features.chroma.size());
    std::vector<float> weights(SmoothingFrames);
    for (int index = 0; index < SmoothingFrames; ++index)
        weights[size_t(index)] = float(0.5 - 0.5 * std::cos(2 * M_PI * (index + 1) / (SmoothingFrames + 1)));
    for (int centre = 0; centre < frames; centre += Thinning) {
        Chroma chroma{};
        double power = 0;
        double weightSum = 0;
        for (int index = 0; index < SmoothingFrames; ++index) {
            const int frame = centre - SmoothingFrames / 2 + index;
            if (frame < 0 || frame >= frames)
                continue;
            const float weight = weights[size_t(index)];
            for (size_t pitch = 0; pitch < chroma.size(); ++pitch)
                chroma[pitch] += weight * features.chroma[size_t(frame)][pitch];
            power += weight * features.power[size_t(frame)];
            weightSum += weight;
        }
        normalise(chroma);
        reduced.chroma.push_back(chroma);
        reduced.power.push_back(float(power / weightSum));
    }
    return reduced;
}

Matrix SelfSimilarity(const std::vector<Chroma> &chroma)
{
    Matrix matrix;
    matrix.size = int(chroma.size());
    const size_t cells = size_t(matrix.size) * size_t(matrix.size);
    matrix.values.assign(cells, -std::numeric_limits<float>::infinity());
    std::vector<float> shifted(cells);
    // The half above the main diagonal is enough: shifting the one frame up is shifting the
    // other down, so over all 12 shifts the best is the same either way round.
    for (size_t shift = 0; shift < 12; ++shift) {
        for (size_t row = 0; row < chroma.size(); ++row) {
            for (size_t column = row; column < chroma.size(); ++column) {
                float dot = 0;
                for (size_t pitch = 0; pitch < 12; ++pitch)
                    dot += chroma[row][pitch] * chroma[column][(pitch + shift) % 12];
                shifted[row * chroma.size() + column] = dot;
            }
        }
        smoothDiagonalsInto(shifted, matrix.size, matrix.values);
    }
    for (size_t row = 0; row < chroma.size(); ++row) {
        for (size_t column = 0; column < row; ++column)
            matrix.values[row * chroma.size() + column] = matrix.values[column * chroma.size() + row];
    }
    keepTop(matrix.values);
    return matrix;
}

std::vector<double> Fitness(const Matrix &similarity, int length, int first, int last)
{
    if (length <= 0 || length > similarity.size)
        return {};
    std::vector<double> fitness(size_t(similarity.size - length + 1));
    for (int start = std::max(first, 0); start <= std::min(last, int(fitness.size()) - 1); ++start)
        fitness[size_t(start)] = fitnessAt(similarity, start, length);
    return fitness;
}

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
    const std::vector<double> fitness = Fitness(similarity, length, window.first, window.last);
    const int beginning = std::min(length, int(std::lround(ShortestWindowSeconds * fps)));
    const int begins = chosenWindow(loudnessWeighted(fitness, features.power, window), similarity, beginning);
    if (begins < 0 || fitness[size_t(begins)] < LeastFitness)
        return fallback;
    const double highest = window.last / fps;
    const double begin = std::min(highest, begins / fps + SmoothingLeadSeconds);
    return Start{nearestOnset(samples, rate, begin, window.first / fps, highest), true,
                 {Section{begins / fps, (begins + length) / fps}}, "chorus"};
}

Start Fallback(double songSeconds)
{
    return Start{FallbackShare * songSeconds, false, {}, "nothing repeats: a quarter in"};
}

} // namespace Chorus
