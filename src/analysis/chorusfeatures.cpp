#include "analysis/chorusfeatures.h"

#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <numeric>

namespace Chorus {

namespace {

constexpr double FramesPerSecond = 10;
constexpr double WindowSeconds = 0.093; // 2048 samples at 22050 Hz
constexpr double LowestHz = 80;
constexpr double HighestHz = 5000;
constexpr double TrebleHz = 1000;
constexpr double LowestMelodyHz = 200;
constexpr double HighestMelodyHz = 2000;
constexpr float Compression = 1000; // log(1 + Compression * energy)
constexpr size_t MelBands = 24;
constexpr double LowestTimbreHz = 100;
constexpr double HighestTimbreHz = 8000;
constexpr float SilentBand = 1e-10f; // the floor of a band's energy, before its log
constexpr int SmoothingFrames = 21;
constexpr int Thinning = 5;

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

double midiNote(double hz)
{
    return 69 + 12 * std::log2(hz / 440);
}

// For every FFT bin, its pitch class, or -1 outside the range that carries harmony.
std::vector<int> pitchClasses(int size, int rate)
{
    std::vector<int> classes(size_t(size / 2 + 1), -1);
    for (size_t bin = 1; bin < classes.size(); ++bin) {
        const double hz = double(bin) * rate / size;
        if (hz < LowestHz || hz > HighestHz)
            continue;
        const long midi = std::lround(midiNote(hz));
        classes[bin] = int(((midi % 12) + 12) % 12);
    }
    return classes;
}

// For every FFT bin, its pitch as a MIDI note where melodies lie, else 0.
std::vector<float> melodyPitches(int size, int rate)
{
    std::vector<float> pitches(size_t(size / 2 + 1));
    for (size_t bin = 1; bin < pitches.size(); ++bin) {
        const double hz = double(bin) * rate / size;
        if (hz >= LowestMelodyHz && hz <= HighestMelodyHz)
            pitches[bin] = float(midiNote(hz));
    }
    return pitches;
}

double mel(double hz)
{
    return 2595 * std::log10(1 + hz / 700);
}

// For every FFT bin, its band of MelBands alike in width on the mel scale, or -1 outside them.
std::vector<int> melBands(int size, int rate)
{
    std::vector<int> bands(size_t(size / 2 + 1), -1);
    const double low = mel(LowestTimbreHz);
    const double high = mel(std::min(HighestTimbreHz, rate / 2.0));
    for (size_t bin = 1; bin < bands.size(); ++bin) {
        const double at = mel(double(bin) * rate / size);
        if (at >= low && at < high)
            bands[bin] = int((at - low) / (high - low) * MelBands);
    }
    return bands;
}

// Cepstral coefficients 1 to 12 of the bands' energies: the cosine transform of their logs.
Timbre cepstrum(const std::array<float, MelBands> &bands)
{
    static const std::vector<float> cosines = [] {
        std::vector<float> table;
        for (size_t coefficient = 1; coefficient <= std::tuple_size<Timbre>::value; ++coefficient) {
            for (size_t band = 0; band < MelBands; ++band)
                table.push_back(float(std::cos(M_PI * double(coefficient) * (double(band) + 0.5) / MelBands)));
        }
        return table;
    }();
    std::array<float, MelBands> logs;
    for (size_t band = 0; band < MelBands; ++band)
        logs[band] = std::log(bands[band] + SilentBand);
    Timbre timbre{};
    for (size_t coefficient = 0; coefficient < timbre.size(); ++coefficient) {
        for (size_t band = 0; band < MelBands; ++band)
            timbre[coefficient] += cosines[coefficient * MelBands + band] * logs[band];
    }
    return timbre;
}

struct Fft {
    explicit Fft(int size)
        : input(fftwf_alloc_real(size_t(size))), output(fftwf_alloc_complex(size_t(size / 2 + 1)))
    {
        const std::lock_guard<std::mutex> locked(PlannerLock());
        plan = fftwf_plan_dft_r2c_1d(size, input, output, FFTW_ESTIMATE);
    }
    ~Fft()
    {
        {
            const std::lock_guard<std::mutex> locked(PlannerLock());
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

// Each sample from `from` to `to` times its weight, into `into`; eight at a time, which the
// compiler turns into vector instructions.
void weigh(const float *from, const float *to, const float *__restrict weights, float *__restrict into)
{
    constexpr long Lanes = 8;
    for (; to - from >= Lanes; from += Lanes, weights += Lanes, into += Lanes) {
        for (long lane = 0; lane < Lanes; ++lane)
            into[lane] = from[lane] * weights[lane];
    }
    for (; from < to; ++from, ++weights, ++into)
        *into = *from * *weights;
}

} // namespace

Loudness::Loudness(const std::vector<float> &power)
    : sums(power.size() + 1)
{
    for (size_t frame = 0; frame < power.size(); ++frame)
        sums[frame + 1] = sums[frame] + power[frame];
}

double LevelRatioDb(double one, double other)
{
    return 10 * std::log10(std::max(1e-12, one) / std::max(1e-12, other));
}

std::vector<double> InSpreads(std::vector<double> values, double leastSpread, double most)
{
    const double count = std::max<double>(1, double(values.size()));
    const double mean = std::accumulate(values.begin(), values.end(), 0.0) / count;
    double square = 0;
    for (const double value : values)
        square += (value - mean) * (value - mean);
    const double spread = std::max(leastSpread, std::sqrt(square / count));
    for (double &value : values)
        value = std::clamp((value - mean) / spread, -most, most);
    return values;
}

std::mutex &PlannerLock()
{
    static std::mutex lock;
    return lock;
}

Features ChromaOf(const std::vector<float> &samples, int rate)
{
    Features features;
    features.framesPerSecond = FramesPerSecond;
    if (rate <= 0)
        return features;
    const int size = windowSize(rate);
    const double hop = rate / FramesPerSecond;
    const std::vector<int> classes = pitchClasses(size, rate);
    const std::vector<float> pitches = melodyPitches(size, rate);
    const std::vector<int> bands = melBands(size, rate);
    const auto trebleBin = size_t(std::ceil(TrebleHz * size / rate));
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
        weigh(window + inside, window + end, hann.data() + inside, fft.input + inside);
        const float power = sumOfSquares(window + inside, window + end);
        fftwf_execute(fft.plan);
        Chroma chroma{};
        std::array<float, 4> sums{}; // all, treble, melody, melody times its pitch
        std::array<float, MelBands> melEnergy{};
        for (size_t bin = 1; bin < pitches.size(); ++bin) {
            const float real = fft.output[bin][0];
            const float imaginary = fft.output[bin][1];
            const float energy = real * real + imaginary * imaginary;
            if (bin >= firstBin && bin < endBin)
                chroma[size_t(classes[bin])] += energy * energyScale;
            sums[0] += energy;
            sums[1] += bin >= trebleBin ? energy : 0;
            sums[2] += pitches[bin] > 0 ? energy : 0;
            sums[3] += energy * pitches[bin];
            if (bands[bin] >= 0)
                melEnergy[size_t(bands[bin])] += energy * energyScale;
        }
        features.timbre.push_back(cepstrum(melEnergy));
        features.treble.push_back(sums[1] / std::max(sums[0], 1e-20f));
        features.height.push_back(sums[2] > 0 ? sums[3] / sums[2] : 0);
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

} // namespace Chorus
