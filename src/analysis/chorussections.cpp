#include "analysis/chorussections.h"

#include <algorithm>
#include <numeric>

namespace Chorus {

namespace {

constexpr float Matching = 0.7f; // mean likeness of two stretches that repeat each other

// The key shift (semitones) at which the `span` frames from `from` match those `lag` later
// best: a chorus sung a tone higher still repeats.
int bestShift(const std::vector<Chroma> &chroma, int from, int lag, int span)
{
    const int size = int(chroma.size());
    int shift = 0;
    double bestSum = -1;
    for (int candidate = 0; candidate < 12; ++candidate) {
        double sum = 0;
        for (int frame = std::max({from, 0, -lag}); frame < std::min({from + span, size - lag, size}); ++frame)
            sum += Likeness(chroma[size_t(frame)], chroma[size_t(frame + lag)], candidate);
        if (sum > bestSum) {
            bestSum = sum;
            shift = candidate;
        }
    }
    return shift;
}

// For every frame from `from` to `to` (offsets of the anchor's occurrence, the others at the
// same distance): whether every pair of occurrences matches over the `span` frames there.
std::vector<bool> allPairsMatch(const std::vector<Chroma> &chroma, const std::vector<int> &begins, int anchor,
                                int from, int to, int span)
{
    const int size = int(chroma.size());
    std::vector<bool> matching(size_t(to - from), true);
    for (size_t one = 0; one < begins.size(); ++one) {
        for (size_t other = one + 1; other < begins.size(); ++other) {
            const int first = begins[one] - anchor;
            const int lag = begins[other] - begins[one];
            const int shift = bestShift(chroma, anchor + first, lag, span);
            // Frames beyond either end of the song match nothing.
            std::vector<float> likeness(size_t(to - from + span));
            for (size_t index = 0; index < likeness.size(); ++index) {
                const int frame = from + first + int(index);
                const bool inside = frame >= 0 && frame + lag >= 0 && frame < size && frame + lag < size;
                likeness[index] = inside ? Likeness(chroma[size_t(frame)], chroma[size_t(frame + lag)], shift) : 0;
            }
            float sum = std::accumulate(likeness.begin(), likeness.begin() + span, 0.0f);
            for (int index = 0; index < to - from; ++index) {
                if (sum < Matching * float(span))
                    matching[size_t(index)] = false;
                sum += likeness[size_t(index + span)] - likeness[size_t(index)];
            }
        }
    }
    return matching;
}

} // namespace

int SharedBeginning(const std::vector<Chroma> &chroma, const std::vector<int> &begins, int anchor, int ahead,
                    int limit, int span)
{
    const int from = anchor - limit;
    const std::vector<bool> matching = allPairsMatch(chroma, begins, anchor, from, anchor + ahead, span);
    int frame = limit;
    while (frame < int(matching.size()) && !matching[size_t(frame)])
        ++frame;
    if (frame == int(matching.size()))
        return anchor;
    // Back as long as they all go on matching, over a stretch of up to `span` frames where
    // they do not: a fill played differently each time does not end the section.
    int earliest = frame;
    for (int back = frame - 1; back >= 0 && earliest - back <= span + 1; --back) {
        if (matching[size_t(back)])
            earliest = back;
    }
    return from + earliest;
}

} // namespace Chorus
