#pragma once
// Where a song's chorus begins, found from its audio alone: the stretch whose repetitions
// cover the song best (the fitness of Müller, Jiang and Grosche), favouring the louder parts
// and the stretches whose beginning repeats best, then placed on the first beat there.

#include "analysis/chorussimilarity.h"

#include <vector>

namespace Chorus {

// One occurrence of a repeated section, in seconds of the song.
struct Section {
    double begin = 0;
    double end = 0;
};

struct Start {
    double seconds = 0;
    bool fromChorus = false; // false: nothing repeats, so a quarter of the length
    // Every full occurrence of the stretch taken for the chorus (the start's among them), in
    // the order they are played; empty when nothing repeats.
    std::vector<Section> sections;
    // Why this start, in a few words for logs and plans.
    const char *reason = "";
};
// Longer files are mixes or whole works, where a chorus means nothing, and the matrix of a
// full hour would not fit in memory: they are not looked into.
constexpr double LongestSongSeconds = 15 * 60;
// The start of a song without a chorus, or too long to look into: a quarter in.
Start Fallback(double songSeconds);
// The rate the tools decode other formats than MP3 to for ChooseStart: pitches up to 11 kHz.
constexpr int DecodingRate = 22050;
// Where the preview of the song begins: on the chorus's first beat, whatever the preview's
// length. `samples` are mono at `rate` (4000 Hz and up).
Start ChooseStart(const std::vector<float> &samples, int rate, double previewSeconds);

} // namespace Chorus
