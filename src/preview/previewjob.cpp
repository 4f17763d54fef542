#include "preview/previewjob.h"

#include "platform/errorreport.h"
#include "platform/prompts.h"
#include "platform/apperror.h"
#include "platform/main.h"
#include "platform/numbers.h"
#include "platform/shell32.h"
#include "preview/getbitrate.h"
#include "preview/mp3audio.h"
#include "preview/previewcommands.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

// The statements keep the numbers of the job's steps, so an error report names the step:
// 100-110 checks, 112 busy pointer, 114 tools, 116/118 start and duration, 120 row count,
// 122-152 the per-file pass, 154-188 the join, 192-198 the finish, 200 clearing the busy flag.

namespace {

using Shell32::RunResult;

const QString ProcessingPrefix = QStringLiteral("Processing: ");

// A stable name for a file, so that two spellings of one path compare equal.
QString fileKey(const QString &path)
{
    const QFileInfo file(path);
    const QString canonical = file.canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(file.absoluteFilePath()) : canonical;
}

// SoX's last message without its "sox FAIL formats: " prefix.
QString soxWords(const RunResult &result)
{
    static const QRegularExpression prefix(QStringLiteral("^\\S+ (FAIL|WARN|INFO) [^:]*: "));
    return result.lastErrorLine().remove(prefix);
}

// "" when the run wrote audio; otherwise what went wrong, in SoX's own words where it gave
// any, or noAudio when SoX ended well but wrote no audio.
QString soxProblem(const RunResult &result, const QString &outputPath, const QString &noAudio)
{
    const QString words = soxWords(result);
    const QString because = words.isEmpty() ? QString() : QStringLiteral(": ") + words;
    switch (result.outcome) {
    case RunResult::Outcome::FailedToStart:
        return QStringLiteral("SoX could not be started: ") + result.startError;
    case RunResult::Outcome::Crashed:
        return QStringLiteral("SoX crashed") + because;
    case RunResult::Outcome::Exited:
        break;
    }
    if (result.exitCode != 0)
        return QStringLiteral("SoX failed") + (words.isEmpty() ? QStringLiteral(" with exit status %1").arg(result.exitCode) : because);
    return Mp3Audio::HoldsAudio(outputPath) ? QString() : noAudio;
}

} // namespace

PreviewJob::PreviewJob(PreviewControls &controls)
    : m_controls(controls), m_progress(controls.progress())
{
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
    m_start = steps.value<QString>(116, [&] { return PreviewCommands::SecondsText(m_controls.startText()); },
                                   QStringLiteral("3"));
    m_duration = steps.value<QString>(118, [&] { return PreviewCommands::SecondsText(m_controls.durationText()); },
                                      QStringLiteral("3"));
    steps.run(120, [&] { m_rowCount = m_controls.rowCount(); });
    for (int position = 1; position <= m_rowCount; ++position)
        processRow(steps, position);
    if (steps.test(154, [&] { return m_controls.joinPreviews(); }))
        join(steps);
    // The tools were found, not copied, so nothing is removed from the temporary folder.
    steps.run(192, [&] { m_controls.showBusyPointer(false); });
    steps.run(194, [&] { m_progress.setValue(0); });
    steps.run(196, [&] { m_progress.setText(QStringLiteral("Progress Bar")); });
    steps.run(198, [&] { tell(closingMessage()); });
}

void PreviewJob::processRow(GuardedSteps &steps, int position)
{
    QString source;
    steps.run(124, [&] { source = m_controls.row(position); });
    steps.run(126, [&] { m_progress.setValue(position * 100.0 / rowsNow()); });
    steps.run(128, [&] { m_progress.setText(ProcessingPrefix + Main::FileNameOf(source)); });
    if (m_tools.soxProblem.isEmpty())
        makePreview(steps, position, source);
    else
        fail(source, m_tools.soxProblem);
    steps.run(150, [] { QCoreApplication::processEvents(); });
}

void PreviewJob::makePreview(GuardedSteps &steps, int position, const QString &source)
{
    const bool joining = m_controls.joinPreviews();
    if (steps.test(130, [&] { return (joining && position == 1) || !joining; })) {
        steps.run(132, [&] { chooseBitrate(source); });
        steps.run(134, [&] { m_joinedPath = PreviewCommands::JoinedPath(outputFolderFor(source)); });
    }
    QString output;
    steps.run(138, [&] { output = PreviewCommands::OutputPath(outputFolderFor(source), source); });
    if (joining)
        steps.run(142, [&] { output = joinEntryFor(output); });
    if (!m_bitrateProblem.isEmpty())
        fail(source, m_bitrateProblem);
    else if (isSource(output))
        fail(source, QStringLiteral("its preview %1 would replace a file of the list, so nothing was written").arg(output));
    else
        steps.run(148, [&] { cut(source, output, joining); });
}

void PreviewJob::chooseBitrate(const QString &sourcePath)
{
    const GetBitrate::Context context{m_controls.prompts(), m_tools.ffmpeg, &m_progress, rowsNow()};
    m_bitrate = m_controls.bitrateIndex() > 0
                    ? GetBitrate::GetBitrateCombo(m_controls.bitrateChoice(), sourcePath, context)
                    : GetBitrate::GetBitrateOfMP3(sourcePath, context);
    m_bitrateProblem.clear();
    if (!m_bitrate.isEmpty())
        return;
    m_bitrateProblem = m_tools.ffmpeg.isEmpty() ? m_tools.ffmpegProblem
                                                : QStringLiteral("FFmpeg found no MP3 bit rate in %1 (%2)")
                                                      .arg(Main::FileNameOf(sourcePath), GetBitrate::CaptureReason());
}

QString PreviewJob::outputFolderFor(const QString &sourcePath) const
{
    return m_controls.saveToFolder() ? m_controls.outputFolder() : Main::FolderOf(sourcePath);
}

QString PreviewJob::joinEntryFor(const QString &outputPath)
{
    // The per-file previews of a join only feed the joined file, so when two sources share
    // a base name, or a name is taken by a listed file, the later one gets a free name.
    QString entry = outputPath;
    for (int number = 2; m_joinEntries.contains(entry) || entry == m_joinedPath || isSource(entry)
                         || (entry != outputPath && Main::PathExists(entry));
         ++number)
        entry = Main::StripExtension(outputPath) + QStringLiteral(" (%1).mp3").arg(number);
    m_joinEntries.append(entry);
    return entry;
}

void PreviewJob::cut(const QString &sourcePath, const QString &outputPath, bool joining)
{
    Main::RemoveFile(outputPath);
    const RunResult result = runSox(PreviewCommands::Cut(m_tools.sox, sourcePath, m_bitrate, outputPath,
                                                         m_start, m_duration),
                                    rowsNow());
    const QString problem = soxProblem(result, outputPath,
                                       QStringLiteral("SoX cut no audio from it; the track seems to be shorter than the starting second"));
    if (!problem.isEmpty()) {
        Main::RemoveFile(outputPath); // no half-written preview stays behind
        fail(sourcePath, problem);
        return;
    }
    ++m_made;
    if (joining)
        m_joinList.append(outputPath);
}

void PreviewJob::join(GuardedSteps &steps)
{
    if (m_joinList.isEmpty())
        return; // every source failed and is reported already
    if (isSource(m_joinedPath)) {
        fail(m_joinedPath, QStringLiteral("it is a file of the list, so the previews were not joined; the separate previews were kept"));
        return;
    }
    const int entries = int(m_joinList.size());
    for (int entry = 1; entry <= entries; ++entry) {
        showJoinStep(steps, 160, entry, entries);
        steps.run(168, [] { Main::WaitSeconds(1); });
    }
    RunResult result;
    steps.run(174, [&] {
        result = runSox(PreviewCommands::Join(m_tools.sox, m_joinList, m_bitrate, m_joinedPath), entries);
    });
    const QString problem = soxProblem(result, m_joinedPath, QStringLiteral("SoX wrote no audio"));
    if (!problem.isEmpty()) {
        Main::RemoveFile(m_joinedPath);
        fail(m_joinedPath, problem + QStringLiteral("; the separate previews were kept"));
        return;
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
    m_failures.append(path + QStringLiteral(": ") + reason);
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
            m_sourceKeys.insert(fileKey(row));
    }
    return m_sourceKeys.contains(fileKey(path));
}

int PreviewJob::rowsNow() const
{
    const int rows = m_controls.rowCount();
    if (rows == 0)
        throw AppError(QStringLiteral("Division by zero"));
    return rows;
}

void PreviewJob::tell(const QString &text)
{
    m_controls.prompts().message(m_controls.applicationTitle(), text);
}

QString PreviewJob::closingMessage() const
{
    if (m_failures.isEmpty())
        return QStringLiteral("Done.");
    return QStringLiteral("Done.\n\n%1 of %2 previews were made. Not made:\n").arg(m_made).arg(m_rowCount)
           + m_failures.join(QLatin1Char('\n'));
}
