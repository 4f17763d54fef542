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
    static const QRegularExpression kbps(QStringLiteral("\\b(\\d+) kb/s"));
    const int highest = format.bitrates().first();
    const int lowest = format.bitrates().last();
    QString result;
    for (const QString &line : capture.split(QLatin1Char('\n'))) {
        const qsizetype audio = line.indexOf(QStringLiteral("Audio:"));
        if (audio < 0)
            continue;
        bool number = false;
        const qlonglong rate = kbps.match(line, audio).captured(1).toLongLong(&number);
        result = QString::number(number && rate > 0 && rate < highest ? std::max<qlonglong>(rate, lowest) : highest);
    }
    return result;
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
