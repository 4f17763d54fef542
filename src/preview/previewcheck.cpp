#include "preview/previewcheck.h"

#include "platform/safefiles.h"
#include "platform/watchdog.h"
#include "preview/getbitrate.h"
#include "preview/outputformat.h"
#include "preview/previewcommands.h"
#include "analysis/sourceaudio.h"

#include <QFileInfo>
#include <QLocale>
#include <QRegularExpression>

#include <cmath>

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

// How long a file Lumbrisk wrote plays, as its format measures it; 0 when not at all.
double lengthOf(const QString &written)
{
    return OutputFormat::OfPreview(written).measure(written).value_or(AudioLength()).seconds;
}

const QRegularExpression &soxPrefix()
{
    static const QRegularExpression prefix(QStringLiteral("^\\S+ (FAIL|WARN|INFO) [^:]*:( |$)"));
    return prefix;
}

// The first "FAIL" line of SoX's error output, without its "sox FAIL formats: " prefix;
// none when there is no such line.
std::optional<QString> failWords(const RunResult &run)
{
    for (const QString &line : QString::fromUtf8(run.errorOutput).split(QLatin1Char('\n'))) {
        const QRegularExpressionMatch match = soxPrefix().match(line.trimmed());
        if (match.hasMatch() && match.captured(1) == QLatin1String("FAIL"))
            return line.trimmed().mid(match.capturedLength());
    }
    return std::nullopt;
}

// SoX's last words without their prefix, after ": ", or "".
QString because(const RunResult &run)
{
    const QString words = run.lastErrorLine().remove(soxPrefix());
    return words.isEmpty() ? QString() : QStringLiteral(": ") + words;
}

const QString NoAudioStream = QStringLiteral("it holds no audio stream (a video file?)");

// The format FFmpeg recognised but was not let read (PreviewCommands::FfmpegInput); "" for none.
QString refusedFormat(const QByteArray &errorOutput)
{
    static const QRegularExpression refused(QStringLiteral("^\\[(\\S+) @ [^]]*\\] Format not on whitelist"),
                                            QRegularExpression::MultilineOption);
    return refused.match(QString::fromUtf8(errorOutput)).captured(1);
}

// FFmpeg's description of its input names streams, none of them audio.
bool holdsVideoOnly(const QByteArray &description)
{
    return description.contains(": Video: ") && !description.contains(": Audio: ");
}

// A source without audio the tool can read; FFmpeg's description names its format when it
// recognises one that is not MP3 (an M4A named .mp3).
QString noAudioIn(const QString &tool, const QByteArray &description)
{
    if (const QString refused = RefusedByFfmpeg(description); !refused.isEmpty())
        return refused;
    if (holdsVideoOnly(description))
        return NoAudioStream;
    QString format = GetBitrate::FormatFromCapture(QString::fromUtf8(description));
    if (format.isEmpty())
        format = refusedFormat(description); // a picture, say
    const QString which = format.isEmpty() || format == QLatin1String("mp3")
                              ? QStringLiteral("not an MP3 file, or damaged")
                              : QStringLiteral("FFmpeg reads it as %1, not MP3").arg(format);
    return QStringLiteral("it holds no audio that %1 can read (%2)").arg(tool, which);
}

// SoX found no audio in the source: it could not open it, with nothing after the colon or
// with "Invalid argument" (what its MP3 reader says of a text, an empty file or a bare tag),
// or it has no reader for the file's extension (a cover.jpg, a starts.csv) or none at all.
QString unreadableSource(const RunResult &run, const QString &sourcePath, const QString &ffmpeg)
{
    static const QRegularExpression noAudio(QStringLiteral(
        "^(can't open input file `.*':( Invalid argument)?|no handler for file extension `.*'|can't determine type of file `.*')$"));
    if (!noAudio.match(failWords(run).value_or(QString())).hasMatch())
        return QString();
    const QByteArray description =
        ffmpeg.isEmpty() ? QByteArray()
                         : Shell32::RunAndWait(GetBitrate::ProbeCommand(ffmpeg, sourcePath), Shell32::HiddenWindow,
                                               nullptr, QString(), 0, 1)
                               .errorOutput;
    return noAudioIn(QStringLiteral("SoX"), description);
}

// A start at or after the end of the track (or so near it that nothing is left once SoX
// has dropped the little it drops at a source's end); "" otherwise. SoX 14.4.2 crashes
// there at times: that is no failure of the source. Without a length, SoX's own warning.
QString startBeyondEnd(double start, std::optional<AudioLength> source, const RunResult &run)
{
    if (source && start >= source->seconds - SourceEndFrames * source->frameSeconds)
        return QStringLiteral("the track is only %1 long, so a preview from %2 has nothing in it")
            .arg(PreviewCommands::ClockText(std::floor(source->seconds)), PreviewCommands::ClockText(start));
    if (!source && run.errorOutput.contains("Start position is after expected end of audio"))
        return QStringLiteral("the track ends before %1, so a preview from there has nothing in it").arg(PreviewCommands::ClockText(start));
    // Neither the start nor the end of the trim was reached: a stream of unknown length.
    if (!source && run.errorOutput.contains("Last 2 position(s) not reached"))
        return QStringLiteral("the file ends before the preview's start (%1)").arg(PreviewCommands::ClockText(start));
    return QString();
}

// LAME writes a cut of one frame or less as its own delay and padding only.
QString tinyCut(double seconds)
{
    if (seconds > OutputFrameSeconds)
        return QString();
    return QStringLiteral("the cut came out %1 s long, no longer than one MP3 frame (%2 s), so it holds no audio")
        .arg(PreviewCommands::SecondsText(seconds), PreviewCommands::SoxNumber(OutputFrameSeconds));
}

// "the disk is full: <folder> has N KB free" in place of the words for SoX's failure when
// the write failed, or came out short, in a folder with almost no space left.
QString orFullDisk(const QString &words, const RunResult &run, const QString &writtenPath)
{
    const bool writeFailed = ToolProblem(run).isEmpty()
                             || failWords(run).value_or(QString()).contains(QStringLiteral("write failed"), Qt::CaseInsensitive);
    return writeFailed ? SafeFiles::OrFullDisk(words, QFileInfo(writtenPath).absolutePath()) : words;
}

// "" when the file lasts as long as expected; else how much less it holds.
QString shortfall(const RunResult &run, const QString &writtenPath, std::optional<Expected> expected)
{
    const double written = lengthOf(writtenPath);
    if (!expected || written >= expected->seconds - expected->slack)
        return QString();
    return orFullDisk(QStringLiteral("SoX wrote only %1 of the %2 seconds expected")
                              .arg(QLocale::c().toString(written, 'f', 1), QLocale::c().toString(expected->seconds, 'f', 1))
                          + because(run),
                      run, writtenPath);
}

// Whether the source plays for another length now than before the cut.
bool lengthChanged(const QString &sourcePath, std::optional<AudioLength> before)
{
    const std::optional<AudioLength> now = SourceAudio::Measure(sourcePath);
    return now.has_value() != before.has_value() || (now && now->seconds != before->seconds);
}

// CutProblem's reason, before the source's length is looked at again.
QString cutProblem(const RunResult &run, const QString &writtenPath, const QString &sourcePath,
                   std::optional<AudioLength> sourceLength, const QString &start, const QString &duration,
                   const QString &ffmpeg)
{
    const double from = QLocale::c().toDouble(start);
    const double seconds = QLocale::c().toDouble(duration);
    const std::optional<Expected> expected = ExpectedCut(from, seconds, sourceLength);
    const QString tool = ToolProblem(run);
    if (tool.isEmpty() && OutputFormat::OfPreview(writtenPath).holdsAudio(writtenPath))
        return shortfall(run, writtenPath, expected);
    QString reason = unreadableSource(run, sourcePath, ffmpeg);
    if (reason.isEmpty())
        reason = startBeyondEnd(from, sourceLength, run);
    if (reason.isEmpty() && tool.isEmpty())
        reason = tinyCut(expected ? expected->seconds : seconds);
    if (reason.isEmpty())
        reason = orFullDisk(tool.isEmpty() ? QStringLiteral("SoX cut no audio from it") + because(run) : tool, run, writtenPath);
    return reason;
}

} // namespace

std::optional<Expected> ExpectedCut(double start, double duration, std::optional<AudioLength> source)
{
    if (!source)
        return std::nullopt;
    const double left = source->seconds - start;
    if (left >= duration)
        return Expected{duration, MeasureSlack};
    return Expected{qMax(0.0, left), MeasureSlack + SourceEndFrames * source->frameSeconds};
}

Expected ExpectedJoin(const QStringList &pieces, double overlap)
{
    Expected join{-overlap * double(qMax(qsizetype(0), pieces.size() - 1)), MeasureSlack};
    for (const QString &piece : pieces) {
        join.seconds += lengthOf(piece);
        join.slack += SeamSlack;
    }
    return join;
}

QString ToolProblem(const RunResult &run)
{
    if (run.stalled)
        return QStringLiteral("SoX hung: ") + Watchdog::Reason();
    switch (run.outcome) {
    case RunResult::Outcome::FailedToStart:
        return QStringLiteral("SoX could not be started")
               + (run.startError.isEmpty() ? QString() : QStringLiteral(": ") + run.startError);
    case RunResult::Outcome::Crashed:
        return QStringLiteral("SoX crashed") + because(run);
    case RunResult::Outcome::Exited:
        break;
    }
    if (run.exitCode != 0) {
        const QString words = because(run);
        return QStringLiteral("SoX failed") + (words.isEmpty() ? QStringLiteral(" with exit status %1").arg(run.exitCode) : words);
    }
    const std::optional<QString> fail = failWords(run);
    if (!fail)
        return QString();
    return QStringLiteral("SoX failed") + (fail->isEmpty() ? QString() : QStringLiteral(": ") + *fail);
}

QString CutProblem(const RunResult &run, const QString &writtenPath, const QString &sourcePath,
                   std::optional<AudioLength> sourceLength, const QString &start, const QString &duration,
                   const QString &ffmpeg)
{
    const QString problem = cutProblem(run, writtenPath, sourcePath, sourceLength, start, duration, ffmpeg);
    // SoX fails in its own way, or cuts short, when the source shrinks under it.
    if (!problem.isEmpty() && lengthChanged(sourcePath, sourceLength))
        return QStringLiteral("the file changed while it was read");
    return problem;
}

QString JoinProblem(const RunResult &run, const QString &writtenPath, const QStringList &pieces, double overlap)
{
    const QString tool = ToolProblem(run);
    if (tool.isEmpty() && OutputFormat::OfPreview(writtenPath).holdsAudio(writtenPath))
        return shortfall(run, writtenPath, ExpectedJoin(pieces, overlap));
    return orFullDisk(tool.isEmpty() ? QStringLiteral("SoX wrote no audio") : tool, run, writtenPath);
}

QString ListedJoinProblem()
{
    return QStringLiteral("it is a file of the list, so the previews were not joined");
}

QString CrossfadeProblem(const QList<double> &pieceSeconds, const QStringList &sources, double overlap)
{
    for (qsizetype piece = 0; piece < pieceSeconds.size(); ++piece) {
        if (pieceSeconds.at(piece) <= 2 * overlap)
            return QStringLiteral("the preview of %1 came out %2 s long, too short for a crossfade of %3 s "
                                  "(it needs more than %4 s), so the previews were not joined")
                .arg(QFileInfo(sources.at(piece)).fileName(),
                     PreviewCommands::SecondsText(pieceSeconds.at(piece)),
                     PreviewCommands::SoxNumber(overlap), PreviewCommands::SoxNumber(2 * overlap));
    }
    return QString();
}

QString RefusedByFfmpeg(const QByteArray &errorOutput)
{
    // The formats that name other files for FFmpeg to read; any other refused one (a
    // picture) simply holds no audio.
    static const QStringList lists{QStringLiteral("concat"), QStringLiteral("hls"), QStringLiteral("dash"),
                                   QStringLiteral("imf"), QStringLiteral("ffmetadata")};
    const QString format = refusedFormat(errorOutput);
    if (!lists.contains(format))
        return QString();
    return QStringLiteral("FFmpeg reads it as %1, a list of other files, so it was not read (only the file "
                          "itself is, and only as audio)").arg(format);
}

QString EndsEarly(double start, double duration, std::optional<AudioLength> sourceLength,
                  const QString &previewPath)
{
    // A source known to last past the preview needs no look at the preview itself.
    if (sourceLength && start + duration <= sourceLength->seconds)
        return QString();
    const double made = lengthOf(previewPath);
    if (!sourceLength && made >= duration - MeasureSlack)
        return QString();
    return QStringLiteral("the song ends at %1: the preview is %2 s")
        .arg(sourceLength ? PreviewCommands::ClockText(std::floor(sourceLength->seconds)) : PreviewCommands::ClockText(start + made),
             QLocale::c().toString(made, 'f', 1));
}

QString DecoderProblem(const QByteArray &errorOutput, int exitCode)
{
    if (const QString refused = RefusedByFfmpeg(errorOutput); !refused.isEmpty())
        return refused;
    if (errorOutput.contains("does not contain any stream"))
        return NoAudioStream;
    // "[aac @ 0x55d0c1] Number of bands ...", "Error while decoding stream #0:0: ...": a
    // decoder's own words on the data it was given. "/music/x.m4a: ..." names the source.
    static const QRegularExpression decoder(QStringLiteral("^(\\[[^]]* @ [^]]*\\] |Error while decoding stream #[0-9:]+: )"));
    static const QRegularExpression path(QStringLiteral("^/.*: "));
    QString words = Shell32::LastLine(errorOutput);
    if (words.isEmpty())
        return exitCode == 0 ? QString() : QStringLiteral("it cannot be decoded (FFmpeg failed with exit status %1)").arg(exitCode);
    const bool damaged = decoder.match(words).hasMatch() || words.endsWith(QLatin1String("Invalid data found when processing input"));
    words.remove(decoder).remove(path);
    return damaged ? QStringLiteral("it cannot be decoded: its audio is damaged (FFmpeg: %1)").arg(words)
                   : QStringLiteral("it cannot be decoded (FFmpeg: %1)").arg(words);
}

bool DecoderMetDamage(const QByteArray &errorOutput)
{
    return errorOutput.contains("Invalid data found when processing input");
}

QString ProbeProblem(const QString &sourcePath, const RunResult &probe)
{
    if (probe.outcome == RunResult::Outcome::FailedToStart)
        return QStringLiteral("FFmpeg could not be started")
               + (probe.startError.isEmpty() ? QString() : QStringLiteral(": ") + probe.startError);
    if (probe.stalled)
        return QStringLiteral("FFmpeg hung: ") + Watchdog::Reason();
    if (probe.outcome == RunResult::Outcome::Crashed)
        return QStringLiteral("FFmpeg crashed") + because(probe);
    const QFileInfo source(sourcePath);
    // Read, but no audio stream in it.
    if (source.isFile() && source.isReadable())
        return noAudioIn(QStringLiteral("FFmpeg"), probe.errorOutput);
    const QString words = probe.lastErrorLine();
    return QStringLiteral("FFmpeg found no MP3 bit rate in %1").arg(source.fileName())
           + (words.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(words));
}

QString NoLengthForShare(const QString &sourcePath)
{
    return QStringLiteral("the length of %1 cannot be read, so neither can a share of it").arg(QFileInfo(sourcePath).fileName());
}

QString NoAudioForChorus(const QString &sourcePath)
{
    return QStringLiteral("no audio could be decoded from %1, so its chorus cannot be looked for")
        .arg(QFileInfo(sourcePath).fileName());
}

QString WithoutFfmpeg(const QString &sourcePath, const QString &ffmpegProblem)
{
    return QStringLiteral("SoX cannot read %1 without FFmpeg: %2").arg(QFileInfo(sourcePath).fileName(), ffmpegProblem);
}

} // namespace PreviewCheck
