#pragma once
// What the chorus search hears of a song: the pitch classes of every tenth of a second and
// how loud it is there.

#include <array>
#include <cstddef>
#include <mutex>
#include <vector>

namespace Chorus {

// The pitch content of one frame: the energy of each pitch class (C, C#, ... B),
// log-compressed and scaled to length 1.
using Chroma = std::array<float, 12>;

struct Features {
    std::vector<Chroma> chroma;
    std::vector<float> power; // mean square of the samples around each frame
    double framesPerSecond = 0;
};

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
