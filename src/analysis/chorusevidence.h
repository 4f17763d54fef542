#pragma once
// What tells a song's chorus from its verse in a mix, without the words: the chorus repeats at
// least as often, it is louder and denser (more of its power above 1 kHz, more notes
// beginning), its melody lies higher, and it comes after the verse.

#include "analysis/chorusfeatures.h"
#include "analysis/chorusonsets.h"
#include "analysis/chorusrepeats.h"

#include <vector>

namespace Chorus {

// How a repeated section sounds, over all its occurrences.
struct Sound {
    double fitness = 0; // how much of the song its repetitions cover, and how well
    int repeats = 0;
    double levelDb = 0;  // its mean power
    double trebleDb = 0; // the share of its power above 1 kHz
    double notesPerSecond = 0; // how many notes begin
    double height = 0;   // its melody's mean pitch, a MIDI note
    double firstHeard = 0; // seconds
};

Sound SoundOf(const Repeated &section, const Features &detailed, const Onsets &onsets);

// How much more `one` sounds like the chorus than `other`: one for each cue of the song's
// structure it wins (it covers more of the song, repeats more often, is louder, comes later),
// less one for each it loses; a quarter for each cue of its sound (brighter, denser,
// higher), which together never outweigh one of the structure's: they tell sections apart
// only where the structure cannot, as the arrangement and not the song decides them.
double Comparison(const Sound &one, const Sound &other);
// How much each section sounds like the chorus against the others: the share of the cues it
// wins, 0..1; 1 for a section alone.
std::vector<double> ChorusLikeness(const std::vector<Sound> &sounds);

} // namespace Chorus
