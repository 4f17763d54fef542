#pragma once
// Where a repeated section begins: the occurrences found for a stretch of it are followed
// back, in fine frames, as long as every one of them still repeats every other.

#include "analysis/chorusfeatures.h"

#include <vector>

namespace Chorus {

// Where the stretch that every occurrence shares begins, in frames of `chroma`: from the
// first frame within `ahead` after `anchor` where every two occurrences (beginning at
// `begins`, `anchor` among them) match over `span` frames, back as long as they all go on
// matching (over breaks of up to `span` frames), at most `limit` frames before `anchor`. `anchor` itself when they never all
// match.
int SharedBeginning(const std::vector<Chroma> &chroma, const std::vector<int> &begins, int anchor, int ahead,
                    int limit, int span);

} // namespace Chorus
