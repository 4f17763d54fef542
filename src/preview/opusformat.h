#pragma once
// Opus in an Ogg file (.opus), encoded by libopus through FFmpeg at 48000 Hz; tags, pictures
// (METADATA_BLOCK_PICTURE) and Lumbrisk's mark in its Vorbis comment (TagLib's Ogg Opus file).

#include "preview/ffmpegformat.h"

class OpusFormat : public FfmpegFormat {
public:
    OpusFormat() : FfmpegFormat(Id::Opus, QStringLiteral("Opus"), QStringLiteral("opus"), 960) {}

    // Every whole rate libopus takes for stereo.
    const QList<int> &bitrates() const override;
    int defaultBitrate() const override { return 96; }
    QString ffmpegEncoder() const override { return QStringLiteral("libopus"); }
    QString ffmpegOptions(const QString &bitrate) const override;
    double encodingLoss(int kbps) const override;
    double peakMargin(int kbps) const override;
    double overshootAllowance(int kbps) const override;
    // libopus's one-pole high-pass at 3 Hz shifts what lies just above it, raising the peaks
    // of brown noise by 2 dB; with what lies below 20 Hz taken out first, it leaves them be.
    double subsonicCutoff() const override { return 20; }

    std::optional<QString> readMark(const QString &path) const override;
    std::unique_ptr<PreviewTags> openTags(const QString &path) const override;
};
