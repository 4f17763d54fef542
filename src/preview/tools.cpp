#include "preview/tools.h"

#include "platform/shell32.h"
#include "platform/watchdog.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>

#include <cerrno>

namespace Tools {

namespace {

QString findProgram(const QString &name, const QString &programFolder)
{
    const QFileInfo beside(QDir(programFolder).filePath(name));
    if (!programFolder.isEmpty() && beside.isFile() && beside.isExecutable())
        return beside.absoluteFilePath();
    return QStandardPaths::findExecutable(name);
}

// "" when SoX can write MP3, else the reason in the user's words.
QString mp3WriteProblem(const QString &sox)
{
    const Shell32::RunResult help = Shell32::RunAndWait(CommandLine(sox).plain(QStringLiteral(" -h")),
                                                        Shell32::HiddenWindow, nullptr, QString(), 0, 1);
    if (help.errorNumber == EMFILE || help.errorNumber == ENFILE)
        return QStringLiteral("SoX (%1) cannot be started: too many files are open. Raise the limit of open files (ulimit -n).")
            .arg(sox);
    if (help.stalled)
        return QStringLiteral("SoX (%1) hung when asked for its formats: %2. Reinstall the Debian package sox.")
            .arg(sox, Watchdog::Reason());
    if (help.outcome != Shell32::RunResult::Outcome::Exited)
        return QStringLiteral("SoX (%1) does not run: %2. Reinstall the Debian package sox.")
            .arg(sox, help.startError.isEmpty() ? QStringLiteral("it crashed") : help.startError);
    if (!ListsMp3Format(QString::fromUtf8(help.output)))
        return QStringLiteral("SoX cannot write MP3 files. Install the Debian package libsox-fmt-mp3.");
    return QString();
}

} // namespace

QString TemporaryFolder()
{
    const QString temp = qEnvironmentVariable("TEMP");
    return temp.isEmpty() ? QDir::tempPath() : temp;
}

bool ListsMp3Format(const QString &soxHelp)
{
    const QString heading = QStringLiteral("AUDIO FILE FORMATS:");
    for (const QString &line : soxHelp.split(QLatin1Char('\n'))) {
        if (line.startsWith(heading))
            return line.mid(heading.size()).split(QLatin1Char(' '), Qt::SkipEmptyParts).contains(QStringLiteral("mp3"));
    }
    return false;
}

Found Find(const QString &programFolder)
{
    Found found;
    found.sox = findProgram(QStringLiteral("sox"), programFolder);
    if (found.sox.isEmpty())
        found.soxProblem = QStringLiteral("SoX is not installed. Install the Debian packages sox and libsox-fmt-mp3.");
    else
        found.soxProblem = mp3WriteProblem(found.sox);
    if (!found.soxProblem.isEmpty())
        found.sox.clear();
    found.ffmpeg = findProgram(QStringLiteral("ffmpeg"), programFolder);
    if (found.ffmpeg.isEmpty())
        found.ffmpegProblem = QStringLiteral("FFmpeg is not installed, so neither the bit rate of an input file can be read "
                                             "nor a master that SoX cannot read (M4A, Opus, WMA) decoded. Install the "
                                             "Debian package ffmpeg.");
    return found;
}

QString FindFfmpeg()
{
    return findProgram(QStringLiteral("ffmpeg"), QCoreApplication::applicationDirPath());
}

QString EncoderProblem(const QString &ffmpeg, const QString &encoder)
{
    if (ffmpeg.isEmpty())
        return QStringLiteral("FFmpeg is not installed, and it writes %1 previews. Install the Debian package ffmpeg.")
            .arg(encoder);
    const Shell32::RunResult listed = Shell32::RunAndWait(
        CommandLine(ffmpeg).plain(QStringLiteral(" -hide_banner -encoders")), Shell32::HiddenWindow, nullptr, QString(), 0, 1);
    static const QRegularExpression line(QStringLiteral("^ A\\S* (\\S+) "), QRegularExpression::MultilineOption);
    for (auto match = line.globalMatch(QString::fromUtf8(listed.output)); match.hasNext();) {
        if (match.next().captured(1) == encoder)
            return QString();
    }
    return QStringLiteral("FFmpeg (%1) has no %2 encoder. Install the Debian package ffmpeg, whose libavcodec has it.")
        .arg(ffmpeg, encoder);
}

} // namespace Tools
