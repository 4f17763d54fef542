#pragma once
// A format FFmpeg encodes and decodes: SoX writes the cut as raw 32-bit floats at 48000 Hz
// into FFmpeg's encoder, and FFmpeg decodes the made preview for its check, its measures and
// its waveform. TagLib reads how long it plays. Its subclass says which encoder, which bit
// rates, what the encoder does to loudness and peaks, and how tags and the mark are kept.

#include "preview/outputformat.h"

class FfmpegFormat : public OutputFormat {
public:
    // Both encoders work at 48000 Hz (Opus at nothing else); AAC's frames are of 1024 samples,
    // Opus's of 960.
    static constexpr int Rate = 48000;

    int sampleRateFor(const QString &bitrate) const override;
    const OutputFormat &joinPieces() const override;
    QString encoderOptions(const QString &bitrate) const override;

    bool holdsAudio(const QString &path) const override;
    std::optional<AudioLength> measure(const QString &path) const override;
    std::optional<double> soxSeconds(const QString &path) const override;
    // FFmpeg decodes from reading.from on, at the rate and in the channels the reading asks.
    bool feed(const QString &path, const DecodedAudio::Reading &reading, Analysis::Pass &pass) const override;

protected:
    // Every whole rate from highest down to lowest (kbit/s): an encoder that takes any.
    static QList<int> EveryRate(int highest, int lowest);

    FfmpegFormat(Id id, const QString &name, const QString &extension, int frameSamples)
        : OutputFormat(id, name, extension), m_frameSamples(frameSamples)
    {
    }

private:
    int m_frameSamples;
};
