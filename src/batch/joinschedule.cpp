#include "batch/joinschedule.h"

#include "platform/main.h"
#include "preview/outputformat.h"

JoinSchedule::JoinSchedule(const BatchRun &batch, std::vector<SongRun> &songs, std::function<void()> told,
                           std::function<void()> ended)
    : m_batch(batch), m_songs(songs), m_told(std::move(told)), m_ended(std::move(ended))
{
}

void JoinSchedule::begin()
{
    const bool perFolder = !m_batch.settings.outputFolder.isEmpty() && !m_batch.subfolders.isEmpty();
    m_folders = perFolder ? QStringList(m_batch.subfolders) : QStringList{QString()};
    m_folders.removeDuplicates();
    for (int number = 0; number < m_folders.size(); ++number)
        m_earlier.append(m_batch.filesAtStart.earlierAt(joinedPath(number)));
    beginJoin(0);
}

bool JoinSchedule::due() const
{
    return m_joined && !m_joined->command && m_joined->reason.isEmpty();
}

bool JoinSchedule::ofJoin(int index, int number) const
{
    return m_folders.size() == 1 || m_batch.subfolders.value(index) == m_folders.at(number);
}

QList<JoinedFile::Piece> JoinSchedule::piecesOf(int number) const
{
    const bool dryRun = m_batch.dryRun;
    QList<JoinedFile::Piece> pieces;
    for (int index = 0; index < m_batch.results.size(); ++index) {
        const PreviewResult &result = m_batch.results.at(index);
        if (!ofJoin(index, number) || !(result.made || result.pieceTaken || (dryRun && result.reason.isEmpty())))
            continue;
        JoinedFile::Piece piece;
        piece.source = result.source;
        piece.path = result.preview;
        // A dry run has no pieces yet: each is planned to last its duration.
        const bool planned = dryRun && !result.pieceTaken;
        piece.seconds = planned ? m_batch.cuts.duration(index)
                                : OutputFormat::OfPreview(result.preview).soxSeconds(result.preview).value_or(0);
        piece.gain = m_songs[size_t(index)].pieceGain();
        piece.taken = result.pieceTaken;
        piece.start = result.start.value_or(0);
        piece.wanted = m_songs[size_t(index)].file().wanted();
        pieces.append(piece);
    }
    return pieces;
}

// Its tools run in the pool and its measuring and limiting on the analyses' threads, counted
// among the jobs.
JoinedFile::Run JoinSchedule::joinRun()
{
    JoinedFile::Run run;
    run.launch = [this](const ToolRun &tool, const RunEnded &ended) {
        m_batch.launch(tool, [ended](const Shell32::RunResult &result) { ended(result, std::nullopt); }, -1);
    };
    run.background = [this](std::function<JoinedFile::Later()> work) { m_batch.onThread(-1, std::move(work)); };
    run.ended = [this] { endJoin(); };
    return run;
}

void JoinSchedule::join()
{
    const std::optional<PreviewMark::Record> kept = m_kept.value(m_number);
    m_joinedFile = std::make_unique<JoinedFile>(m_batch.tools, m_batch.settings, *m_joined,
                                                kept ? QList<JoinedFile::Piece>() : piecesOf(m_number),
                                                m_batch.bitrate(QString()), joinRun());
    if (kept) {
        m_joinedFile->takeRecorded(*kept, m_batch.dryRun);
        return endJoin();
    }
    m_joined->reason = m_joinedFile->refusal(m_batch.names.isSource(m_joined->preview));
    if (m_joined->reason.isEmpty())
        m_joined->reason = m_batch.prepareFolder(*m_joined);
    if (!m_joined->reason.isEmpty() || m_batch.dryRun) {
        if (m_batch.dryRun && m_joined->reason.isEmpty())
            m_joinedFile->plan();
        return endJoin();
    }
    m_batch.sweep.removeFrom(Main::FolderOf(m_joined->preview));
    m_joinedFile->make(m_earlier.at(m_number));
}

void JoinSchedule::abandon()
{
    m_joinedFile.reset();
}

QString JoinSchedule::pieceFolder() const
{
    return m_batch.workFolder ? m_batch.workFolder->path() : QString();
}

QString JoinSchedule::joinedPath(int number) const
{
    const PreviewSettings &settings = m_batch.settings;
    const QString folder = settings.outputFolder.isEmpty() && !m_batch.results.isEmpty()
                               ? Main::FolderOf(m_batch.results.first().source)
                               : settings.outputFolder;
    return JoinedFile::PathIn(folder + QLatin1Char('/') + m_folders.at(number), *settings.format);
}

void JoinSchedule::beginJoin(int number)
{
    m_number = number;
    PreviewResult joined;
    joined.preview = joinedPath(number);
    m_joined = joined;
}

void JoinSchedule::endJoin()
{
    m_joins.append(*m_joined);
    m_told();
    if (m_batch.stopped || m_number + 1 >= m_folders.size())
        return m_ended();
    beginJoin(m_number + 1);
    join();
}
