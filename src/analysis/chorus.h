#pragma once
// Where a song's chorus begins, found from its audio alone: the stretch of the preview's
// length whose repetitions cover the song best (the fitness measure of Müller, Jiang and
// Grosche, "A robust fitness measure for capturing repetitions in music recordings", 2013),
// favouring the louder parts, then moved onto a strong onset nearby.

#include <array>
#include <cstddef>
#include <limits>
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

// 10 frames per second from FFT windows of about 0.19 s (4096 samples at 22050 Hz); frame
// i is centred on second i / 10.
Features ChromaOf(const std::vector<float> &samples, int rate);
// Smoothed over about 2 s and thinned to 2 frames per second, so that a repetition played
// a little differently still matches; every frame again of length 1.
Features Reduced(const Features &features);

// Square, symmetric; row-major.
struct Matrix {
    int size = 0;
    std::vector<float> values;
    float at(int row, int column) const { return values[size_t(row) * size_t(size) + size_t(column)]; }
};
// How alike every two frames are, the best of the 12 key shifts (a chorus sung a tone
// higher still repeats), averaged along the diagonals so that repeated stretches show as
// lines. The top 15 % of the values are scaled to 0..1, the rest become a penalty of -2.
Matrix SelfSimilarity(const std::vector<Chroma> &chroma);

// The fitness of every window of `length` frames (entry s: frames s .. s+length-1): the
// harmonic mean of how well the window's repetitions match it and how much of the song
// they cover, each without the window itself. 0 when nothing repeats it, up to 1. Only the
// windows that start from first to last are looked at; the others are left at 0.
std::vector<double> Fitness(const Matrix &similarity, int length, int first = 0,
                            int last = std::numeric_limits<int>::max());

// One occurrence of a repeated section, in seconds of the song.
struct Section {
    double begin = 0;
    double end = 0;
};

struct Start {
    double seconds = 0;
    bool fromChorus = false; // false: nothing repeats, so a quarter of the length
    // Every occurrence of the section taken for the chorus, in the order they are played;
    // empty when nothing repeats.
    std::vector<Section> sections;
    // Why this start, in a few words for logs and plans ("chorus, 2nd occurrence", ...).
    const char *reason = "";
};
// Longer files are mixes or whole works, where a chorus means nothing, and the matrix of a
// full hour would not fit in memory: they are not looked into.
constexpr double LongestSongSeconds = 15 * 60;
// The start of a song without a chorus, or too long to look into: a quarter in.
Start Fallback(double songSeconds);
// The rate the tools decode other formats than MP3 to for ChooseStart: pitches up to 11 kHz.
constexpr int DecodingRate = 22050;
// Where the preview of the song begins: the start of the fittest window of the preview's
// length, weighted by its loudness, never in the first tenth nor in the last 10 seconds,
// moved to the nearest strong onset within 2 seconds.
Start ChooseStart(const std::vector<float> &samples, int rate, double previewSeconds);

} // namespace Chorus
