// The join: once every song is done, the pieces of each joined file are handed to its
// JoinedFile, which makes it with the batch's tools and threads; with subfolders, one file in
// each, one after another.
#include "batch/parallelwork.h"

#include "platform/main.h"
#include "preview/outputformat.h"

bool ParallelPreviews::ofJoin(int index, int number) const
{
    return m_joinFolders.size() == 1 || m_subfolders.value(index) == m_joinFolders.at(number);
}

QList<JoinedFile::Piece> ParallelPreviews::piecesOf(int number) const
{
    QList<JoinedFile::Piece> pieces;
    for (int index = 0; index < total(); ++index) {
        const Result &result = m_results[index];
        if (!ofJoin(index, number) || !(result.made || result.pieceTaken || (m_dryRun && result.reason.isEmpty())))
            continue;
        JoinedFile::Piece piece;
        piece.source = result.source;
        piece.path = result.preview;
        // A dry run has no pieces yet: each is planned to last its duration.
        const bool planned = m_dryRun && !result.pieceTaken;
        piece.seconds = planned ? m_cuts.duration(index)
                                : OutputFormat::OfPreview(result.preview).soxSeconds(result.preview).value_or(0);
        piece.gain = m_work[size_t(index)].pieceGain;
        piece.taken = result.pieceTaken;
        piece.start = result.start.value_or(0);
        piece.wanted = m_work[size_t(index)].file.wanted();
        pieces.append(piece);
    }
    return pieces;
}

// Its tools run in the pool and its measuring and limiting on the analyses' threads, counted
// among the jobs.
JoinedFile::Run ParallelPreviews::joinRun()
{
    JoinedFile::Run run;
    run.launch = [this](const ToolRun &tool, const RunEnded &ended) {
        launch(tool.tool, [ended](const Shell32::RunResult &result) { ended(result, std::nullopt); }, -1, tool.decoder,
               tool.samples, tool.encoder);
    };
    run.background = [this](std::function<Later()> work) { onThread(-1, std::move(work)); };
    run.ended = [this] { endJoin(); };
    return run;
}

void ParallelPreviews::join()
{
    const std::optional<PreviewMark::Record> kept = m_keptJoins.value(m_joinNumber);
    m_joinedFile = std::make_unique<JoinedFile>(m_tools, m_settings, *m_joined,
                                                kept ? QList<JoinedFile::Piece>() : piecesOf(m_joinNumber),
                                                bitrateFor(0), joinRun());
    if (kept) {
        m_joinedFile->takeRecorded(*kept, m_dryRun);
        return endJoin();
    }
    m_joined->reason = m_joinedFile->refusal(m_names.isSource(m_joined->preview));
    if (m_joined->reason.isEmpty())
        m_joined->reason = prepareFolder(*m_joined);
    if (!m_joined->reason.isEmpty() || m_dryRun) {
        if (m_dryRun && m_joined->reason.isEmpty())
            m_joinedFile->plan();
        return endJoin();
    }
    m_sweep.removeFrom(Main::FolderOf(m_joined->preview));
    m_joinedFile->make(m_joinsEarlier.at(m_joinNumber));
}

QString ParallelPreviews::pieceFolder() const
{
    return m_workFolder ? m_workFolder->path() : QString();
}

QString ParallelPreviews::joinedPath(int number) const
{
    const QString folder = m_settings.outputFolder.isEmpty() && total() > 0 ? Main::FolderOf(m_results.first().source)
                                                                           : m_settings.outputFolder;
    return JoinedFile::PathIn(folder + QLatin1Char('/') + m_joinFolders.at(number), *m_settings.format);
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
