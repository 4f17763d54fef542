#include "preview/getbitrate.h"

#include "platform/errorreport.h"
#include "platform/apperror.h"
#include "platform/main.h"
#include "platform/numbers.h"
#include "platform/shell32.h"
#include "preview/tools.h"

#include <QFile>
#include <QLocale>
#include <QRegularExpression>

namespace GetBitrate {

namespace {

QByteArray readCapture()
{
    QFile file(CaptureFile());
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        throw AppError(QStringLiteral("Cannot read the file %1: %2").arg(file.fileName(), file.errorString()));
    return file.readAll();
}

// The number at the start of the text, as far as it reads as one; 0 when there is none.
double leadingNumber(const QString &text)
{
    static const QRegularExpression number(QStringLiteral("^[+-]?(\\d+\\.?\\d*|\\.\\d+)([eE][+-]?\\d+)?"));
    const QRegularExpressionMatch match = number.match(text);
    return match.hasMatch() ? match.captured().toDouble() : 0;
}

} // namespace

QString CaptureFile()
{
    return Tools::TemporaryFolder() + QStringLiteral("/out.txt");
}

CommandLine ProbeCommand(const QString &ffmpeg, const QString &sourcePath)
{
    return CommandLine(ffmpeg).plain(QStringLiteral(" -i ")).quoted(sourcePath);
}

QString GetBitrateOfMP3(const QString &sourcePath, const Context &context)
{
    GuardedSteps steps(context.prompts, QStringLiteral("GetBitrate.GetBitrateOfMP3"));
    Shell32::RunResult probe;
    steps.run(100, [&] {
        const CommandLine commandLine = ProbeCommand(context.ffmpeg, sourcePath);
        const QString caption = context.progress ? context.progress->Text() : QString();
        const int startValue = context.progress ? int(Numbers::RoundHalfEven(context.progress->Value())) : 0;
        probe = Shell32::RunAndWait(commandLine, Shell32::HiddenWindow, context.progress, caption,
                                    startValue, context.count);
    });
    // The capture is written even when FFmpeg did not run, so an earlier probe's is never read.
    bool captured = false;
    steps.run(102, [&] {
        Main::WriteBytes(probe.errorOutput, CaptureFile());
        captured = true;
    });
    QString result;
    if (captured)
        steps.run(104, [&] { result = BitrateFromCapture(QString::fromUtf8(readCapture())); });
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

QString BitrateFromCapture(const QString &capture)
{
    QString result;
    for (const QString &line : capture.split(QLatin1Char('\n'))) {
        if (!line.contains(QStringLiteral("Audio:")))
            continue;
        const QStringList fields = line.split(QLatin1Char(' '));
        result = fields.size() >= 2 ? fields.at(fields.size() - 2).trimmed() : QString();
    }
    return result;
}

QString CaptureReason()
{
    try {
        return Shell32::LastLine(readCapture());
    } catch (const AppError &) {
        return QString();
    }
}

} // namespace GetBitrate
