#pragma once
// Where a repeated section begins, once the search has found a window of it and where that
// window repeats: the window begins only roughly where the section does.

#include "analysis/chorusfeatures.h"
#include "analysis/chorussimilarity.h"

#include <vector>

namespace Chorus {

// The earliest of the copies played one after the other that end with the stretch at `begin`
// (a chorus played twice running begins at its first time through), never before `earliest`.
// Frames of `similarity`, at `fps` a second.
int FirstCopy(const Matrix &similarity, const Loudness &loudness, int begin, int earliest, double fps);

// Seconds from the starts of the occurrences `full` (frames at `fps`; `begins` is the window's
// own) to where their section begins: where they all begin to repeat one another, then past a
// quieter lead-in they share and a pause. `barSeconds`: four beats; 0 when no pulse was found.
double ToSectionBeginning(const Features &detailed, const std::vector<Occurrence> &full, int begins, double fps,
                          double barSeconds);

} // namespace Chorus
