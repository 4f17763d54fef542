#pragma once
// Telling an MP3 with audio from one without. Given nothing to encode, LAME still writes
// up to two frames of its own (encoder delay and padding), so a cut that starts at or after
// the end of its track leaves a small file that players show as empty.

#include "analysis/audiolength.h"

#include <QString>

#include <optional>

namespace Mp3Audio {

// True when the file holds more than two MP3 frames (48 ms at 48000 Hz), tags not counted.
// A file whose first frame cannot be read counts as audio when it is not empty.
bool HoldsAudio(const QString &path);
// How long the file plays: its whole MP3 frames, the encoder's information frame and tags
// not counted. Bytes that are no frame are stepped over, so a cut-off file gives the length
// of what it holds. None when the file holds no frame or cannot be read.
std::optional<AudioLength> Measure(const QString &path);
// How long SoX's MP3 reader makes the file play: one frame less than Measure (measured with
// SoX 14.4.2 at 48000 and 24000 Hz). What a splice position in a join must count.
std::optional<double> SoxSeconds(const QString &path);

} // namespace Mp3Audio
