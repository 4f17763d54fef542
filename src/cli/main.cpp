// lumbrisk-cli: the previews of Lumbrisk from a terminal or a script, with several tools at
// once. It needs no display and never touches the window's settings.

#include "cli/clioptions.h"
#include "cli/consolereport.h"
#include "filelist/addfolder.h"
#include "platform/consoleprompts.h"
#include "platform/filenames.h"
#include "platform/interruption.h"
#include "platform/main.h"
#include "batch/parallelpreviews.h"
#include "preview/previewfiles.h"
#include "preview/tools.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace {

enum ExitStatus { Usage = 2, ToolMissing = 3 };

void tell(const QString &line)
{
    std::fprintf(stderr, "lumbrisk-cli: %s\n", FileNames::TerminalText(line).toUtf8().constData());
}

int complain(const QString &problem, int status)
{
    tell(problem);
    return status;
}

struct Sources {
    QStringList paths;         // absolute, in list order
    QStringList subfolders;    // with --keep-folders: each path's folder below its FOLDER argument
    QList<QByteArray> leftOut; // absolute paths whose names are not valid UTF-8
};

// FILE arguments as absolute paths, FOLDER arguments scanned as the window scans a folder;
// what cannot be handed on unchanged is left out, and a scan ends early when stopped says so.
// Without any, the rows of --starts.
Sources sourcesOf(const CliOptions &options, Prompts &prompts, ScanProgress &progress,
                  const AddFolder::Stopped &stopped)
{
    Sources sources;
    if (options.paths.isEmpty()) {
        for (const StartList::Row &row : options.starts)
            sources.paths.append(row.path);
        if (options.keepFolders)
            sources.subfolders.resize(sources.paths.size());
    }
    for (const QByteArray &given : options.paths) {
        const QString path = FileNames::Decoded(given);
        if (path.isNull()) {
            const QByteArray folder = given.startsWith('/') ? QByteArray() : QFile::encodeName(QDir::currentPath()) + '/';
            sources.leftOut.append(folder + given);
            continue;
        }
        const QString absolute = Main::AbsolutePath(path);
        if (!Main::FolderExists(path)) {
            sources.paths.append(absolute);
            if (options.keepFolders)
                sources.subfolders.append(QString());
            continue;
        }
        const QString pattern = AddFolder::PatternOfAny(options.extensions);
        const QStringList found = AddFolder::ScanFolder(
            prompts, absolute, pattern, [&progress](const QStringList &rows) { progress.found(rows.size()); },
            &sources.leftOut, stopped);
        if (stopped())
            break;
        if (found.isEmpty() && !options.quiet) {
            progress.clear();
            tell(QStringLiteral("%1: no %2 files in it or below it").arg(path, QString(pattern).replace(QLatin1Char('/'), QStringLiteral(", "))));
        }
        for (const QString &source : found) {
            if (options.keepFolders)
                sources.subfolders.append(AddFolder::FolderBelow(absolute, source));
        }
        sources.paths += found;
    }
    return sources;
}

// A missing output folder is made, and said unless quiet, before anything else; a dry run
// leaves that to its command lines. "" when the folder is there.
QString prepareOutputFolder(const CliOptions &options)
{
    const QString folder = options.settings.outputFolder;
    if (options.dryRun || folder.isEmpty() || Main::FolderExists(folder))
        return QString();
    const QString problem = PreviewFiles::MakeFolders(folder);
    if (problem.isEmpty() && !options.quiet)
        tell(QStringLiteral("made the folder %1").arg(folder));
    return problem;
}

ConsoleReport::Mode reportMode(const CliOptions &options)
{
    if (options.dryRun)
        return ConsoleReport::Mode::DryRun;
    if (options.json)
        return ConsoleReport::Mode::Json;
    return options.quiet ? ConsoleReport::Mode::Quiet : ConsoleReport::Mode::Progress;
}

} // namespace

int main(int argc, char *argv[])
{
    // A closed standard output or error never ends the program by itself: during a run
    // SIGPIPE stops it as SIGTERM does, so that nothing half-written is left.
    std::signal(SIGPIPE, SIG_IGN);
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("lumbrisk-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(LUMBRISK_VERSION));

    CliCommandLine commandLine;
    switch (commandLine.read(QList<QByteArray>(argv, argv + argc))) {
    case CliCommandLine::Reading::Answered:
        return 0;
    case CliCommandLine::Reading::Refused:
        return complain(commandLine.problem(), Usage);
    case CliCommandLine::Reading::Run:
        break;
    }
    const CliOptions &options = commandLine.options();

    const Tools::Found tools = Tools::Find(QCoreApplication::applicationDirPath());
    if (!tools.soxProblem.isEmpty())
        return complain(tools.soxProblem, ToolMissing);
    if (options.settings.needsFfmpeg() && tools.ffmpeg.isEmpty())
        return complain(tools.ffmpegProblem, ToolMissing);

    if (const QString problem = prepareOutputFolder(options); !problem.isEmpty())
        return complain(problem, Usage);

    // From here on a signal stops the run, also while a large list is scanned or planned.
    Interruption interruption({SIGINT, SIGTERM, SIGHUP, SIGPIPE});
    const auto interrupted = [&interruption] { return interruption.signalNumber() != 0; };
    const bool terminal = ::isatty(STDERR_FILENO) != 0;
    ConsolePrompts prompts(QStringLiteral("lumbrisk-cli: "));
    Sources sources;
    {
        ScanProgress progress(reportMode(options) == ConsoleReport::Mode::Progress && terminal);
        sources = sourcesOf(options, prompts, progress, interrupted);
    }
    if (interrupted())
        return 128 + interruption.signalNumber();
    PreviewSettings settings = options.settings;
    settings.cuts = StartList::CutsFor(sources.paths, options.starts);
    ParallelPreviews previews(tools, settings, sources.paths);
    previews.setSubfolders(sources.subfolders);
    if (previews.jobs() < settings.jobs && !options.quiet)
        tell(QStringLiteral("-j %1 lowered to %2: the limit of open files (ulimit -n) allows no more")
                 .arg(settings.jobs)
                 .arg(previews.jobs()));
    ConsoleReport report(previews, reportMode(options), terminal);
    report.tellLeftOut(sources.leftOut);
    QObject::connect(&interruption, &Interruption::received, &previews, &ParallelPreviews::stop);
    QObject::connect(&previews, &ParallelPreviews::finished, &application, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    if (options.dryRun)
        previews.plan();
    else
        previews.start();
    QCoreApplication::exec();

    // A signal that came after the last preview counts too: a closed pipe took the report.
    if (interruption.signalNumber() != 0)
        return 128 + interruption.signalNumber();
    if (previews.interrupted())
        return 128 + SIGINT;
    return report.exitStatus();
}
