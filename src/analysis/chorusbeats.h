#pragma once
// The beats of a song: aubio's tracker tells the tempo, and the beats are then laid where
// notes begin, the low ones most, as evenly as that tempo allows (the dynamic programming of
// Ellis, "Beat tracking by dynamic programming", 2007). aubio's own beats often fall between
// the beats where a piano plays eighths; the bass seldom does.

#include "analysis/chorusonsets.h"

#include <vector>

namespace Chorus {

// The time between two beats in seconds, as aubio's tracker finds it over the middle half of
// the song (the median of its gaps); 0 where it finds no pulse.
double BeatPeriod(const RhythmBand &band);

// The beats, in seconds, about `period` apart, where the onsets are strongest; none when
// `period` is 0 or nothing begins anywhere.
std::vector<double> TrackBeats(const Onsets &onsets, double period);

} // namespace Chorus
