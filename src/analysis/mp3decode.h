#pragma once
// MP3 decoded in the process for analysis. One channel (both mixed) at half the file's
// rate is all a look at pitches and loudness needs, and costs half the decoding work.

#include "analysis/loudness.h"

#include <QString>

#include <optional>
#include <vector>

namespace Mp3Decode {

struct Audio {
    std::vector<float> samples; // mono, full scale at +-1
    int rate = 0;               // Hz
};

// The files DecodeMono is for: named .mp3, case ignored. Its decoder takes frames out of any
// bytes, so it is not asked about other files.
bool Decodes(const QString &path);
// None when the file cannot be opened or holds no MPEG audio.
std::optional<Audio> DecodeMono(const QString &path);
// The file's loudness and true peak as a player hears it: both channels at its own rate.
// None when it cannot be decoded.
std::optional<Loudness::Measurement> MeasureLoudness(const QString &path);
// The mono 32-bit floats a tool wrote at the given rate.
Audio FromFloats(const QByteArray &bytes, int rate);

} // namespace Mp3Decode
