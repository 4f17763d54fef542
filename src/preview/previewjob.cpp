#include "preview/previewjob.h"

#include "platform/errorreport.h"
#include "platform/prompts.h"
#include "platform/apperror.h"
#include "platform/main.h"
#include "platform/numbers.h"
#include "platform/shell32.h"
#include "analysis/sourceaudio.h"
#include "preview/getbitrate.h"
#include "preview/previewcheck.h"
#include "preview/previewcommands.h"
#include "preview/previewfiles.h"
#include "preview/songstart.h"
#include "preview/tagcopy.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QMap>

#include <cmath>

// The statements keep the numbers of the job's steps, so an error report names the step:
// 100-110 checks, 112 busy pointer, 114 tools, 116/118 start and duration, 120 row count,
// 122-152 the per-file pass, 154-188 the join, 190-198 the finish, 200 clearing the busy flag.

namespace {

using Shell32::RunResult;

const QString ProcessingPrefix = QStringLiteral("Processing: ");

} // namespace

PreviewJob::PreviewJob(PreviewControls &controls)
    : m_controls(controls), m_progress(controls.progress())
{
}

PreviewJob::~PreviewJob() = default;

void PreviewJob::stop()
{
    m_stopped = true;
    Shell32::StopRunningTools();
    if (m_pending)
        m_pending->discard();
    if (m_work)
        m_work->remove();
}

void PreviewJob::run()
{
    GuardedSteps steps(m_controls.prompts(), QStringLiteral("Form1.PushButton2_Click"));
    if (m_controls.busy())
        return;
    steps.run(102, [&] { m_controls.setBusy(true); });
    if (steps.test(104, [&] { return m_controls.rowCount() == 0; }))
        steps.run(106, [&] { tell(QStringLiteral("No files added.")); });
    else if (steps.test(108, [&] { return !Main::FolderExists(m_controls.outputFolder()); }))
        steps.run(110, [&] { tell(QStringLiteral("Folder does not exist. Please select another folder.")); });
    else
        makePreviews(steps);
    steps.run(200, [&] { m_controls.setBusy(false); });
}

void PreviewJob::makePreviews(GuardedSteps &steps)
{
    steps.run(112, [&] { m_controls.showBusyPointer(true); });
    steps.run(114, [&] { m_tools = Tools::Find(m_controls.programFolder()); });
    m_sweep.removeFrom(Tools::TemporaryFolder());
    m_work = std::make_unique<PreviewFiles::WorkFolder>();
    m_startCut = steps.value<StartList::SourceCut>(116, [&] { return SongStart::ForJob(m_controls.startText()); },
                                                   SongStart::ForJob(QStringLiteral("3")));
    m_start = PreviewCommands::SoxNumber(m_startCut.startSeconds.value_or(3));
    m_duration = steps.value<QString>(118, [&] { return PreviewCommands::SecondsText(m_controls.durationText()); },
                                      QStringLiteral("3"));
    steps.run(120, [&] { m_rowCount = m_controls.rowCount(); });
    for (int position = 1; position <= m_rowCount && !m_stopped; ++position)
        processRow(steps, position);
    if (!m_stopped && steps.test(154, [&] { return m_controls.joinPreviews(); }))
        join(steps);
    if (m_stopped)
        return; // the program is ending
    // The tools were found, not copied, so only the run's private folder is removed.
    steps.run(190, [&] { m_work.reset(); });
    steps.run(192, [&] { m_controls.showBusyPointer(false); });
    steps.run(194, [&] { m_progress.setValue(0); });
    steps.run(196, [&] { m_progress.setText(QStringLiteral("Progress Bar")); });
    steps.run(198, [&] { tell(closingText(), closingDetails()); });
}

void PreviewJob::processRow(GuardedSteps &steps, int position)
{
    QString source;
    steps.run(124, [&] { source = Main::AbsolutePath(m_controls.row(position)); });
    steps.run(126, [&] { m_progress.setValue(position * 100.0 / rowsNow()); });
    steps.run(128, [&] { m_progress.setText(ProcessingPrefix + Main::FileNameOf(source)); });
    const QString sourceProblem = PreviewFiles::SourceProblem(source);
    if (!m_tools.soxProblem.isEmpty())
        fail(source, m_tools.soxProblem);
    else if (!sourceProblem.isEmpty())
        fail(source, sourceProblem);
    else if (settleStart(source))
        makePreview(steps, position, source);
    steps.run(150, [] { QCoreApplication::processEvents(); });
}

bool PreviewJob::settleStart(const QString &sourcePath)
{
    if (!SongStart::PerSong(m_startCut))
        return true;
    const SongStart::Found found =
        SongStart::ForSong(m_startCut, sourcePath, QLocale::c().toDouble(m_duration), m_tools,
                           [this](const CommandLine &commandLine) { return runSox(commandLine, rowsNow()); });
    if (!found.problem.isEmpty())
        fail(sourcePath, found.problem);
    if (m_stopped || !found.problem.isEmpty())
        return false;
    m_start = PreviewCommands::SoxNumber(found.seconds);
    const QString clock = PreviewCommands::ClockText(std::floor(found.seconds)); // whole seconds, as people say them
    m_progress.setText(m_progress.Text() + QStringLiteral(" from ") + clock);
    if (m_startCut.startAtChorus && !found.fromChorus)
        m_startNotes.append(sourcePath + QStringLiteral(": nothing repeats in it, so its preview starts a quarter in, at ") + clock);
    return true;
}

void PreviewJob::makePreview(GuardedSteps &steps, int position, const QString &source)
{
    const bool joining = m_controls.joinPreviews();
    // A join takes its bit rate from the first row that can be probed.
    if (steps.test(130, [&] { return (joining && (position == 1 || !m_bitrateProblem.isEmpty())) || !joining; }))
        steps.run(132, [&] { chooseBitrate(source); });
    if (!joining || position == 1)
        steps.run(134, [&] {
            m_joinedPath = PreviewCommands::JoinedPath(outputFolderFor(source));
            m_joinedEarlier = PreviewFiles::EarlierFile::At(m_joinedPath);
        });
    QString output;
    steps.run(138, [&] { output = PreviewCommands::OutputPath(outputFolderFor(source), source); });
    if (!m_bitrateProblem.isEmpty())
        fail(source, m_bitrateProblem);
    else if (joining)
        steps.run(142, [&] { cutPiece(source, m_work->isValid() ? m_work->piecePath(position) : QString()); });
    else if (isSource(output))
        fail(source, QStringLiteral("its preview %1 would replace a file of the list, so nothing was written").arg(output));
    else
        steps.run(148, [&] { cut(source, output); });
}

void PreviewJob::chooseBitrate(const QString &sourcePath)
{
    RunResult probe;
    const GetBitrate::Context context{m_controls.prompts(), m_tools.ffmpeg, &m_progress, rowsNow(),
                                      m_work->isValid() ? m_work->path() : QString(), &probe};
    m_bitrate = m_controls.bitrateIndex() > 0
                    ? GetBitrate::GetBitrateCombo(m_controls.bitrateChoice(), sourcePath, context)
                    : GetBitrate::GetBitrateOfMP3(sourcePath, context);
    m_bitrateProblem.clear();
    if (!m_bitrate.isEmpty())
        return;
    m_bitrateProblem = m_tools.ffmpeg.isEmpty() ? m_tools.ffmpegProblem : PreviewCheck::ProbeProblem(sourcePath, probe);
}

QString PreviewJob::outputFolderFor(const QString &sourcePath) const
{
    return m_controls.saveToFolder() ? Main::AbsolutePath(m_controls.outputFolder()) : Main::FolderOf(sourcePath);
}

QString PreviewJob::separateOutputFor(const QString &outputPath)
{
    // Two sources of one base name would write one preview; the later one gets a free name.
    return PreviewCommands::FreePath(outputPath, [&](const QString &path) {
        return m_written.contains(PreviewFiles::FileKey(path)) || isSource(path);
    });
}

void PreviewJob::cut(const QString &sourcePath, const QString &ownName)
{
    const QString planned = separateOutputFor(ownName);
    QString outputPath = planned;
    const std::optional<Mp3Audio::Length> length = SourceAudio::Measure(sourcePath);
    const QString problem = writeThroughTemporary(
        outputPath, PreviewFiles::EarlierFile::At(planned),
        [&](const QString &written) {
            return PreviewCommands::Cut(m_tools.sox, sourcePath, m_bitrate, written, m_start, m_duration);
        },
        rowsNow(),
        [&](const RunResult &result, const QString &written) {
            return PreviewCheck::CutProblem(result, written, sourcePath, length, m_start, m_duration, m_tools.ffmpeg);
        },
        [&](const QString &written) { return TagCopy::CopyTags(sourcePath, written); });
    if (m_stopped)
        return;
    if (!problem.isEmpty()) {
        fail(sourcePath, problem);
        return;
    }
    ++m_made;
    m_written.insert(PreviewFiles::FileKey(outputPath));
    noteFreeName(sourcePath, ownName, planned, outputPath);
}

void PreviewJob::noteFreeName(const QString &path, const QString &ownName, const QString &planned, const QString &saved)
{
    if (saved != ownName)
        m_freeNames.append(path + QStringLiteral(": saved as ") + saved);
    if (saved != planned)
        ++m_namesTaken;
}

void PreviewJob::cutPiece(const QString &sourcePath, const QString &piecePath)
{
    if (piecePath.isEmpty()) {
        fail(sourcePath, m_work->problem());
        return;
    }
    const std::optional<Mp3Audio::Length> length = SourceAudio::Measure(sourcePath);
    const RunResult result = runSox(PreviewCommands::Cut(m_tools.sox, sourcePath, m_bitrate, piecePath, m_start, m_duration),
                                    rowsNow());
    if (m_stopped)
        return;
    const QString problem = PreviewCheck::CutProblem(result, piecePath, sourcePath, length, m_start, m_duration,
                                                     m_tools.ffmpeg);
    if (!problem.isEmpty()) {
        QFile::remove(piecePath);
        fail(sourcePath, problem);
        return;
    }
    ++m_made;
    m_joinList.append(piecePath);
    m_joinSources.append(sourcePath);
}

QString PreviewJob::writeThroughTemporary(QString &outputPath, const PreviewFiles::EarlierFile &earlier,
                                          const std::function<CommandLine(const QString &)> &command, int count,
                                          const std::function<QString(const RunResult &, const QString &)> &check,
                                          const std::function<QString(const QString &)> &tag)
{
    m_sweep.removeFrom(Main::FolderOf(Main::AbsolutePath(outputPath)));
    PreviewFiles::TemporaryOutput output(outputPath, earlier);
    if (!output.created())
        return output.problem();
    m_pending = &output;
    const RunResult result = runSox(command(output.path()), count);
    m_pending = nullptr;
    if (m_stopped)
        return QString();
    // Before the check, so that the check sees the file as it will be kept.
    const QString tagProblem = tag(output.path());
    // SoX names the file it wrote; the user knows it by its final name.
    QString problem = check(result, output.path()).replace(output.path(), output.finalPath());
    if (problem.isEmpty())
        problem = output.commit();
    if (!problem.isEmpty())
        return problem;
    outputPath = output.finalPath();
    if (!tagProblem.isEmpty())
        m_untagged.append(outputPath + QStringLiteral(": ") + tagProblem);
    return problem;
}

void PreviewJob::join(GuardedSteps &steps)
{
    if (m_joinList.isEmpty())
        return; // every source failed and is reported already
    if (isSource(m_joinedPath)) {
        fail(m_joinedPath, QStringLiteral("it is a file of the list, so the previews were not joined"));
        m_made = 0;
        return;
    }
    // Every piece is complete: its SoX has ended and been waited for.
    const int entries = int(m_joinList.size());
    for (int entry = 1; entry <= entries; ++entry)
        showJoinStep(steps, 160, entry, entries);
    QString problem;
    QString joinedPath = m_joinedPath;
    steps.run(174, [&] {
        problem = writeThroughTemporary(
            joinedPath, m_joinedEarlier,
            [&](const QString &written) { return PreviewCommands::Join(m_tools.sox, m_joinList, m_bitrate, written); },
            entries,
            [&](const RunResult &result, const QString &written) {
                return PreviewCheck::JoinProblem(result, written, m_joinList);
            },
            [&](const QString &written) { return TagCopy::CopyCommonTags(m_joinSources, written); });
    });
    if (m_stopped)
        return;
    if (!problem.isEmpty()) {
        fail(m_joinedPath, problem);
        m_made = 0;
    } else {
        noteFreeName(m_joinedPath, m_joinedPath, m_joinedPath, joinedPath);
    }
    for (int entry = 1; entry <= entries; ++entry) {
        showJoinStep(steps, 178, entry, entries);
        steps.run(184, [&] { Main::RemoveFile(m_joinList.at(entry - 1)); });
    }
}

void PreviewJob::showJoinStep(GuardedSteps &steps, int line, int entry, int entries)
{
    steps.run(line, [&] { m_progress.setValue(entry * 100.0 / entries); });
    steps.run(line + 2, [&] { m_progress.setText(ProcessingPrefix + Main::FileNameOf(m_joinedPath)); });
    steps.run(line + 4, [] { QCoreApplication::processEvents(); });
}

RunResult PreviewJob::runSox(const CommandLine &commandLine, int count)
{
    return Shell32::RunAndWait(commandLine, Shell32::HiddenWindow, &m_progress, m_progress.Text(),
                               int(Numbers::RoundHalfEven(m_progress.Value())), count);
}

void PreviewJob::fail(const QString &path, const QString &reason)
{
    m_failures.append({path, reason});
}

bool PreviewJob::isSource(const QString &path)
{
    QStringList rows;
    for (int position = 1; position <= m_controls.rowCount(); ++position)
        rows.append(m_controls.row(position));
    if (rows != m_sourceRows) {
        m_sourceRows = rows;
        m_sourceKeys.clear();
        for (const QString &row : rows)
            m_sourceKeys.insert(PreviewFiles::FileKey(row));
    }
    return m_sourceKeys.contains(PreviewFiles::FileKey(path));
}

int PreviewJob::rowsNow() const
{
    const int rows = m_controls.rowCount();
    if (rows == 0)
        throw AppError(QStringLiteral("Division by zero"));
    return rows;
}

void PreviewJob::tell(const QString &text, const QString &details)
{
    m_controls.prompts().message(m_controls.applicationTitle(), text, Prompts::Icon::None, details);
}

QString PreviewJob::closingText() const
{
    if (m_failures.isEmpty() && m_freeNames.isEmpty() && m_untagged.isEmpty())
        return QStringLiteral("Done.");
    QString text = QStringLiteral("Done.\n\n%1 of %2 previews were made.").arg(m_made).arg(m_rowCount);
    const int sameNames = int(m_freeNames.size()) - m_namesTaken;
    if (sameNames > 0)
        text += QStringLiteral("\n%1 of them got a free name, as an earlier file of the list has the same name.")
                    .arg(sameNames);
    if (m_namesTaken > 0)
        text += QStringLiteral("\n%1 of them got a free name, as a file of that name appeared during the run.")
                    .arg(m_namesTaken);
    if (!m_untagged.isEmpty())
        text += QStringLiteral("\nTags could not be copied into %1 of the files made.").arg(m_untagged.size());
    return text;
}

// A reason met once reads "<path>: <reason>"; one met more often is said once, with the
// number of files and their paths below it.
QString PreviewJob::closingDetails() const
{
    QStringList reasons;
    QMap<QString, QStringList> pathsOf;
    for (const auto &[path, reason] : m_failures) {
        if (!pathsOf.contains(reason))
            reasons.append(reason);
        pathsOf[reason].append(path);
    }
    QStringList lines = m_untagged;
    if (!reasons.isEmpty())
        lines << QStringLiteral("Not made:");
    for (const QString &reason : std::as_const(reasons)) {
        const QStringList &paths = pathsOf[reason];
        if (paths.size() == 1) {
            lines << paths.first() + QStringLiteral(": ") + reason;
            continue;
        }
        lines << QStringLiteral("%1: %2 files").arg(reason).arg(paths.size());
        for (const QString &path : paths)
            lines << QStringLiteral("    ") + path;
    }
    if (!m_freeNames.isEmpty())
        lines << QStringLiteral("Saved under a free name:") << m_freeNames;
    lines << m_startNotes;
    return lines.join(QLatin1Char('\n'));
}
