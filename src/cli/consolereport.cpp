#include "cli/consolereport.h"

#include "platform/commandline.h"
#include "platform/filenames.h"
#include "platform/main.h"
#include "batch/parallelpreviews.h"
#include "preview/previewcommands.h"

#include <algorithm>
#include <cstdio>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

constexpr int RedrawMilliseconds = 500;
// The shell variable a dry run keeps the private folder of a join's pieces in.
const QString PieceVariable = QStringLiteral("\"$work\"");

void write(FILE *stream, const QString &text)
{
    std::fputs(text.toUtf8().constData(), stream);
    std::fflush(stream);
}

int terminalColumns()
{
    winsize size{};
    return ::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 ? size.ws_col : 80;
}

// Redraws the self-updating line. A line longer than the terminal would wrap, and \r would
// then redraw only its tail.
void drawLine(const QString &line)
{
    write(stderr, QStringLiteral("\r\033[K") + FileNames::TerminalText(line).left(terminalColumns() - 1));
}

void clearLine()
{
    write(stderr, QStringLiteral("\r\033[K"));
}

QString notMadeLine(const ParallelPreviews::Result &result)
{
    return QStringLiteral("not made: %1: %2").arg(result.source.isEmpty() ? result.preview : result.source,
                                                 result.reason);
}

// " from 1:05" when the start was found in the audio; else "".
QString startNote(const ParallelPreviews::Result &result)
{
    if (!result.foundStart)
        return QString();
    return QStringLiteral(" from ") + PreviewCommands::MinutesText(result.foundStart->seconds);
}

QString madeLine(const ParallelPreviews::Result &result)
{
    QString line = QStringLiteral("made: ") + result.preview + startNote(result);
    for (const QString &problem : {result.tagProblem, result.waveformProblem})
        line += problem.isEmpty() ? QString() : QStringLiteral("; ") + problem;
    return line;
}

// The last name of a path; a folder's keeps its "/".
QString lastName(const QString &path)
{
    const bool folder = path.endsWith(QLatin1Char('/'));
    return Main::FileNameOf(folder ? path.chopped(1) : path) + (folder ? QStringLiteral("/") : QString());
}

// A preview whose planned name was taken by a file that came during the run.
QString freeNameLine(const ParallelPreviews::Result &result)
{
    const QString source = result.source.isEmpty() ? QString() : result.source + QStringLiteral(": ");
    return QStringLiteral("made under a free name: %1saved as %2, as %3 appeared during the run")
        .arg(source, result.preview, result.planned);
}

// A dry run's line that makes the folder a command needs.
void printFolder(const ParallelPreviews::Result &result)
{
    if (!result.newFolder.isEmpty())
        write(stdout, QStringLiteral("mkdir -p -- %1\n").arg(ConsoleReport::ShellQuoted(result.newFolder)));
}

} // namespace

const QString ConsoleReport::LeftOutReason = QStringLiteral("the name is not valid UTF-8, so it cannot be passed on unchanged");

ConsoleReport::ConsoleReport(const ParallelPreviews &previews, Mode mode, bool terminal, QObject *parent)
    : QObject(parent), m_previews(previews), m_mode(mode), m_terminal(terminal)
{
    m_clock.start();
    connect(&previews, &ParallelPreviews::resultReady, this, &ConsoleReport::resultReady);
    connect(&previews, &ParallelPreviews::joinedReady, this, &ConsoleReport::joinedReady);
    connect(&previews, &ParallelPreviews::finished, this, &ConsoleReport::finished);
    if (m_mode == Mode::Progress && m_terminal) {
        connect(&m_ticker, &QTimer::timeout, this, &ConsoleReport::drawProgress);
        m_ticker.start(RedrawMilliseconds);
    }
}

bool ConsoleReport::done(const ParallelPreviews::Result &result) const
{
    const bool planning = m_mode == Mode::DryRun || m_mode == Mode::JsonPlan;
    return result.upToDate || (planning ? result.reason.isEmpty() : result.made);
}

void ConsoleReport::tellLeftOut(const QList<QByteArray> &paths)
{
    for (const QByteArray &path : paths) {
        m_leftOut.append({FileNames::Escaped(path), LeftOutReason});
        printLine(QStringLiteral("left out: %1: %2").arg(m_leftOut.constLast().first, LeftOutReason));
    }
}

void ConsoleReport::tellUnread(const QList<QPair<QString, QString>> &folders)
{
    for (const auto &folder : folders) {
        m_leftOut.append(folder);
        printLine(QStringLiteral("left out: %1: %2").arg(m_leftOut.constLast().first, m_leftOut.constLast().second));
    }
}

void ConsoleReport::showNames(const QStringList &names)
{
    for (qsizetype index = 0; index < names.size() && index < m_previews.total(); ++index)
        m_shownNames.insert(m_previews.results().at(index).source, names.at(index));
}

int ConsoleReport::exitStatus() const
{
    if (!m_leftOut.isEmpty())
        return 1;
    // A waveform file asked for and not written fails the run too.
    for (const ParallelPreviews::Result &result : m_previews.results()) {
        if (!done(result) || !result.waveformProblem.isEmpty())
            return 1;
    }
    for (const ParallelPreviews::Result &joined : joins()) {
        if (!done(joined) || !joined.waveformProblem.isEmpty())
            return 1;
    }
    return 0;
}

QList<ParallelPreviews::Result> ConsoleReport::joins() const
{
    const JoinSchedule &joining = m_previews.joining();
    if (joining.joins().isEmpty() && joining.joined())
        return {*joining.joined()};
    return joining.joins();
}

QString ConsoleReport::ShellQuoted(const QString &word)
{
    const auto safe = [](QChar c) {
        return (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) || (c >= QLatin1Char('a') && c <= QLatin1Char('z'))
               || (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || QStringView(u"_@%+=:,./-").contains(c);
    };
    if (!word.isEmpty() && std::all_of(word.cbegin(), word.cend(), safe))
        return word;
    if (FileNames::HoldsControl(word))
        return FileNames::AnsiCQuoted(word);
    return QLatin1Char('\'') + QString(word).replace(QLatin1Char('\''), QStringLiteral("'\\''")) + QLatin1Char('\'');
}

void ConsoleReport::resultReady(int index)
{
    const ParallelPreviews::Result &result = m_previews.results().at(index);
    const QString count = m_mode == Mode::Progress ? QStringLiteral("%1/%2 ").arg(index + 1).arg(m_previews.total())
                                                   : QString();
    if (result.upToDate) {
        if (m_mode == Mode::Progress && !m_terminal)
            printLine(count + KeptLine(result, m_previews.joining().joined().has_value()));
        return;
    }
    if (m_mode == Mode::JsonPlan && result.command) {
        m_plannedCommands.insert(index, commandText(result));
        return printNotes(result);
    }
    if (m_mode == Mode::DryRun && result.command) {
        if (m_previews.joining().joined() && !m_pieceFolderMade)
            write(stdout, QStringLiteral("work=$(mktemp -d)\n"));
        m_pieceFolderMade = true;
        printFolder(result);
        printCommand(result);
        return printNotes(result);
    }
    if (!result.made)
        printLine(count + notMadeLine(result));
    else if (!result.planned.isEmpty())
        printLine(count + freeNameLine(result));
    else if (m_mode == Mode::Progress && !m_terminal && m_previews.joining().joined())
        printLine(count + QStringLiteral("cut for the join: ") + result.source + startNote(result));
    else if (m_mode == Mode::Progress && !m_terminal)
        printLine(count + madeLine(result));
    else if (!result.tagProblem.isEmpty() || !result.waveformProblem.isEmpty()) // told in every mode
        printLine((m_mode == Mode::Progress ? count : QString()) + madeLine(result));
    printNotes(result);
    if (m_mode == Mode::Progress && result.made && !result.endsEarly.isEmpty())
        printLine(shownName(result.source) + QStringLiteral(": ") + result.endsEarly);
    if (m_mode == Mode::Progress && m_terminal)
        drawProgress();
}

void ConsoleReport::joinedReady()
{
    const ParallelPreviews::Result &joined = *m_previews.joining().joined();
    if (m_mode == Mode::JsonPlan && joined.command) {
        m_plannedJoins.insert(joined.preview, commandText(joined));
    } else if (m_mode == Mode::DryRun && joined.command) {
        printFolder(joined);
        printCommand(joined);
    } else if (joined.upToDate) {
        const QString problem = joined.waveformProblem.isEmpty() ? QString() : QStringLiteral("; ") + joined.waveformProblem;
        if (!problem.isEmpty() || (m_mode == Mode::Progress && !m_terminal))
            printLine(KeptLine(joined, false) + problem);
    } else if (!joined.made) {
        printLine(notMadeLine(joined));
    } else if (!joined.planned.isEmpty()) {
        printLine(freeNameLine(joined));
    } else if (!joined.tagProblem.isEmpty() || !joined.waveformProblem.isEmpty()) {
        printLine(madeLine(joined));
    }
    if (m_mode == Mode::Progress && joined.made && joined.loudness)
        printLine(JoinedLoudnessLine(joined));
}

void ConsoleReport::finished()
{
    m_ticker.stop();
    if (m_mode == Mode::DryRun && m_pieceFolderMade && m_previews.joining().joined())
        write(stdout, QStringLiteral("rm -r -- %1\n").arg(PieceVariable));
    if (m_mode == Mode::DryRun && m_previews.joining().joined() && m_previews.keptCount() > 0)
        printLine(joinsKeptNote() + (allJoinsKept() ? QString() : QStringLiteral("; the lines above make the others")));
    else if (m_mode == Mode::DryRun && m_previews.keptCount() > 0)
        printLine(QStringLiteral("up to date: %1; the lines above make the other %2")
                      .arg(m_previews.keptCount())
                      .arg(m_previews.total() - m_previews.keptCount()));
    printOrphans();
    if (m_mode == Mode::Progress)
        printSummary();
    else if (m_mode == Mode::Json || m_mode == Mode::JsonPlan)
        printJson();
}

// A line that stays, written above the self-updating line when that is shown.
void ConsoleReport::printLine(const QString &line)
{
    const QString prefix = m_mode == Mode::Progress ? QString() : QStringLiteral("lumbrisk-cli: ");
    if (m_lineShown)
        clearLine();
    write(stderr, prefix + FileNames::TerminalText(line) + QLatin1Char('\n'));
    m_lineShown = false;
}

void ConsoleReport::drawProgress()
{
    const int finished = m_previews.finishedCount();
    const int total = m_previews.total();
    const qint64 elapsed = m_clock.elapsed();
    QString line = QStringLiteral("%1/%2  %3 elapsed").arg(finished).arg(total).arg(PreviewCommands::MinutesText(elapsed / 1000.0));
    if (m_previews.plannedCount() < total)
        line += QStringLiteral(", %1 of %2 planned").arg(m_previews.plannedCount()).arg(total);
    const int kept = m_previews.keptCount();
    m_timeLeft.update(finished - kept, total - kept, elapsed);
    if (m_previews.plannedCount() >= total && m_timeLeft.milliseconds())
        line += QStringLiteral(", about %1 left").arg(PreviewCommands::MinutesText(*m_timeLeft.milliseconds() / 1000.0));
    const QString running = m_previews.runningSource();
    if (!running.isEmpty())
        line += QStringLiteral("  ") + shownName(running);
    drawLine(line);
    m_lineShown = true;
}

void ConsoleReport::printCommand(const ParallelPreviews::Result &result)
{
    write(stdout, commandText(result) + QLatin1Char('\n'));
}

QString ConsoleReport::commandText(const ParallelPreviews::Result &result) const
{
    QString text;
    for (const CommandLine &run : pipedInto(result))
        text += shellWords(run) + QStringLiteral(" | ");
    text += shellWords(*result.command);
    if (!result.encoder)
        return text;
    // FFmpeg empties its output before the first sample comes: the line writes beside the
    // preview and renames, so that a line whose song has gone leaves the preview as it was and
    // nothing beside it; and it ends the script as sh -e would end it at a failed SoX line.
    const QString preview = result.encoder->arguments().constLast();
    const QString part = ShellQuoted(preview + QStringLiteral(".part"));
    QString encoder = shellWords(*result.encoder);
    encoder.chop(ShellQuoted(preview).size());
    return text + QStringLiteral(" | ") + encoder + part + QStringLiteral(" && mv -f -- ") + part + QLatin1Char(' ')
           + ShellQuoted(preview) + QStringLiteral(" || { status=$?; rm -f -- ") + part + QStringLiteral("; exit \"$status\"; }");
}

QList<CommandLine> ConsoleReport::pipedInto(const ParallelPreviews::Result &result)
{
    if (!result.pipedFrom.isEmpty())
        return result.pipedFrom;
    return result.decoder ? QList<CommandLine>{*result.decoder} : QList<CommandLine>();
}

QString ConsoleReport::shellWords(const CommandLine &command) const
{
    const QString pieces = m_previews.joining().pieceFolder() + QLatin1Char('/');
    QStringList words{ShellQuoted(command.program())};
    for (const QString &argument : command.arguments()) {
        const bool piece = !m_previews.joining().pieceFolder().isEmpty() && argument.startsWith(pieces);
        words.append(piece ? PieceVariable + QLatin1Char('/') + ShellQuoted(argument.mid(pieces.size()))
                           : ShellQuoted(argument));
    }
    return words.join(QLatin1Char(' '));
}

void ConsoleReport::printSummary()
{
    QStringList notMade;
    int made = 0;
    int taken = 0; // songs whose own previews a join took as they were
    for (const ParallelPreviews::Result &result : m_previews.results()) {
        if (result.made)
            ++made;
        else if (!result.upToDate)
            notMade.append(shownName(result.source));
        taken += result.pieceTaken ? 1 : 0;
    }
    const int kept = m_previews.keptCount();
    const int toMake = m_previews.total() - kept;
    QString summary;
    const QList<ParallelPreviews::Result> joins = this->joins();
    if (m_previews.interrupted())
        summary = QStringLiteral("stopped: %1 of %2 previews were made and are kept").arg(made).arg(toMake);
    else if (allJoinsKept())
        summary = QStringLiteral("nothing to make");
    else if (joins.size() > 1)
        summary = joinsSummary(made + taken, toMake + taken);
    else if (!joins.isEmpty() && joins.constFirst().made)
        summary = joins.constFirst().preview + QStringLiteral(" made from %1 of %2 previews").arg(made + taken).arg(toMake + taken);
    else if (joins.size() == 1 && made + taken > 0)
        summary = QStringLiteral("the pieces were cut, but the joined preview was not made: ") + joins.constFirst().reason;
    else if (toMake == 0 && kept > 0)
        summary = QStringLiteral("nothing to make");
    else
        summary = QStringLiteral("%1 of %2 previews made").arg(made).arg(toMake);
    if (!joins.isEmpty() && kept > 0)
        summary += QStringLiteral("; ") + joinsKeptNote();
    else if (kept > 0)
        summary += QStringLiteral("; up to date: %1").arg(kept);
    summary += namesNote();
    if (!notMade.isEmpty() && !m_previews.interrupted())
        summary += QStringLiteral("; not made: ") + notMade.join(QStringLiteral(", "));
    QStringList leftOut;
    for (const auto &path : std::as_const(m_leftOut))
        leftOut.append(lastName(path.first));
    if (!leftOut.isEmpty() && !m_previews.interrupted())
        summary += QStringLiteral("; left out: ") + leftOut.join(QStringLiteral(", "));
    printLine(summary);
}

ScanProgress::ScanProgress(bool shown) : m_shown(shown)
{
    m_drawn.start();
}

ScanProgress::~ScanProgress()
{
    clear();
}

void ScanProgress::found(qsizetype files)
{
    m_files += files;
    if (!m_shown || m_drawn.elapsed() < RedrawMilliseconds)
        return;
    drawLine(QStringLiteral("scanning: %1 files found").arg(m_files));
    m_lineShown = true;
    m_drawn.start();
}

void ScanProgress::clear()
{
    if (m_lineShown)
        clearLine();
    m_lineShown = false;
}
