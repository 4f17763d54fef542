#pragma once
// The pieces of a join in a format FFmpeg encodes, which SoX cannot read back: WAVE files of
// 32-bit floats at 48000 Hz that SoX writes and joins, so that the sampler is encoded once.
// Never a preview: they live in the run's work folder, untagged and unmarked.

#include "preview/ffmpegformat.h"
#include "preview/previewtags.h"

class JoinPieceFormat : public FfmpegFormat {
public:
    JoinPieceFormat() : FfmpegFormat(Id::JoinPiece, QStringLiteral("WAVE"), QStringLiteral("wav"), 1) {}

    const QList<int> &bitrates() const override;
    int defaultBitrate() const override { return bitrates().first(); }
    // SoX writes it itself, its samples as it has them.
    QString encoderOptions(const QString &bitrate) const override;
    QString ffmpegEncoder() const override { return QString(); }
    double encodingLoss(int) const override { return 0; }
    double peakMargin(int) const override { return 0; }
    double overshootAllowance(int) const override { return 0; }

    std::optional<QString> readMark(const QString &) const override { return std::nullopt; }
    std::unique_ptr<PreviewTags> openTags(const QString &) const override { return nullptr; }
    // To the sample, as the splices of a crossfade count.
    std::optional<AudioLength> measure(const QString &path) const override;
};
