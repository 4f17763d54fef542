#include "preview/ffmpegformat.h"

#include "analysis/pipedecode.h"
#include "preview/previewcommands.h"
#include "preview/tools.h"

#include <QFile>

#include <fileref.h>

namespace {

// What the decoders of the analyses take of a 48000 Hz file (DecodedAudio::Reading).
int rateFor(const DecodedAudio::Reading &reading)
{
    if (reading.ownRate)
        return FfmpegFormat::Rate;
    if (reading.mono)
        return FfmpegFormat::Rate / 4;
    return reading.highestRate > 0 && FfmpegFormat::Rate > reading.highestRate ? FfmpegFormat::Rate / 2
                                                                              : FfmpegFormat::Rate;
}

} // namespace

QList<int> FfmpegFormat::EveryRate(int highest, int lowest)
{
    QList<int> rates;
    for (int rate = highest; rate >= lowest; --rate)
        rates.append(rate);
    return rates;
}

int FfmpegFormat::sampleRateFor(const QString &) const
{
    return Rate;
}

// SoX writes raw floats on its standard output, which the encoder reads (ffmpegOptions).
QString FfmpegFormat::encoderOptions(const QString &) const
{
    return QStringLiteral("-t f32 ");
}

const OutputFormat &FfmpegFormat::joinPieces() const
{
    return JoinPieces();
}

bool FfmpegFormat::holdsAudio(const QString &path) const
{
    const std::optional<AudioLength> length = measure(path);
    return length && length->seconds > double(m_frameSamples) / Rate;
}

std::optional<AudioLength> FfmpegFormat::measure(const QString &path) const
{
    const TagLib::FileRef file(QFile::encodeName(path).constData(), true, TagLib::AudioProperties::Accurate);
    if (file.isNull() || !file.audioProperties() || file.audioProperties()->lengthInMilliseconds() <= 0)
        return std::nullopt;
    return AudioLength{file.audioProperties()->lengthInMilliseconds() / 1000.0, double(m_frameSamples) / Rate,
                       file.audioProperties()->sampleRate()};
}

std::optional<double> FfmpegFormat::soxSeconds(const QString &path) const
{
    const std::optional<AudioLength> length = measure(path);
    return length ? std::optional(length->seconds) : std::nullopt;
}

bool FfmpegFormat::feed(const QString &path, const DecodedAudio::Reading &reading, Analysis::Pass &pass) const
{
    const QString ffmpeg = Tools::FindFfmpeg();
    if (ffmpeg.isEmpty())
        return false;
    const int channels = reading.mono ? 1 : 2;
    const int rate = rateFor(reading);
    QString options = QStringLiteral(" -nostdin -v error");
    if (reading.from > 0)
        options += QStringLiteral(" -ss ") + PreviewCommands::SoxNumber(reading.from);
    // One channel as the mean of both, as libmpg123 mixes an MP3's: FFmpeg's own mix is 3 dB louder.
    const QString mix = reading.mono ? QStringLiteral(" -af pan=mono|c0=0.5*c0+0.5*c1") : QStringLiteral(" -ac 2");
    const CommandLine decode = PreviewCommands::FfmpegInput(ffmpeg, options, path).plain(
        QStringLiteral(" -vn") + mix + QStringLiteral(" -f f32le -ar %1 -").arg(rate));
    const PipeDecode::Ended ended = PipeDecode::Feed(decode, std::nullopt, rate, channels, pass, [] { return false; });
    return ended.stoppedEarly || ended.reader.succeeded();
}
