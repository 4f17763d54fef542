// The join: the pieces cut into the work folder, made into one file by one SoX run.
#include "batch/parallelwork.h"

#include "platform/main.h"
#include "platform/shell32.h"
#include "analysis/mp3audio.h"
#include "preview/previewcheck.h"
#include "preview/previewcommands.h"
#include "preview/previewfiles.h"
#include "preview/tagcopy.h"

using Shell32::RunResult;

void ParallelPreviews::join()
{
    QStringList pieces;
    QStringList sources;
    QList<double> pieceSeconds;
    for (int index = 0; index < total(); ++index) {
        const Result &result = m_results[index];
        if (result.made || (m_dryRun && result.reason.isEmpty())) {
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
        emit joinedReady();
        return finish();
    }
    m_sweep.removeFrom(Main::FolderOf(m_joined->preview));
    m_joinedOutput = std::make_unique<PreviewFiles::TemporaryOutput>(m_joined->preview, m_joinedEarlier);
    if (!m_joinedOutput->created()) {
        m_joined->reason = m_joinedOutput->problem();
        emit joinedReady();
        return finish();
    }
    m_joined->command = joinCommand(pieces, pieceSeconds, m_joinedOutput->path());
    launch(*m_joined->command, [this, pieces, sources](const RunResult &result) {
        const QString written = m_joinedOutput->path();
        const QString tags = m_settings.tags ? TagCopy::CopyCommonTags(sources, written) : TagCopy::RemoveTags(written);
        QString problem = PreviewCheck::JoinProblem(result, written, pieces, m_settings.crossfade);
        if (problem.isEmpty())
            problem = ParallelWork::Commit(*m_joined, *m_joinedOutput);
        m_joinedOutput.reset();
        m_joined->made = problem.isEmpty();
        m_joined->reason = problem;
        m_joined->tagProblem = m_joined->made ? tags : QString();
        emit joinedReady();
        finish();
    });
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
