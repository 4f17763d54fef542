#include "preview/joinpieceformat.h"

#include <QFile>

#include <wavfile.h>

const QList<int> &JoinPieceFormat::bitrates() const
{
    static const QList<int> kbps{2 * FfmpegFormat::Rate * 32 / 1000};
    return kbps;
}

QString JoinPieceFormat::encoderOptions(const QString &) const
{
    return QStringLiteral("-e floating-point -b 32 ");
}

std::optional<AudioLength> JoinPieceFormat::measure(const QString &path) const
{
    TagLib::RIFF::WAV::File file(QFile::encodeName(path).constData(), true, TagLib::AudioProperties::Accurate);
    const TagLib::RIFF::WAV::Properties *properties = file.isValid() ? file.audioProperties() : nullptr;
    if (!properties || properties->sampleRate() <= 0 || properties->sampleFrames() == 0)
        return std::nullopt;
    const double rate = properties->sampleRate();
    return AudioLength{properties->sampleFrames() / rate, 1 / rate, properties->sampleRate()};
}
