#include "preview/previewcheck.h"

#include "preview/mp3audio.h"

#include <QLocale>
#include <QRegularExpression>

namespace PreviewCheck {

namespace {

using Shell32::RunResult;

// Four MP3 frames at 48000 Hz: the slack of LAME's padding and of measuring by frames.
constexpr double ToleranceSeconds = 4 * 1152.0 / 48000.0;

const QRegularExpression &soxPrefix()
{
    static const QRegularExpression prefix(QStringLiteral("^\\S+ (FAIL|WARN|INFO) [^:]*: "));
    return prefix;
}

// The first "FAIL" line of SoX's error output, without its "sox FAIL formats: " prefix.
QString failWords(const RunResult &run)
{
    for (const QString &line : QString::fromUtf8(run.errorOutput).split(QLatin1Char('\n'))) {
        const QRegularExpressionMatch match = soxPrefix().match(line.trimmed());
        if (match.hasMatch() && match.captured(1) == QLatin1String("FAIL"))
            return line.trimmed().remove(soxPrefix());
    }
    return QString();
}

// SoX's last words without their prefix, after ": ", or "".
QString because(const RunResult &run)
{
    const QString words = run.lastErrorLine().remove(soxPrefix());
    return words.isEmpty() ? QString() : QStringLiteral(": ") + words;
}

QString audioProblem(const QString &writtenPath, std::optional<double> expected, const QString &noAudio,
                     const RunResult &run)
{
    if (!Mp3Audio::HoldsAudio(writtenPath))
        return noAudio;
    const double written = Mp3Audio::Seconds(writtenPath).value_or(0);
    if (expected && written < *expected - ToleranceSeconds)
        return QStringLiteral("SoX wrote only %1 of the %2 seconds expected")
                   .arg(QLocale::c().toString(written, 'f', 1), QLocale::c().toString(*expected, 'f', 1))
               + because(run);
    return QString();
}

} // namespace

std::optional<double> ExpectedSeconds(double start, double duration, std::optional<double> sourceSeconds)
{
    if (!sourceSeconds)
        return std::nullopt;
    return qMax(0.0, qMin(duration, *sourceSeconds - start));
}

QString ToolProblem(const RunResult &run)
{
    switch (run.outcome) {
    case RunResult::Outcome::FailedToStart:
        return QStringLiteral("SoX could not be started: ") + run.startError;
    case RunResult::Outcome::Crashed:
        return QStringLiteral("SoX crashed") + because(run);
    case RunResult::Outcome::Exited:
        break;
    }
    if (run.exitCode != 0) {
        const QString words = because(run);
        return QStringLiteral("SoX failed") + (words.isEmpty() ? QStringLiteral(" with exit status %1").arg(run.exitCode) : words);
    }
    const QString fail = failWords(run);
    return fail.isEmpty() ? QString() : QStringLiteral("SoX failed: ") + fail;
}

QString CutProblem(const RunResult &run, const QString &writtenPath, const QString &sourcePath,
                   const QString &start, const QString &duration)
{
    const QString tool = ToolProblem(run);
    if (!tool.isEmpty())
        return tool;
    const std::optional<double> expected = ExpectedSeconds(QLocale::c().toDouble(start), QLocale::c().toDouble(duration),
                                                           Mp3Audio::Seconds(sourcePath));
    return audioProblem(writtenPath, expected,
                        QStringLiteral("SoX cut no audio from it; the track seems to be shorter than the starting second"),
                        run);
}

QString JoinProblem(const RunResult &run, const QString &writtenPath, const QStringList &pieces)
{
    const QString tool = ToolProblem(run);
    if (!tool.isEmpty())
        return tool;
    double expected = 0;
    for (const QString &piece : pieces)
        expected += Mp3Audio::Seconds(piece).value_or(0);
    return audioProblem(writtenPath, expected, QStringLiteral("SoX wrote no audio"), run);
}

} // namespace PreviewCheck
