// lumbrisk-cli: the previews of Lumbrisk from a terminal or a script, with several tools at
// once. It needs no display and never touches the window's settings.

#include "cli/clioptions.h"
#include "cli/consolereport.h"
#include "filelist/addfolder.h"
#include "platform/consoleprompts.h"
#include "platform/interruption.h"
#include "platform/main.h"
#include "preview/parallelpreviews.h"
#include "preview/tools.h"

#include <QCoreApplication>

#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace {

enum ExitStatus { Usage = 2, ToolMissing = 3 };

void tell(const QString &line)
{
    std::fprintf(stderr, "lumbrisk-cli: %s\n", line.toUtf8().constData());
}

int complain(const QString &problem, int status)
{
    tell(problem);
    return status;
}

// FILE arguments as absolute paths, FOLDER arguments scanned as the window scans a folder.
QStringList sourcesOf(const CliOptions &options, Prompts &prompts)
{
    QStringList sources;
    for (const QString &path : options.paths) {
        const QString absolute = Main::AbsolutePath(path);
        if (!Main::FolderExists(path)) {
            sources.append(absolute);
            continue;
        }
        const QString pattern = AddFolder::PatternOf(options.extension);
        const QStringList found = AddFolder::ScanFolder(prompts, absolute, pattern);
        if (found.isEmpty() && !options.quiet)
            tell(QStringLiteral("%1: no %2 files in it or below it").arg(path, pattern));
        sources += found;
    }
    return sources;
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
    switch (commandLine.read(QCoreApplication::arguments())) {
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

    ConsolePrompts prompts(QStringLiteral("lumbrisk-cli: "));
    ParallelPreviews previews(tools, options.settings, sourcesOf(options, prompts));
    ConsoleReport report(previews, reportMode(options), ::isatty(STDERR_FILENO) != 0);
    Interruption interruption({SIGINT, SIGTERM, SIGHUP, SIGPIPE});
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
