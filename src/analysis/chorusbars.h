#pragma once
// Where the bars begin among a song's beats: on the beat where the harmony changes and the
// low notes fall (beat-synchronous chroma change and bass onsets, as Papadopoulos and Peeters,
// and Davies and Plumbley, read downbeats), in bars of 3 or 4 beats. The Viterbi algorithm
// reads the whole song at once, so that one bar whose first beat is weak keeps its place, and
// a bar cut short (a beat the tracker missed, a bar of two) is taken only where the evidence
// after it wants it.

#include "analysis/chorusfeatures.h"
#include "analysis/chorusonsets.h"

#include <vector>

namespace Chorus {

struct Bars {
    std::vector<double> beats; // seconds
    // Of each beat: its place in its bar (0 the bar's first beat), and whether the bar can be
    // told there (its first beats stand out from the others around it).
    std::vector<int> places;
    std::vector<bool> told;
    // The first beats of the bars, where the bar can be told.
    std::vector<double> downbeats() const;
    // The bar line, or where it cannot be told the beat, nearest to `seconds` within `reach`
    // seconds and not before `earliest`; `seconds` itself when there is neither.
    struct Placed {
        double seconds;
        bool onBar;
        bool onBeat;
    };
    Placed nearest(double seconds, double reach, double earliest = 0) const;
};

// `detailed`: the song's chroma at 10 frames a second (ChromaOf).
Bars BarsOf(const std::vector<double> &beats, const Onsets &onsets, const Features &detailed);

} // namespace Chorus
