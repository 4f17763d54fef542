#pragma once
// The starts a review page and the JSON report offer a person instead of the one chosen: the
// search's candidates (every occurrence of the chosen chorus, then the best of up to two
// other repeated sections), each moved onto the bar it falls in and back so that the preview
// ends with the song, without two on the same moment.

#include "analysis/chorus.h"

#include <QString>

#include <optional>
#include <vector>

namespace ReviewCandidates {

struct Shown {
    double seconds = 0; // to the millisecond, as a start is given
    int section = 0;    // 0 the chosen chorus, 1 and 2 the others
    int repeats = 0;
    double score = 0;
    QString clock; // "1:05"
};

// Sections past the chosen one and the two after it are not offered.
constexpr int MostSections = 3;
// Two candidates closer than this are one moment: the lower section's is kept.
constexpr double SameMomentSeconds = 1;

// On the downbeat nearest to seconds when one lies within half a bar of it (the bar read
// from the downbeats' own spacing); seconds as they are without downbeats.
double OnBar(double seconds, const std::vector<double> &downbeats);
// No later than a preview of previewSeconds can start and end with the song (not before 0);
// as it is when the song's length is unknown.
double Fitted(double seconds, std::optional<double> songSeconds, double previewSeconds);
// A start a person should hear first: the search chose narrowly, or nothing repeats; not
// one a list pins (a person chose it, or let it stand).
bool Doubtful(const Chorus::Start &found, bool pinned);
// The candidates to offer, in the order they are played.
std::vector<Shown> Of(const Chorus::Start &found, std::optional<double> songSeconds, double previewSeconds);

} // namespace ReviewCandidates
