#pragma once
// AAC-LC in an MPEG-4 file (.m4a), encoded by FFmpeg's native encoder; tags, the front
// cover and Lumbrisk's mark (a freeform atom) in its iTunes-style tag (TagLib's MP4 file).

#include "preview/ffmpegformat.h"

class AacFormat : public FfmpegFormat {
public:
    AacFormat() : FfmpegFormat(Id::Aac, QStringLiteral("AAC"), QStringLiteral("m4a"), 1024) {}

    // FFmpeg's encoder takes any rate; below 32 kbit/s stereo AAC-LC is hardly music.
    const QList<int> &bitrates() const override;
    int defaultBitrate() const override { return 256; }
    QString ffmpegEncoder() const override { return QStringLiteral("aac"); }
    QString ffmpegOptions(const QString &bitrate) const override;
    double encodingLoss(int kbps) const override;
    double peakMargin(int kbps) const override;
    double overshootAllowance(int kbps) const override;

    std::optional<QString> readMark(const QString &path) const override;
    std::unique_ptr<PreviewTags> openTags(const QString &path) const override;
};
