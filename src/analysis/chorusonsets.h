#pragma once
// Where notes begin, a hundred times a second: in the low band, where the bass and the kick
// drum mark the beats and the bars, and over the band the rhythm is heard in.

#include <vector>

namespace Chorus {

// What the rhythm is heard from: the samples averaged in groups down to about 2.8 kHz, where
// the bass, the drums and the strokes of the chords lie; a quarter of the work at the
// search's 11 kHz.
struct RhythmBand {
    std::vector<float> samples;
    double rate = 0;
};
constexpr double RhythmRate = 2756;
// `samples` at `rate` averaged in groups of as many as leave at least `lowest` a second.
RhythmBand Averaged(const std::vector<float> &samples, double rate, double lowest = RhythmRate);

struct Onsets {
    // How sharply the level rises at each frame, in dB over the frame two before (0 where it
    // falls); a level far below the song's mean counts as that floor, so that noise in a
    // silence does not look like notes beginning.
    std::vector<float> low;   // below about 150 Hz
    std::vector<float> whole; // the whole rhythm band
    double framesPerSecond = 0;
    // The strongest rise of `band` within `reachSeconds` of `seconds`.
    float near(const std::vector<float> &band, double seconds, double reachSeconds) const;
};

// Frame i begins at i / framesPerSecond seconds.
Onsets OnsetsOf(const RhythmBand &band);

} // namespace Chorus
