#include "preview/previewcheck.h"

#include <QLocale>
#include <QRegularExpression>

namespace PreviewCheck {

namespace {

using Shell32::RunResult;

// One MP3 frame of a preview (1152 samples at 48000 Hz, or 576 at 24000 Hz).
constexpr double OutputFrameSeconds = 1152.0 / 48000.0;
// Measuring by whole frames and LAME's padding: a cut within its source comes out longer.
constexpr double MeasureSlack = 4 * OutputFrameSeconds;
// Measured: a cut that runs to the end of its source comes out up to 0.13 s (five frames of
// a 44100 Hz source) short; every seam of a join loses up to 0.022 s.
constexpr int SourceEndFrames = 8;
constexpr double SeamSlack = 2 * OutputFrameSeconds;

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

QString audioProblem(const QString &writtenPath, std::optional<Expected> expected, const QString &noAudio,
                     const RunResult &run)
{
    if (!Mp3Audio::HoldsAudio(writtenPath))
        return noAudio;
    const double written = Mp3Audio::Measure(writtenPath).value_or(Mp3Audio::Length()).seconds;
    if (expected && written < expected->seconds - expected->slack)
        return QStringLiteral("SoX wrote only %1 of the %2 seconds expected")
                   .arg(QLocale::c().toString(written, 'f', 1), QLocale::c().toString(expected->seconds, 'f', 1))
               + because(run);
    return QString();
}

// Whether the source plays for another length now than before the cut.
bool lengthChanged(const QString &sourcePath, std::optional<Mp3Audio::Length> before)
{
    const std::optional<Mp3Audio::Length> now = Mp3Audio::Measure(sourcePath);
    return now.has_value() != before.has_value() || (now && now->seconds != before->seconds);
}

} // namespace

std::optional<Expected> ExpectedCut(double start, double duration, std::optional<Mp3Audio::Length> source)
{
    if (!source)
        return std::nullopt;
    const double left = source->seconds - start;
    if (left >= duration)
        return Expected{duration, MeasureSlack};
    return Expected{qMax(0.0, left), MeasureSlack + SourceEndFrames * source->frameSeconds};
}

Expected ExpectedJoin(const QStringList &pieces)
{
    Expected join{0, MeasureSlack};
    for (const QString &piece : pieces) {
        join.seconds += Mp3Audio::Measure(piece).value_or(Mp3Audio::Length()).seconds;
        join.slack += SeamSlack;
    }
    return join;
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
                   std::optional<Mp3Audio::Length> sourceLength, const QString &start, const QString &duration)
{
    QString problem = ToolProblem(run);
    if (problem.isEmpty()) {
        const std::optional<Expected> expected = ExpectedCut(QLocale::c().toDouble(start),
                                                             QLocale::c().toDouble(duration), sourceLength);
        problem = audioProblem(
            writtenPath, expected,
            QStringLiteral("SoX cut no audio from it; the track seems to be shorter than the starting second"), run);
    }
    // SoX fails in its own way, or cuts short, when the source shrinks under it.
    if (!problem.isEmpty() && lengthChanged(sourcePath, sourceLength))
        return QStringLiteral("the file changed while it was read");
    return problem;
}

QString JoinProblem(const RunResult &run, const QString &writtenPath, const QStringList &pieces)
{
    const QString tool = ToolProblem(run);
    if (!tool.isEmpty())
        return tool;
    return audioProblem(writtenPath, ExpectedJoin(pieces), QStringLiteral("SoX wrote no audio"), run);
}

} // namespace PreviewCheck
