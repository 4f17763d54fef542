// lumbrisk-cli: the previews of Lumbrisk from a terminal or a script, with several tools at
// once. It needs no display and never touches the window's settings.

#include "cli/clioptions.h"
#include "cli/clisources.h"
#include "cli/consolereport.h"
#include "cli/reviewrows.h"
#include "analysis/limitedstretch.h"
#include "analysis/decodedaudio.h"
#include "platform/consoleprompts.h"
#include "platform/filenames.h"
#include "platform/interruption.h"
#include "platform/main.h"
#include "batch/parallelpreviews.h"
#include "batch/runturn.h"
#include "preview/previewcommands.h"
#include "preview/previewfiles.h"
#include "preview/tools.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QMap>
#include <QSet>
#include <QDir>
#include <QFile>
#include <QLocale>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <functional>
#include <optional>
#include <utility>
#include <vector>
#include <unistd.h>

namespace {

enum ExitStatus { NothingMade = 1, Usage = 2, ToolMissing = 3 };

// A message of several lines (every bad row of a list) keeps its breaks; each line has its
// control characters escaped.
void tell(const QString &message)
{
    QStringList lines = message.split(QLatin1Char('\n'));
    for (QString &line : lines)
        line = FileNames::TerminalText(line);
    std::fprintf(stderr, "lumbrisk-cli: %s\n", lines.join(QLatin1Char('\n')).toUtf8().constData());
}

int complain(const QString &problem, int status)
{
    tell(problem);
    return status;
}

// A missing output folder is made, and said unless quiet, before the run; a dry run leaves
// that to its command lines. "" when the folder is there.
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

// A row of a song beyond the previews the run makes of it would be ignored: said before
// anything is made, as a bad row is.
QString unusedStarts(const CliOptions &options, const QStringList &sources)
{
    const QList<int> unused = StartList::UnusedLines(sources, options.starts);
    if (unused.isEmpty())
        return QString();
    QStringList lines;
    for (const int line : unused)
        lines.append(QString::number(line));
    return QStringLiteral("--starts, %1 %2: the run makes no preview with that cut, as its song takes an earlier "
                          "row's (a FOLDER names each song once); nothing is made")
        .arg(unused.size() == 1 ? QStringLiteral("line") : QStringLiteral("lines"), lines.join(QStringLiteral(", ")));
}

ConsoleReport::Mode reportMode(const CliOptions &options)
{
    if (options.dryRun)
        return options.json ? ConsoleReport::Mode::JsonPlan : ConsoleReport::Mode::DryRun;
    if (options.json)
        return ConsoleReport::Mode::Json;
    return options.quiet ? ConsoleReport::Mode::Quiet : ConsoleReport::Mode::Progress;
}

int writeOut(const void *bytes, size_t count)
{
    return std::fwrite(bytes, 1, count, stdout) == count && std::fflush(stdout) == 0 ? 0 : NothingMade;
}

// lumbrisk-cli --decoded-stretch START SECONDS FILE: the WAVE file a dry run's line pipes
// into SoX, decoded as a run decodes it for its cut, on standard output; with
// --stretch-floats, the raw floats alone, which the lines of earlier versions read.
int writeStretch(const char *option, const char *start, const char *seconds, const char *path)
{
    const QString source = QFile::decodeName(path);
    const std::optional<DecodedAudio::Stretch> stretch =
        DecodedAudio::DecodeStretch(source, QLocale::c().toDouble(start), QLocale::c().toDouble(seconds));
    if (!stretch || stretch->samples.empty())
        return complain(QStringLiteral("%1 cannot be decoded from %2 s on").arg(source, QString::fromLatin1(start)),
                        NothingMade);
    if (std::strcmp(option, PreviewCommands::DecodedStretchOption) == 0) {
        const QByteArray header = DecodedAudio::WaveHeaderOf(*stretch);
        if (writeOut(header.constData(), size_t(header.size())) != 0)
            return NothingMade;
    }
    return writeOut(stretch->samples.data(), stretch->samples.size() * sizeof(float));
}

bool writesStretch(int argc, char *argv[])
{
    return argc == 5
           && (std::strcmp(argv[1], PreviewCommands::DecodedStretchOption) == 0
               || std::strcmp(argv[1], PreviewCommands::StretchFloatsOption) == 0);
}

// lumbrisk-cli --limited-stretch RATE CEILING FADE-IN FADE-OUT [CUTOFF]: the raw stereo floats
// of a dry run's line on standard input, limited as a run limits them, out as the WAVE file
// its SoX reads.
int limitStretch(int argc, char *argv[])
{
    const auto number = [](const char *text) { return QLocale::c().toDouble(QLatin1String(text)); };
    DecodedAudio::Stretch stretch{QLocale::c().toInt(QLatin1String(argv[2])), 2, {}};
    float block[16384];
    size_t count = 0;
    while ((count = std::fread(block, sizeof(float), std::size(block), stdin)) > 0)
        stretch.samples.insert(stretch.samples.end(), block, block + count);
    stretch.samples.resize(stretch.frames() * 2);
    if (std::ferror(stdin) || stretch.rate <= 0 || stretch.samples.empty())
        return complain(QStringLiteral("no stretch to limit came in"), NothingMade);
    stretch = LimitedStretch::Limit(stretch, number(argv[3]), number(argv[4]), number(argv[5]), argc == 7 ? number(argv[6]) : 0);
    const QByteArray header = DecodedAudio::WaveHeaderOf(stretch);
    if (writeOut(header.constData(), size_t(header.size())) != 0)
        return NothingMade;
    return writeOut(stretch.samples.data(), stretch.samples.size() * sizeof(float));
}

// Where a run writes: its output folder (with --keep-folders, the folders below it too), or
// beside the songs each FOLDER argument with the folders below it, each FILE argument's folder,
// or a list's folder. By real path, so that no folder is locked twice, in the one order every
// run takes them in.
QMap<QString, bool> placesOf(const CliOptions &options)
{
    if (!options.settings.outputFolder.isEmpty())
        return {{options.settings.outputFolder, options.keepFolders}};
    QMap<QString, bool> places;
    const auto add = [&places](const QString &folder, bool recursive) {
        const QString real = QFileInfo(folder).canonicalFilePath();
        if (!real.isEmpty())
            places[real] = places.value(real) || recursive;
    };
    if (options.paths.isEmpty())
        add(options.startsFolder, false);
    for (const QByteArray &given : options.paths) {
        const QString path = FileNames::Decoded(given);
        if (path.isNull())
            continue;
        const bool folder = Main::FolderExists(path);
        add(folder ? path : Main::FolderOf(Main::AbsolutePath(path)), folder);
    }
    return places;
}

// The run's turn on the places it writes into, from its start to its end (RunTurn); a dry
// run writes nothing and takes none.
class RunTurns {
public:
    RunTurns(const CliOptions &options, std::function<bool()> stopped)
        : m_places(options.dryRun ? QMap<QString, bool>() : placesOf(options)), m_stopped(std::move(stopped))
    {
        // A folder the run makes held nothing at its start.
        for (auto place = m_places.cbegin(); place != m_places.cend(); ++place) {
            if (!Main::FolderExists(place.key()))
                m_atStart.add(place.key(), false);
        }
    }

    // Each place that is there and not taken yet; false when a signal ended a wait.
    bool take()
    {
        for (auto place = m_places.cbegin(); place != m_places.cend(); ++place) {
            if (m_tried.contains(place.key()) || !Main::FolderExists(place.key()))
                continue;
            m_tried.insert(place.key());
            m_turns.push_back(RunTurn::Turn::Take(place.key(), [&] { waiting(place.key()); }, m_stopped));
            if (!m_turns.back().problem().isEmpty())
                tell(QStringLiteral("runs into %1 cannot take turns (%2): another run at the same time may make its "
                                    "previews too").arg(place.key(), m_turns.back().problem()));
            if (m_stopped())
                return false;
        }
        return true;
    }

    RunTurn::FilesAtStart filesAtStart() const { return m_atStart; }

private:
    // What the places hold is looked at before the first wait: the run began before it.
    void waiting(const QString &folder)
    {
        if (!m_atStart.taken()) {
            for (auto place = m_places.cbegin(); place != m_places.cend(); ++place)
                m_atStart.add(place.key(), place.value());
        }
        tell(QStringLiteral("waiting for another lumbrisk-cli run into %1 to end").arg(folder));
    }

    QMap<QString, bool> m_places; // folder, and whether the run writes below it too
    std::function<bool()> m_stopped;
    QSet<QString> m_tried;
    std::vector<RunTurn::Turn> m_turns;
    RunTurn::FilesAtStart m_atStart;
};

} // namespace

int main(int argc, char *argv[])
{
    // A closed standard output or error never ends the program by itself: during a run
    // SIGPIPE stops it as SIGTERM does, so that nothing half-written is left.
    std::signal(SIGPIPE, SIG_IGN);
    if (writesStretch(argc, argv))
        return writeStretch(argv[1], argv[2], argv[3], argv[4]);
    if ((argc == 6 || argc == 7) && std::strcmp(argv[1], PreviewCommands::LimitedStretchOption) == 0)
        return limitStretch(argc, argv);
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
    if (const QString encoder = options.settings.format->ffmpegEncoder(); !encoder.isEmpty()) {
        if (const QString problem = Tools::EncoderProblem(tools.ffmpeg, encoder); !problem.isEmpty())
            return complain(problem, ToolMissing);
    }

    // From here on a signal stops the run, also while a large list is scanned or planned.
    Interruption interruption({SIGINT, SIGTERM, SIGHUP, SIGPIPE});
    const auto interrupted = [&interruption] { return interruption.signalNumber() != 0; };
    const bool terminal = ::isatty(STDERR_FILENO) != 0;
    ConsolePrompts prompts(QStringLiteral("lumbrisk-cli: "));
    // Taken before the scan: the run begins here, and what the folder holds now is what it may replace.
    RunTurns turn(options, interrupted);
    if (!turn.take())
        return 128 + interruption.signalNumber();
    Sources sources;
    {
        ScanProgress progress(reportMode(options) == ConsoleReport::Mode::Progress && terminal);
        sources = SourcesOf(options, prompts, progress, interrupted);
    }
    if (interrupted())
        return 128 + interruption.signalNumber();
    // What a folder held instead of songs is a reason too when the run has nothing else.
    for (const QString &note : std::as_const(sources.notes)) {
        if (!options.quiet || sources.paths.isEmpty())
            tell(note);
    }
    // An orphan as a preview whose song is gone is: told, and no reason to stop the run.
    for (const QString &row : options.startsGone) {
        if (!options.quiet)
            tell(row);
    }
    if (sources.paths.isEmpty() && sources.leftOut.isEmpty()) {
        for (const auto &[folder, problem] : std::as_const(sources.unread))
            tell(QStringLiteral("left out: %1: %2").arg(folder, problem));
        return NothingMade; // the notes said what the arguments held instead
    }
    // Known only now that the folders are scanned, and still before anything is made.
    if (!options.reports.review.isEmpty()) {
        const ReportOptions::RunFiles run{sources.paths, sources.subfolders, options.settings};
        if (const QString problem = ReportOptions::PageProblem(options.reports.review, run); !problem.isEmpty())
            return complain(problem, Usage);
    }
    if (const QString problem = unusedStarts(options, sources.paths); !problem.isEmpty())
        return complain(problem, Usage);
    if (const QString problem = prepareOutputFolder(options); !problem.isEmpty())
        return complain(problem, Usage);
    if (!turn.take())
        return 128 + interruption.signalNumber();
    PreviewSettings settings = options.settings;
    settings.cuts = StartList::CutsFor(sources.paths, options.starts);
    // A dry run writes no file, a waveform neither: a shop dry-runs its nightly line as it is.
    if (!options.dryRun)
        settings.waveform = options.reports.waveform;
    settings.reviewPage = !options.reports.review.isEmpty();
    ParallelPreviews previews(tools, settings, sources.paths);
    previews.setSubfolders(sources.subfolders);
    previews.setPruneLimits(sources.roots, sources.pruneHeld);
    previews.setFilesAtStart(turn.filesAtStart());
    if (previews.jobs() < settings.jobs && !options.quiet)
        tell(QStringLiteral("-j %1 lowered to %2: the limit of open files (ulimit -n) allows no more")
                 .arg(settings.jobs)
                 .arg(previews.jobs()));
    ConsoleReport report(previews, reportMode(options), terminal);
    report.showNames(sources.shownNames);
    report.tellLeftOut(sources.leftOut);
    report.tellUnread(sources.unread);
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
    if (!options.reports.review.isEmpty()) {
        const ReviewRows::Run run{QCoreApplication::arguments(), commandLine.valueOptions(), QDir::currentPath(),
                                  options.paths.isEmpty(), options.dryRun};
        const ReviewPage::Page page = ReviewRows::PageOf(previews, settings, run, options.reports.review);
        if (const QString problem = ReviewPage::Write(options.reports.review, page); !problem.isEmpty())
            return complain(QStringLiteral("the review page %1 cannot be written: %2").arg(options.reports.review, problem), 1);
        if (!options.quiet)
            tell(QStringLiteral("review page: ") + options.reports.review);
    }
    return report.exitStatus();
}
