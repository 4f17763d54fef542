#pragma once
// MP3, encoded by SoX's LAME at a constant bit rate; tags and the mark in an ID3v2 tag
// (TagLib's MPEG file), decoded by libmpg123.

#include "preview/outputformat.h"

class Mp3Format : public OutputFormat {
public:
    Mp3Format() : OutputFormat(Id::Mp3, QStringLiteral("MP3"), QStringLiteral("mp3")) {}

    const QList<int> &bitrates() const override;
    int defaultBitrate() const override { return 128; }
    // 24000 Hz for the rates MPEG-1 Layer III lacks at 48000 Hz (8, 16, 24 and 144 kbps; any
    // other below 32), which MPEG-2 has there; 48000 Hz for all others. At 48000 Hz LAME would
    // take the nearest rate it has, so "144 kbps" would give a 128 kbps file.
    int sampleRateFor(const QString &bitrate) const override;
    QString encoderOptions(const QString &bitrate) const override;
    double encodingLoss(int kbps) const override;
    double peakMargin(int kbps) const override;
    double overshootAllowance(int kbps) const override;

    // Reads the frame headers of the ID3v2 tag and the body of its user text frames only.
    std::optional<QString> readMark(const QString &path) const override;
    std::unique_ptr<PreviewTags> openTags(const QString &path) const override;

    bool holdsAudio(const QString &path) const override;
    std::optional<AudioLength> measure(const QString &path) const override;
    std::optional<double> soxSeconds(const QString &path) const override;
    bool feed(const QString &path, const DecodedAudio::Reading &reading, Analysis::Pass &pass) const override;
};
