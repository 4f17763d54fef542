#include "preview/outputformat.h"

#include "preview/aacformat.h"
#include "preview/joinpieceformat.h"
#include "preview/mp3format.h"
#include "preview/opusformat.h"

#include <QFileInfo>

const QList<const OutputFormat *> &OutputFormat::All()
{
    static const Mp3Format mp3;
    static const AacFormat aac;
    static const OpusFormat opus;
    static const QList<const OutputFormat *> formats{&mp3, &aac, &opus};
    return formats;
}

const OutputFormat &OutputFormat::JoinPieces()
{
    static const JoinPieceFormat pieces;
    return pieces;
}

const OutputFormat &OutputFormat::Of(Id id)
{
    for (const OutputFormat *format : All()) {
        if (format->id() == id)
            return *format;
    }
    qFatal("OutputFormat::Of: format %d has no row in All()", int(id));
}

const OutputFormat *OutputFormat::Named(const QString &path)
{
    for (const OutputFormat *format : All()) {
        if (format->names(path))
            return format;
    }
    return nullptr;
}

const OutputFormat &OutputFormat::OfPreview(const QString &path)
{
    const OutputFormat *format = Named(path);
    return format ? *format : JoinPieces().names(path) ? JoinPieces() : Mp3();
}

QStringList OutputFormat::AllPatterns()
{
    QStringList patterns;
    for (const OutputFormat *format : All())
        patterns += format->patterns();
    return patterns;
}

QStringList OutputFormat::patterns() const
{
    return {QStringLiteral("*.") + m_extension, QStringLiteral("*.") + m_extension.toUpper()};
}

bool OutputFormat::names(const QString &path) const
{
    return QFileInfo(path).suffix().compare(m_extension, Qt::CaseInsensitive) == 0;
}

QString OutputFormat::bitrateText() const
{
    const QList<int> &kbps = bitrates();
    if (kbps.first() - kbps.last() + 1 == kbps.size())
        return QStringLiteral("%1 to %2").arg(kbps.last()).arg(kbps.first());
    QStringList numbers;
    for (const int rate : kbps)
        numbers.append(QString::number(rate));
    return numbers.join(QStringLiteral(", "));
}

DecodedAudio::Decoder OutputFormat::decoder() const
{
    return [this](const QString &path, const DecodedAudio::Reading &reading, Analysis::Pass &pass) {
        return feed(path, reading, pass);
    };
}
