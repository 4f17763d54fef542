#pragma once
// The sections a song repeats, found from its chroma alone: the stretch whose repetitions
// cover the song best (the fitness of Müller, Jiang and Grosche), favouring the louder parts
// and the stretches whose beginning repeats best; then the fittest stretches elsewhere.

#include "analysis/chorusfeatures.h"

#include <cstddef>
#include <vector>

namespace Chorus {

// One occurrence of a repeated section, in seconds of the song.
struct Section {
    double begin = 0;
    double end = 0;
};

struct Repeated {
    // Every full occurrence, in the order they are played, each from where the section
    // begins (its beat and bar not yet looked for).
    std::vector<Section> occurrences;
    size_t window = 0; // the occurrence where the search found the section
    double fitness = 0;
};

// The windows searched end SkippedEndSeconds before the song does and begin after its first
// SkippedShare, which holds the intro.
constexpr double SkippedShare = 0.1;
constexpr double SkippedEndSeconds = 10;

// Up to `most` repeated sections of the song of `seconds` whose chroma is `detailed`
// (ChromaOf), the fittest first; the others lie outside its occurrences. None when nothing repeats or the
// song is too short to tell. `barSeconds`: four beats, 0 when no pulse was found.
std::vector<Repeated> RepeatedSections(const Features &detailed, double seconds, double barSeconds, size_t most);

} // namespace Chorus
