// The join: the pieces cut into the work folder, made into one file by one SoX run; with
// subfolders, one file in each, one after another.
#include "batch/parallelwork.h"

#include "platform/main.h"
#include "platform/shell32.h"
#include "analysis/mp3audio.h"
#include "preview/previewcheck.h"
#include "preview/previewcommands.h"
#include "preview/previewfiles.h"
#include "preview/previewmark.h"
#include "preview/tagcopy.h"

using Shell32::RunResult;

void ParallelPreviews::join()
{
    QStringList pieces;
    QStringList sources;
    QList<double> pieceSeconds;
    for (int index = 0; index < total(); ++index) {
        const Result &result = m_results[index];
        const bool ofThisFolder = m_joinFolders.size() == 1 || m_subfolders.value(index) == m_joinFolders.at(m_joinNumber);
        if (ofThisFolder && (result.made || (m_dryRun && result.reason.isEmpty()))) {
            pieces.append(result.preview);
            sources.append(result.source);
            // A dry run has no pieces yet: each is planned to last its duration.
            pieceSeconds.append(m_dryRun ? durationFor(index) : Mp3Audio::SoxSeconds(result.preview).value_or(0));
        }
    }
    if (pieces.isEmpty())
        m_joined->reason = QStringLiteral("none of the previews could be made");
    else if (m_names.isSource(m_joined->preview))
        m_joined->reason = QStringLiteral("it is a file of the list, so the previews were not joined");
    else if (m_settings.crossfade > 0)
        m_joined->reason = PreviewCheck::CrossfadeProblem(pieceSeconds, sources, m_settings.crossfade);
    if (m_joined->reason.isEmpty())
        m_joined->reason = prepareFolder(*m_joined);
    if (!m_joined->reason.isEmpty() || m_dryRun) {
        if (m_dryRun && m_joined->reason.isEmpty())
            m_joined->command = joinCommand(pieces, pieceSeconds, m_joined->preview);
        return endJoin();
    }
    m_sweep.removeFrom(Main::FolderOf(m_joined->preview));
    m_joinedOutput = std::make_unique<PreviewFiles::TemporaryOutput>(m_joined->preview, m_joinsEarlier.at(m_joinNumber));
    if (!m_joinedOutput->created()) {
        m_joined->reason = m_joinedOutput->problem();
        return endJoin();
    }
    m_joined->command = joinCommand(pieces, pieceSeconds, m_joinedOutput->path());
    launch(*m_joined->command, [this, pieces, sources](const RunResult &result) {
        const QString written = m_joinedOutput->path();
        const QString mark = joinedMark(sources);
        const QString tags = m_settings.tags ? TagCopy::CopyCommonTags(sources, written, mark)
                                             : TagCopy::RemoveTags(written, mark);
        QString problem = PreviewCheck::JoinProblem(result, written, pieces, m_settings.crossfade);
        if (problem.isEmpty())
            problem = ParallelWork::Commit(*m_joined, *m_joinedOutput);
        m_joinedOutput.reset();
        m_joined->made = problem.isEmpty();
        m_joined->reason = problem;
        m_joined->tagProblem = m_joined->made ? tags : QString();
        writeJoinedWaveform();
        endJoin();
    });
}

// A joined file records the folder its songs have in common: it is an orphan once that is gone.
QString ParallelPreviews::joinedMark(const QStringList &sources) const
{
    QString common = Main::FolderOf(sources.value(0));
    for (const QString &source : sources) {
        while (!common.isEmpty() && !source.startsWith(common))
            common = Main::FolderOf(common.chopped(1));
    }
    std::optional<PreviewMark::Record> record = PreviewMark::Record::OfSource(common.isEmpty() ? QStringLiteral("/") : common);
    if (!record)
        return QString();
    record->set(QStringLiteral("joined"), QString::number(sources.size()));
    return record->text();
}

CommandLine ParallelPreviews::joinCommand(const QStringList &pieces, const QList<double> &pieceSeconds,
                                          const QString &writeTo) const
{
    CommandLine command = PreviewCommands::Join(m_tools.sox, pieces, bitrateFor(0), writeTo);
    if (m_settings.crossfade > 0)
        command.plain(PreviewCommands::CrossfadeSplices(pieceSeconds, m_settings.crossfade));
    return command;
}

QString ParallelPreviews::pieceFolder() const
{
    return m_workFolder ? m_workFolder->path() : QString();
}

QString ParallelPreviews::joinedPath(int number) const
{
    const QString folder = m_settings.outputFolder.isEmpty() && total() > 0 ? Main::FolderOf(m_results.first().source)
                                                                           : m_settings.outputFolder;
    // A file without Lumbrisk's mark under the joined file's name is left alone.
    return PreviewCommands::FreePath(PreviewCommands::JoinedPath(folder + QLatin1Char('/') + m_joinFolders.at(number)),
                                     PreviewMark::IsUnmarkedFile);
}

void ParallelPreviews::beginJoin(int number)
{
    m_joinNumber = number;
    Result joined;
    joined.preview = joinedPath(number);
    m_joined = joined;
}

void ParallelPreviews::endJoin()
{
    m_joins.append(*m_joined);
    emit joinedReady();
    if (m_stopped || m_joinNumber + 1 >= m_joinFolders.size())
        return finish();
    beginJoin(m_joinNumber + 1);
    join();
}
