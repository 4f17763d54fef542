#pragma once
// Where a song's chorus begins, found from its audio alone: of the sections the song repeats
// (chorusrepeats), the one that sounds most like a chorus rather than a verse
// (chorusevidence), begun on the first beat of its bar (chorusbars).

#include "analysis/chorusrepeats.h"

#include <string>
#include <vector>

namespace Chorus {

// A start the search would give next, for a person to choose instead: where one occurrence
// of a repeated section begins.
struct Candidate {
    double seconds = 0;
    int section = 0;  // which repeated section: 0 the one taken for the chorus, then the others
    int repeats = 0;  // how many times that section is played
    double score = 0; // how much that section sounds like the chorus, 0..1
};

struct Start {
    double seconds = 0;
    bool fromChorus = false; // false: nothing repeats, so a quarter of the length
    bool tooLong = false;    // the song is longer than LongestSongSeconds, so not looked into
    // Every full occurrence of the section taken for the chorus (the start's among them), each
    // from its bar, in the order they are played; empty when nothing repeats.
    std::vector<Section> sections;
    // Every occurrence of the chosen section, and where the search found each of up to two
    // other repeated sections; each on its bar, in the order they are played.
    std::vector<Candidate> candidates;
    // The beats found, in seconds of the song, and those among them that begin a bar; either
    // may be empty where the search found no pulse or could not tell the bar.
    std::vector<double> beats;
    std::vector<double> downbeats;
    // The chosen section won only narrowly over the next candidate, or nothing repeats: a
    // person should listen to this one first.
    bool doubtful = false;
    // Why this start, in a few words for logs and plans: "chorus, on the bar", "chorus, on a
    // beat: the bar cannot be told", "chorus, no beat found", each perhaps with "; a close call
    // with its verse" (or "with a later part"), "nothing repeats: a quarter in", "too long to
    // look into: a quarter in".
    std::string reason;
};
// Longer files are mixes or whole works, where a chorus means nothing, and the matrix of a
// full hour would not fit in memory: they are not looked into.
constexpr double LongestSongSeconds = 15 * 60;
// The start of a song without a chorus: a quarter in.
Start Fallback(double songSeconds);
// The start of a song too long to look into: a quarter in, as without a chorus.
Start TooLong(double songSeconds);
// The rate the tools decode other formats than MP3 to for ChooseStart: pitches up to 11 kHz.
constexpr int DecodingRate = 22050;
// Where the preview of the song begins: on the first beat of the bar where its chorus begins,
// never in its first tenth, whatever the preview's length. `samples` are mono at `rate`
// (4000 Hz and up).
Start ChooseStart(const std::vector<float> &samples, int rate, double previewSeconds);

} // namespace Chorus
