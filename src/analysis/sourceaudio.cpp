#include "analysis/sourceaudio.h"

#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <audioproperties.h>
#include <fileref.h>

namespace SourceAudio {

namespace {

// Slack at a source's end is counted in frames; an AAC frame at 44100 Hz, as a typical one.
constexpr double OtherFrameSeconds = 1024.0 / 44100.0;

} // namespace

bool NeedsDecoder(const QString &path)
{
    static const QSet<QString> decoded{QStringLiteral("m4a"),  QStringLiteral("m4b"), QStringLiteral("mp4"),
                                       QStringLiteral("aac"),  QStringLiteral("alac"), QStringLiteral("opus"),
                                       QStringLiteral("wma"),  QStringLiteral("webm"), QStringLiteral("mka"),
                                       QStringLiteral("caf"),  QStringLiteral("ape"),  QStringLiteral("wv")};
    return decoded.contains(QFileInfo(path).suffix().toLower());
}

QStringList Extensions()
{
    return {QStringLiteral("mp3"),  QStringLiteral("mp2"),  QStringLiteral("flac"), QStringLiteral("wav"),
            QStringLiteral("aif"),  QStringLiteral("aiff"), QStringLiteral("aifc"), QStringLiteral("ogg"),
            QStringLiteral("oga"),  QStringLiteral("opus"), QStringLiteral("m4a"),  QStringLiteral("m4b"),
            QStringLiteral("aac"),  QStringLiteral("alac"), QStringLiteral("wma"),  QStringLiteral("mka"),
            QStringLiteral("caf"),  QStringLiteral("ape"),  QStringLiteral("wv")};
}

std::optional<AudioLength> Measure(const QString &path)
{
    if (QFileInfo(path).suffix().compare(QLatin1String("mp3"), Qt::CaseInsensitive) == 0)
        return Mp3Audio::Measure(path);
    const TagLib::FileRef file(QFile::encodeName(path).constData(), true, TagLib::AudioProperties::Average);
    if (file.isNull() || !file.audioProperties() || file.audioProperties()->lengthInMilliseconds() <= 0)
        return Mp3Audio::Measure(path);
    return AudioLength{file.audioProperties()->lengthInMilliseconds() / 1000.0, OtherFrameSeconds,
                            file.audioProperties()->sampleRate()};
}

} // namespace SourceAudio
