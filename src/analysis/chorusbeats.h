#pragma once
// Placing a start on the music's pulse, so that a preview does not begin between beats.

#include <vector>

namespace Chorus {

// The beats aubio's beat tracker finds between `from` and `to` seconds of the samples, in
// seconds of the song.
std::vector<double> BeatsBetween(const std::vector<float> &samples, int rate, double from, double to);

// The first beat at `seconds` or up to `reach` seconds after; `seconds` itself when the
// tracker finds none there. Never earlier: the preview should not open on the end of the
// section before.
double OnBeat(const std::vector<float> &samples, int rate, double seconds, double reach);

} // namespace Chorus
