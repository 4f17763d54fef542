#pragma once
// Where the chorus begins inside a repeated unit. In many songs the verse comes back with the
// same chords and other words, so the stretch the song repeats most is a verse and its chorus:
// of the unit's occurrences, the chorus is the later part whose timbre matches between them
// (the same words sung again) better than the verse's, and which is louder than the part
// before it.

#include "analysis/chorusfeatures.h"
#include "analysis/chorusrepeats.h"

#include <optional>

namespace Chorus {

struct Inside {
    double offset = 0; // seconds from each occurrence's beginning to the chorus's
    double length = 0; // of the chorus, in seconds; 0 where the unit begins with it
    // Where the cues for the later part against the earlier one are weak: the offset of the
    // start not taken, for a person to choose instead.
    std::optional<double> otherOffset;
};

// The chorus inside `unit`, from the song's `detailed` features (ChromaOf): offset 0 where the
// unit begins with it, or where it has a single occurrence.
Inside ChorusInside(const Repeated &unit, const Features &detailed);

} // namespace Chorus
