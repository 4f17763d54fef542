#pragma once
// What the chorus search hears of a song: the pitch classes of every tenth of a second, how
// loud it is there, how bright, how high its melody lies and the shape of its spectrum.

#include <algorithm>
#include <array>
#include <cstddef>
#include <mutex>
#include <vector>

namespace Chorus {

// The pitch content of one frame: the energy of each pitch class (C, C#, ... B),
// log-compressed and scaled to length 1.
using Chroma = std::array<float, 12>;
// The shape of one frame's spectrum (mel-frequency cepstral coefficients 1 to 12, its level
// left out): what a voice singing the same words brings back, where the chords alone do not.
using Timbre = std::array<float, 12>;

struct Features {
    std::vector<Chroma> chroma;
    std::vector<float> power; // mean square of the samples around each frame
    // Of each frame's power: the share above 1 kHz, where a band playing louder and denser
    // adds most, and the mean pitch (a MIDI note) from 200 to 2000 Hz, where melodies lie.
    // Only at the full 10 frames a second.
    std::vector<float> treble;
    std::vector<float> height;
    std::vector<Timbre> timbre;
    double framesPerSecond = 0;
};

// The mean power of frames `begin` to `end` - 1, from running sums.
struct Loudness {
    explicit Loudness(const std::vector<float> &power);
    double of(int begin, int end) const { return (sums[size_t(end)] - sums[size_t(begin)]) / std::max(1, end - begin); }
    std::vector<double> sums;
};
// How many dB `one` is above `other` (powers).
double LevelRatioDb(double one, double other);
// About the least change of level a listener notices.
constexpr double LouderDb = 1;
// `values` less their mean, over their spread (but at least `leastSpread`), and within
// `most` either way.
std::vector<double> InSpreads(std::vector<double> values, double leastSpread, double most);

// 10 frames per second from FFT windows of about 0.09 s (2048 samples at 22050 Hz, the usual
// size for chroma: a chord change blurs less than with longer windows, for half the work); frame
// i is centred on second i / 10. Any rate from 4000 Hz up: pitches above half the rate are
// simply not heard.
Features ChromaOf(const std::vector<float> &samples, int rate);
// Smoothed over about 2 s and thinned to 2 frames per second, so that a repetition played
// a little differently still matches; every frame again of length 1.
Features Reduced(const Features &features);

// How alike two frames are when the second is moved `shift` semitones down: 0..1.
inline float Likeness(const Chroma &one, const Chroma &other, int shift = 0)
{
    float dot = 0;
    for (size_t pitch = 0; pitch < 12; ++pitch)
        dot += one[pitch] * other[(pitch + size_t(shift)) % 12];
    return dot;
}

// FFTW's planner is not thread-safe, and aubio plans with FFTW too: every plan made or
// destroyed in the process, aubio's included, is made under this lock.
std::mutex &PlannerLock();

} // namespace Chorus
