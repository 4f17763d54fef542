#pragma once
// Songs made in the tests of the chorus search, sample by sample: chords of decaying notes
// with their bass over a drum's noise hits, in parts of bars, and pieces of bars for finding
// the beats and where each bar begins.

#include <QString>

#include <utility>
#include <vector>

namespace ChorusSongs {

constexpr int Rate = 22050;
constexpr double BarSeconds = 2; // of four beats

struct Chord {
    int root; // semitones above middle C
    bool minor;
};

struct Part {
    std::vector<Chord> chords;
    int bars;
    bool chorus;
    int words = 0; // sung over it, a syllable a beat: 0 none, the same number the same words
};

struct Song {
    std::vector<float> samples;
    std::vector<std::pair<double, double>> choruses;
};

// The frequency of a note of the equal-tempered scale.
double Hertz(int semitonesAboveMiddleC);

// Bars of chords (root below, triad above) over a noise beat, louder in the choruses.
Song MakeSong(const std::vector<Part> &parts, float chorusGain = 1.4f, int rate = Rate);

// A song's parts by letter: I intro, V verse, W a verse on other chords, S a verse on the
// chorus's chords (each of `verseBars` bars), C chorus, B bridge, X four bars of chords never
// heard again, O outro.
std::vector<Part> SongOf(const QString &form, int chorusBars, int verseBars = 8);

// Words sung over the verses and choruses: the same in every chorus, others in every verse.
std::vector<Part> Sung(std::vector<Part> parts);

// The same bar, quieter, before every chorus: the repetition begins there, the chorus a bar on.
std::vector<Part> WithLeadIns(std::vector<Part> parts);

// How a piece of bars is played, for the cases of the bar's first beat.
struct Playing {
    int beatsPerBar;
    double beatSeconds;
    // Each bar's first beat brings the next chord of a round of four with its bass, the other
    // beats strike the chord again without it; else one chord struck alike on every beat.
    bool barsMarked;
};

// 40 bars with the same noise hit on every beat.
std::vector<float> PlayBars(const Playing &playing);

} // namespace ChorusSongs
