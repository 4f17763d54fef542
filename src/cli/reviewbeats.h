#pragma once
// The beats a review page's script moves a start by, written in few characters: a song's
// thousand beats as a few stretches of steady tempo. A stretch is its first beat, the
// period and how many beats it holds; every beat lies within Tolerance of where its stretch
// puts it, so a start placed on a beat is off by no more than that.

#include <QString>

#include <vector>

namespace ReviewBeats {

constexpr double Tolerance = 0.01; // seconds

struct Stretch {
    double first = 0;  // seconds
    double period = 0; // seconds from one beat to the next
    int count = 0;     // beats, the first among them
};

// The fewest stretches a greedy pass finds, in order.
std::vector<Stretch> StretchesOf(const std::vector<double> &beats);
// "12.345+0.50012*480 ...": each stretch as first+period*count (a single beat as first alone),
// first to the millisecond and period to a hundredth of one, joined by blanks; "" without beats.
QString Text(const std::vector<double> &beats);

} // namespace ReviewBeats
