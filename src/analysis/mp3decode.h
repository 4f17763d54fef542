#pragma once
// MP3 decoded in the process for analysis. One channel (both mixed) at half the file's
// rate is all a look at pitches and loudness needs, and costs half the decoding work.

#include <QString>

#include <cstddef>
#include <functional>
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
// The mono 32-bit floats a tool wrote at the given rate.
Audio FromFloats(const QByteArray &bytes, int rate);

// At the file's own rate, for what must describe it as it plays: its own channels (1 or 2),
// or with channels 1 both mixed by the decoder, which then has half the work. `opened`
// learns the rate and channels, then `block` gets the interleaved samples as they are
// decoded. False when the file cannot be opened or holds no MPEG audio.
bool DecodeFull(const QString &path, int channels, const std::function<void(int rate, int channels)> &opened,
                const std::function<void(const float *samples, size_t frames)> &block);

} // namespace Mp3Decode
