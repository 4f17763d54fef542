#include "cli/clioptions.h"

#include "cli/clioptions_list.h"

#include "filelist/addfolder.h"
#include "platform/filenames.h"
#include "platform/main.h"
#include "platform/programoptions.h"
#include "analysis/loudness.h"
#include "preview/previewcommands.h"
#include "preview/startlist.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QRegularExpression>
#include <QThread>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using StartList::MaxHours;
using StartList::ReadTime;
using namespace CliOptionList;

// "--start 'abc'": how a problem names the option and the value it got.
QString named(const QCommandLineOption &option, const QString &value)
{
    return QStringLiteral("--%1 '%2'").arg(option.names().constLast(), value);
}

// "" when the folder is there, else why not.
QString folderProblem(const QString &path)
{
    if (Main::FolderExists(path))
        return QString();
    return QFileInfo::exists(QDir::cleanPath(path)) ? QStringLiteral("it is a file, not a folder") : QStringLiteral("no such folder");
}

// "" when the FILE or FOLDER argument is there and a folder of it can be read, else why not:
// a share not mounted, a link to nothing or a typo is said before anything runs, never taken
// for a song that is gone.
QString argumentProblem(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat status {};
    if (::stat(name.constData(), &status) != 0) {
        const int error = errno;
        if (error != ENOENT)
            return QStringLiteral("it cannot be read: ") + QString::fromLocal8Bit(std::strerror(error));
        const QString target = QFile::symLinkTarget(path);
        return target.isEmpty() ? QStringLiteral("no such file or folder")
                                : QStringLiteral("no such file or folder: it is a link to %1, which is not there").arg(target);
    }
    if (S_ISDIR(status.st_mode) && ::access(name.constData(), R_OK | X_OK) != 0)
        return QStringLiteral("the folder cannot be read: ") + QString::fromLocal8Bit(std::strerror(errno));
    return QString();
}

// The bytes each positional argument was given as, found in order among the arguments: the
// parser sees them decoded, with U+FFFD in place of bytes that are not valid UTF-8.
QList<QByteArray> givenBytes(const QStringList &positional, const QList<QByteArray> &arguments)
{
    QList<QByteArray> bytes;
    qsizetype next = 1;
    for (const QString &argument : positional) {
        while (next < arguments.size() && QString::fromLocal8Bit(arguments.at(next)) != argument)
            ++next;
        bytes.append(next < arguments.size() ? arguments.at(next++) : argument.toLocal8Bit());
    }
    return bytes;
}

// A relative name counts from the current folder; without one that can be read, it would
// count from "/" and so name another file.
QString relativeProblem(const QString &name)
{
    return name + QStringLiteral(" is relative, but the current folder cannot be read (it was removed, or its path "
                                 "is longer than 4096 bytes); give the full path");
}

} // namespace

CliCommandLine::CliCommandLine()
{
    m_parser.setApplicationDescription(
        QStringLiteral("Makes a short MP3 (or --format's) preview of every FILE, and of every audio file (or -e's) in "
                       "each FOLDER and the folders below it: stereo, 48000 Hz, at the chosen bit rate, named "
                       "<name>_Preview.mp3 (.m4a, .opus). "
                       "The previews Lumbrisk made are no songs: a folder's are left out. Sources are only read. Progress goes to standard error.\n\n"
                       "Exit status: 0 every preview made, 1 some not made or left out (a name that is not "
                       "valid UTF-8), no audio file found or a folder that could not be read, 2 bad usage (a FILE or "
                       "FOLDER that is not there among it), 3 a tool is missing, 130 stopped by "
                       "Ctrl+C (129 by SIGHUP, 141 by a closed pipe, 143 by SIGTERM)."));
    m_parser.addOptions(CliOptionList::All());
    ProgramOptions::AddHelpAndVersion(m_parser);
    m_parser.addPositionalArgument(QStringLiteral("FILE|FOLDER"), QStringLiteral("Audio files (MP3, FLAC, WAV, M4A, ...), or folders to scan."),
                                   QStringLiteral("FILE|FOLDER..."));
}

CliCommandLine::Reading CliCommandLine::read(const QList<QByteArray> &arguments)
{
    m_arguments = arguments;
    QStringList decoded;
    for (const QByteArray &argument : arguments)
        decoded.append(QString::fromLocal8Bit(argument));
    if (!m_parser.parse(decoded)) {
        refuse(m_parser.errorText());
        return Reading::Refused;
    }
    if (ProgramOptions::AnswerHelpOrVersion(m_parser))
        return Reading::Answered;
    return check() ? Reading::Run : Reading::Refused;
}

QSet<QString> CliCommandLine::valueOptions()
{
    QSet<QString> names;
    for (const QCommandLineOption &option : CliOptionList::All()) {
        if (option.valueName().isEmpty())
            continue;
        for (const QString &name : option.names())
            names.insert((name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name);
    }
    return names;
}

bool CliCommandLine::refuse(const QString &problem)
{
    m_problem = problem;
    return false;
}

bool CliCommandLine::check()
{
    return readTimes(m_options.settings) && readFormat(m_options.settings) && readBitrate(m_options.settings) && readJobs(m_options.settings)
           && readLoudness(m_options.settings) && readModes(m_options) && readStarts(m_options) && checkFits(m_options)
           && checkRelativeNames() && readPlaces(m_options) && readReports(m_options);
}

bool CliCommandLine::readReports(CliOptions &options)
{
    if (const QString problem = ReportOptions::Read(m_parser, options.settings.outputFolder, options.reports); !problem.isEmpty())
        return refuse(problem);
    return true;
}

bool CliCommandLine::checkRelativeNames()
{
    if (!QDir::currentPath().isEmpty())
        return true;
    const QString output = m_parser.isSet(Output) ? m_parser.value(Output) : QStringLiteral(".");
    if (!m_parser.isSet(Beside) && QDir::isRelativePath(output))
        return refuse(relativeProblem(named(Output, output)));
    for (const QString &path : m_parser.positionalArguments()) {
        if (QDir::isRelativePath(path))
            return refuse(relativeProblem(QStringLiteral("'%1'").arg(path)));
    }
    return true;
}

bool CliCommandLine::readTimes(PreviewSettings &settings)
{
    const QString start = m_parser.value(Start);
    StartList::SourceCut cut;
    if (!StartList::ReadStart(start, cut))
        return refuse(named(Start, start) + QStringLiteral(": give seconds (65, 2.5) or m:ss (1:05), up to %1 hours, "
                                                           "a share of the track (40%) or auto")
                                                .arg(MaxHours));
    settings.startAtChorus = cut.startAtChorus;
    settings.startShare = cut.startShare;
    settings.startSeconds = cut.startSeconds.value_or(settings.startSeconds);

    const std::optional<double> duration = ReadTime(m_parser.value(Duration));
    if (!duration || *duration <= 0)
        return refuse(named(Duration, m_parser.value(Duration))
                      + QStringLiteral(": give seconds (65, 2.5) or m:ss (1:05), above 0 and up to %1 hours").arg(MaxHours));
    settings.durationSeconds = *duration;

    for (const QCommandLineOption *fade : {&FadeIn, &FadeOut}) {
        const std::optional<double> seconds = m_parser.isSet(*fade) ? ReadTime(m_parser.value(*fade)) : 0.0;
        if (!seconds)
            return refuse(named(*fade, m_parser.value(*fade)) + QStringLiteral(": give a number of seconds"));
        (fade == &FadeIn ? settings.fadeIn : settings.fadeOut) = *seconds;
    }
    return readCrossfade(settings);
}

bool CliCommandLine::readCrossfade(PreviewSettings &settings)
{
    if (!m_parser.isSet(Crossfade))
        return true;
    const std::optional<double> seconds = ReadTime(m_parser.value(Crossfade));
    if (!seconds || *seconds <= 0)
        return refuse(named(Crossfade, m_parser.value(Crossfade)) + QStringLiteral(": give a number of seconds above 0"));
    if (!m_parser.isSet(Join))
        return refuse(QStringLiteral("--crossfade needs --join"));
    settings.crossfade = *seconds;
    return true;
}

bool CliCommandLine::readStarts(CliOptions &options)
{
    if (!m_parser.isSet(Starts))
        return true;
    const QString path = m_parser.value(Starts);
    // A nightly run over folders goes on without the rows of songs withdrawn since.
    const bool nightly = m_parser.isSet(Update) && !m_parser.positionalArguments().isEmpty();
    const StartList::Reading reading = StartList::ReadFile(path, nightly ? StartList::Gone::LeftOut : StartList::Gone::Problem);
    // One bad row on the line itself; several below it, one a line.
    if (reading.rowProblem && reading.problem.contains(QLatin1Char('\n')))
        return refuse(named(Starts, path) + QStringLiteral(": bad rows, so nothing is made:\n  ")
                      + QString(reading.problem).replace(QLatin1Char('\n'), QStringLiteral("\n  ")));
    if (reading.rowProblem)
        return refuse(named(Starts, path) + QStringLiteral(", ") + reading.problem);
    if (!reading.problem.isEmpty())
        return refuse(named(Starts, path) + QStringLiteral(": ") + reading.problem);
    if (reading.rows.isEmpty() && reading.gone.isEmpty())
        return refuse(named(Starts, path) + QStringLiteral(": it names no file"));
    options.starts = reading.rows;
    for (const QString &row : reading.gone)
        options.startsGone.append(named(Starts, path) + QStringLiteral(", ") + row + QStringLiteral(": its song is gone, so the row is left out"));
    options.startsFolder = QFileInfo(path).absolutePath();
    return true;
}

// The fades and the crossfade must fit the shortest preview, the list of starts included.
bool CliCommandLine::checkFits(const CliOptions &options)
{
    const PreviewSettings &settings = options.settings;
    double shortest = settings.durationSeconds;
    for (const StartList::Row &row : options.starts)
        shortest = qMin(shortest, row.cut.durationSeconds.value_or(shortest));
    if (settings.fadeIn + settings.fadeOut > shortest)
        return refuse(QStringLiteral("the fades (%1 s in, %2 s out) are longer than the preview (%3 s)")
                          .arg(settings.fadeIn)
                          .arg(settings.fadeOut)
                          .arg(shortest));
    if (settings.crossfade * 2 >= shortest)
        return refuse(QStringLiteral("the crossfade (%1 s) must be shorter than half the preview (%2 s)")
                          .arg(settings.crossfade)
                          .arg(shortest));
    return true;
}

bool CliCommandLine::readFormat(PreviewSettings &settings)
{
    const QString name = m_parser.value(Format);
    for (const OutputFormat *format : OutputFormat::All()) {
        if (format->name().compare(name, Qt::CaseInsensitive) == 0) {
            settings.format = format;
            return true;
        }
    }
    return refuse(named(Format, name) + QStringLiteral(": give mp3, aac or opus"));
}

bool CliCommandLine::readBitrate(PreviewSettings &settings)
{
    const OutputFormat &format = *settings.format;
    const QString bitrate = m_parser.isSet(Bitrate) ? m_parser.value(Bitrate) : QString::number(format.defaultBitrate());
    if (bitrate == QLatin1String("same")) {
        settings.kbps = 0;
        return true;
    }
    const int kbps = bitrate.toInt();
    if (format.bitrates().contains(kbps) && QString::number(kbps) == bitrate) {
        settings.kbps = kbps;
        return true;
    }
    if (format.id() == OutputFormat::Id::Mp3)
        return refuse(named(Bitrate, bitrate) + QStringLiteral(": give one of %1, or same").arg(format.bitrateText()));
    return refuse(named(Bitrate, bitrate)
                  + QStringLiteral(": %1 takes %2 kbit/s; give one of those, or same").arg(format.name(), format.bitrateText()));
}

bool CliCommandLine::readJobs(PreviewSettings &settings)
{
    if (!m_parser.isSet(Jobs)) {
        settings.jobs = QThread::idealThreadCount();
        return true;
    }
    bool whole = false;
    settings.jobs = m_parser.value(Jobs).toInt(&whole);
    if (!whole || settings.jobs < 1)
        return refuse(named(Jobs, m_parser.value(Jobs)) + QStringLiteral(": give a whole number from 1 up"));
    return true;
}

bool CliCommandLine::readLoudness(PreviewSettings &settings)
{
    settings.limit = m_parser.isSet(Limit);
    if (!m_parser.isSet(LoudnessTarget))
        return !settings.limit || refuse(QStringLiteral("--limit needs --loudness"));
    bool number = false;
    const double lufs = QLocale::c().toDouble(m_parser.value(LoudnessTarget), &number);
    if (!number || !(lufs >= Loudness::LowestTarget && lufs <= Loudness::HighestTarget))
        return refuse(named(LoudnessTarget, m_parser.value(LoudnessTarget))
                      + QStringLiteral(": give a loudness in LUFS from %1 to %2, such as -16")
                            .arg(Loudness::LowestTarget)
                            .arg(Loudness::HighestTarget));
    settings.loudness = lufs;
    return true;
}

bool CliCommandLine::readModes(CliOptions &options)
{
    options.settings.join = m_parser.isSet(Join);
    options.settings.tags = !m_parser.isSet(NoTags);
    options.extensions = m_parser.isSet(Extension) ? AddFolder::ExtensionsOf(m_parser.value(Extension)) : QStringList();
    options.keepFolders = m_parser.isSet(KeepFolders);
    options.dryRun = m_parser.isSet(DryRun);
    options.settings.update = m_parser.isSet(Update);
    options.settings.prune = m_parser.isSet(Prune);
    options.json = m_parser.isSet(Json);
    options.quiet = m_parser.isSet(Quiet) || options.json;
    if (options.extensions.contains(QString()))
        return refuse(named(Extension, m_parser.value(Extension))
                      + QStringLiteral(": give an extension, such as mp3, or several: mp3,flac,m4a"));
    return true;
}

bool CliCommandLine::readPlaces(CliOptions &options)
{
    if (m_parser.isSet(Beside) && m_parser.isSet(Output))
        return refuse(QStringLiteral("--output and --beside cannot be used together"));
    if (!m_parser.isSet(Beside)) {
        const QString folder = m_parser.isSet(Output) ? m_parser.value(Output) : QStringLiteral(".");
        // A missing folder is made before the run; a file of that name is not replaced.
        if (const QString problem = folder.isEmpty() || Main::PathExists(folder) ? folderProblem(folder) : QString();
            !problem.isEmpty())
            return refuse(named(Output, folder) + QStringLiteral(": ") + problem);
        options.settings.outputFolder = QFileInfo(folder).absoluteFilePath();
    }
    options.paths = givenBytes(m_parser.positionalArguments(), m_arguments);
    if (options.paths.isEmpty() && !m_parser.isSet(Starts))
        return refuse(QStringLiteral("no FILE or FOLDER given; see --help"));
    for (const QByteArray &given : std::as_const(options.paths)) {
        // A name that is not valid UTF-8 is left out later, and named then.
        const QString path = FileNames::Decoded(given);
        if (path.isNull())
            continue;
        QString problem = path.endsWith(QLatin1Char('/')) ? folderProblem(path) : QString();
        if (problem.isEmpty())
            problem = argumentProblem(path);
        if (!problem.isEmpty())
            return refuse(QStringLiteral("'%1': ").arg(path) + problem);
    }
    return true;
}
