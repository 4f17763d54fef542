#include "preview/getbitrate.h"

#include "platform/errorreport.h"
#include "platform/main.h"
#include "platform/numbers.h"
#include "platform/shell32.h"
#include "preview/previewcommands.h"

#include <QFile>
#include <QLocale>
#include <QRegularExpression>

#include <algorithm>
#include <optional>

#include <fcntl.h>
#include <unistd.h>

namespace GetBitrate {

namespace {

// The number at the start of the text, as far as it reads as one; 0 when there is none.
double leadingNumber(const QString &text)
{
    static const QRegularExpression number(QStringLiteral("^[+-]?(\\d+\\.?\\d*|\\.\\d+)([eE][+-]?\\d+)?"));
    const QRegularExpressionMatch match = number.match(text);
    return match.hasMatch() ? match.captured().toDouble() : 0;
}

// The stream the capture's last "Audio:" line describes: its codec ("mp3", "pcm_s16le") and
// the bit rate stated before "kb/s" (0: none).
struct AudioLine {
    QString codec;
    qlonglong kbps = 0;
};

std::optional<AudioLine> lastAudioLine(const QString &capture)
{
    static const QRegularExpression described(QStringLiteral("Audio: ([^ ,(]*)"));
    static const QRegularExpression kbps(QStringLiteral("\\b(\\d+) kb/s"));
    std::optional<AudioLine> last;
    for (const QString &line : capture.split(QLatin1Char('\n'))) {
        const QRegularExpressionMatch audio = described.match(line);
        if (audio.hasMatch())
            last = AudioLine{audio.captured(1), kbps.match(line, audio.capturedStart()).captured(1).toLongLong()};
    }
    return last;
}

// What -b same writes a stated rate as: the format's highest for none or one above it, its
// lowest for one below it.
int sameRate(qlonglong kbps, const OutputFormat &format)
{
    const int highest = format.bitrates().first();
    return kbps > 0 && kbps < highest ? int(std::max<qlonglong>(kbps, format.bitrates().last())) : highest;
}

// A lossless stream states the rate of its samples, not one a preview could keep.
bool lossless(const QString &codec)
{
    static const QStringList names{QStringLiteral("flac"),   QStringLiteral("alac"), QStringLiteral("wavpack"),
                                   QStringLiteral("ape"),    QStringLiteral("tta"),  QStringLiteral("tak"),
                                   QStringLiteral("mlp"),    QStringLiteral("truehd"), QStringLiteral("shorten"),
                                   QStringLiteral("wmalossless")};
    return codec.startsWith(QLatin1String("pcm_")) || codec.startsWith(QLatin1String("dsd_")) || names.contains(codec);
}

} // namespace

CommandLine ProbeCommand(const QString &ffmpeg, const QString &sourcePath)
{
    return PreviewCommands::FfmpegInput(ffmpeg, QString(), sourcePath);
}

QString GetBitrateOfMP3(const QString &sourcePath, const Context &context)
{
    GuardedSteps steps(context.prompts, QStringLiteral("GetBitrate.GetBitrateOfMP3"));
    Shell32::RunResult probe;
    steps.run(100, [&] {
        const QString caption = context.progress ? context.progress->Text() : QString();
        const int startValue = context.progress ? int(Numbers::RoundHalfEven(context.progress->Value())) : 0;
        probe = Shell32::RunAndWait(ProbeCommand(context.ffmpeg, sourcePath), Shell32::HiddenWindow,
                                    context.progress, caption, startValue, context.count);
    });
    if (!context.captureFolder.isEmpty())
        SaveCapture(probe.errorOutput, context.captureFolder);
    const QString result = steps.value<QString>(104, [&] { return BitrateFromCapture(QString::fromUtf8(probe.errorOutput)); },
                                                QString());
    if (result.isEmpty() && context.failedProbe)
        *context.failedProbe = probe;
    return result;
}

QString GetBitrateCombo(const QString &choice, const QString &sourcePath, const Context &context)
{
    GuardedSteps steps(context.prompts, QStringLiteral("GetBitrate.GetBitrateCombo"));
    if (steps.test(100, [&] { return choice.contains(QStringLiteral("kbps")); })) {
        return steps.value<QString>(102, [&] {
            QString number = choice;
            number.remove(QStringLiteral("kbps"), Qt::CaseInsensitive);
            return QString::number(leadingNumber(number.trimmed()), 'g', QLocale::FloatingPointShortest);
        }, QString());
    }
    if (steps.test(104, [&] { return !sourcePath.isEmpty() && Main::PathExists(sourcePath); }))
        return steps.value<QString>(106, [&] { return GetBitrateOfMP3(sourcePath, context); }, QString());
    return QStringLiteral("128");
}

QString BitrateFromCapture(const QString &capture, const OutputFormat &format)
{
    const std::optional<AudioLine> audio = lastAudioLine(capture);
    return audio ? QString::number(sameRate(audio->kbps, format)) : QString();
}

QString UnkeptRateNote(const QString &capture, const OutputFormat &format)
{
    const std::optional<AudioLine> audio = lastAudioLine(capture);
    if (!audio || audio->kbps <= 0 || lossless(audio->codec))
        return QString();
    const int written = sameRate(audio->kbps, format);
    if (written == audio->kbps)
        return QString();
    return QStringLiteral("its %1 kbit/s is %2 than %3 takes: its preview has %4 kbit/s")
        .arg(audio->kbps)
        .arg(written < audio->kbps ? QStringLiteral("more") : QStringLiteral("less"), format.name())
        .arg(written);
}

QString FormatFromCapture(const QString &capture)
{
    static const QRegularExpression input(QStringLiteral("^Input #0, (\\S+), from "), QRegularExpression::MultilineOption);
    return input.match(capture).captured(1);
}

bool SaveCapture(const QByteArray &capture, const QString &folder)
{
    const QByteArray path = QFile::encodeName(folder + QStringLiteral("/out.txt"));
    const int descriptor = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (descriptor < 0)
        return false;
    const bool written = ::write(descriptor, capture.constData(), size_t(capture.size())) == capture.size();
    return ::close(descriptor) == 0 && written;
}

} // namespace GetBitrate
