#include "preview/previewjob.h"

#include "platform/errorreport.h"
#include "platform/prompts.h"
#include "platform/apperror.h"
#include "platform/main.h"
#include "platform/numbers.h"
#include "platform/shell32.h"
#include "platform/toolwait.h"
#include "preview/getbitrate.h"
#include "preview/previewcheck.h"
#include "preview/previewcommands.h"
#include "preview/previewfiles.h"
#include "preview/previewmark.h"
#include "preview/previewrecord.h"
#include "preview/songstart.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLocale>


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
    if (m_joining)
        m_joining->discard();
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
    if (const QString problem = rowProblem(source); !problem.isEmpty())
        fail(source, problem);
    else if (settleStart(source))
        makePreview(steps, position, source);
    steps.run(150, [] { QCoreApplication::processEvents(); });
}

QString PreviewJob::rowProblem(const QString &sourcePath) const
{
    if (!m_tools.soxProblem.isEmpty())
        return m_tools.soxProblem;
    const QString sourceProblem = PreviewFiles::SourceProblem(sourcePath);
    return sourceProblem.isEmpty() ? PreviewSteps::ReadingProblem(m_tools, sourcePath) : sourceProblem;
}

void PreviewJob::makePreview(GuardedSteps &steps, int position, const QString &source)
{
    const bool joining = m_controls.joinPreviews();
    // A join takes its bit rate from the first row that can be probed.
    if (steps.test(130, [&] { return (joining && (position == 1 || !m_bitrateProblem.isEmpty())) || !joining; }))
        steps.run(132, [&] { chooseBitrate(source); });
    if (!joining || position == 1)
        steps.run(134, [&] {
            m_joinedPath = joinedOutputIn(outputFolderFor(source));
            m_joinedEarlier = PreviewFiles::EarlierFile::At(m_joinedPath);
        });
    QString output;
    steps.run(138, [&] { output = PreviewCommands::OutputPath(outputFolderFor(source), source); });
    m_file.setBitrate(m_bitrate, m_kbpsChosen);
    if (!m_bitrateProblem.isEmpty())
        fail(source, m_bitrateProblem);
    else if (joining)
        steps.run(142, [&] {
            cutPiece(source, m_work->isValid() ? m_work->piecePath(position, OutputFormat::Mp3()) : QString());
        });
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
    m_kbpsChosen = m_controls.bitrateIndex() > 0 ? m_bitrate.toInt() : 0;
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
    // Two sources of one base name would write one preview, and a file without Lumbrisk's mark
    // (a song, or the user's own) is never replaced: the later preview gets a free name.
    return PreviewCommands::FreePath(outputPath, [&](const QString &path) {
        return m_written.contains(PreviewFiles::FileKey(path)) || isSource(path) || PreviewMark::IsUnmarkedFile(path);
    });
}

void PreviewJob::noteFreeName(const QString &path, const QString &ownName, const QString &planned, const QString &saved)
{
    const bool unmarkedKept = planned != ownName && !isSource(ownName) && PreviewMark::IsUnmarkedFile(ownName);
    if (saved != ownName)
        m_freeNames.append(path + QStringLiteral(": saved as ") + saved
                           + (unmarkedKept ? QStringLiteral(", as %1 has no Lumbrisk mark and was kept").arg(ownName)
                                           : QString()));
    if (saved != planned)
        ++m_namesTaken;
    else if (unmarkedKept)
        ++m_unmarkedKept;
}

void PreviewJob::showJoinStep(GuardedSteps &steps, int line, int entry, int entries)
{
    steps.run(line, [&] { m_progress.setValue(entry * 100.0 / entries); });
    steps.run(line + 2, [&] { m_progress.setText(ProcessingPrefix + Main::FileNameOf(m_joinedPath)); });
    steps.run(line + 4, [] { QCoreApplication::processEvents(); });
}

Runner PreviewJob::waiting(int count) const
{
    return Shell32::Waiting(&m_progress, m_progress.Text(), barValue(), count);
}

int PreviewJob::barValue() const
{
    return int(Numbers::RoundHalfEven(m_progress.Value()));
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

