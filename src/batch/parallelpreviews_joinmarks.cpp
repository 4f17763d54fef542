// What a joined file records of what it is made of (its mark), and what an --update run keeps
// of a join: a joined file whose mark meets what the run would join, and which is whole, is
// kept, and none of its songs is looked into or cut. Of one made again, a song whose own
// preview (where a run without the join puts it) is up to date gives that preview as its
// piece, as it is: a shop that makes the previews and then the samplers of the same songs
// with the same settings has each song analysed once.
#include "batch/parallelwork.h"

#include <QHash>

namespace {

// Half the hundredth of a decibel a mark records its figures to.
constexpr double RecordedRounding = 0.005;

std::optional<PreviewMark::Record> recordAt(const QString &path)
{
    const std::optional<QString> text = PreviewMark::Read(path);
    return text ? PreviewMark::Record::Parse(*text) : std::nullopt;
}

} // namespace

std::optional<PreviewMark::Record> ParallelPreviews::wantedJoin(const QList<int> &songs) const
{
    QList<PreviewMark::Record> records;
    QStringList sources;
    for (const int index : songs) {
        const std::optional<PreviewMark::Record> &wanted = m_work[size_t(index)].wanted;
        if (!wanted)
            return std::nullopt;
        records.append(*wanted);
        sources.append(m_results[index].source);
    }
    return PreviewRecord::WantedJoin(records, sources, m_settings.crossfade, m_settings.loudness);
}

QString ParallelPreviews::joinedMark(const QString &written) const
{
    const std::optional<PreviewMark::Record> record = wantedJoin(m_joinWork.songs);
    return record ? PreviewRecord::JoinedMarkText(*record, m_joined->loudness, written) : QString();
}

void ParallelPreviews::keepJoinsUpToDate()
{
    QHash<QString, int> numbers;
    for (int number = 0; number < m_joinFolders.size(); ++number)
        numbers.insert(m_joinFolders.at(number), number);
    // One pass over the list, not one per folder: a catalogue has thousands of albums.
    QList<QList<int>> songs(m_joinFolders.size());
    for (int index = 0; index < total(); ++index) {
        if (m_results[index].reason.isEmpty())
            songs[m_joinFolders.size() == 1 ? 0 : numbers.value(m_subfolders.value(index))].append(index);
    }
    m_keptJoins.resize(m_joinFolders.size());
    for (int number = 0; number < m_joinFolders.size(); ++number) {
        if (songs.at(number).isEmpty())
            continue;
        const QString joined = joinedPath(number);
        const std::optional<PreviewMark::Record> recorded = recordAt(joined);
        const std::optional<PreviewMark::Record> wanted = wantedJoin(songs.at(number));
        if (recorded && wanted && recorded->meets(*wanted) && PreviewRecord::IsWhole(joined, *recorded))
            m_keptJoins[number] = recorded;
        for (const int index : songs.at(number)) {
            if (m_keptJoins.at(number))
                keepForJoin(index, joined);
            else
                takePieceIfUpToDate(index);
        }
    }
}

void ParallelPreviews::keepForJoin(int index, const QString &joined)
{
    m_results[index].upToDate = true;
    m_results[index].preview = joined;
    settleKept(index, m_settings.songPictures);
}

// A join at each song's own bit rate takes the rate of the first song probed, so another
// song's preview cannot stand in for its piece.
void ParallelPreviews::takePieceIfUpToDate(int index)
{
    Work &work = m_work[size_t(index)];
    if (m_settings.kbps == 0 || !work.wanted || work.ownPreview.isEmpty())
        return;
    const std::optional<PreviewMark::Record> recorded = recordAt(work.ownPreview);
    if (!recorded || !recorded->meets(*work.wanted) || !PreviewRecord::IsWhole(work.ownPreview, *recorded))
        return;
    Result &result = m_results[index];
    result.upToDate = true;
    result.pieceTaken = true;
    result.preview = work.ownPreview;
    takeRecorded(index, *recorded);
    // Its gain was planned for one encoding; a piece's is for two, and the join makes up the
    // rest. The peak is recorded to the hundredth: one just under where it would hold the
    // piece back may read as on it, so it is taken at the lowest it may have been.
    if (result.loudness) {
        Loudness::Measurement measured = result.loudness->measured;
        measured.truePeak -= RecordedRounding;
        const Loudness::Adjustment piece =
            m_loudness.gainFor(measured, bitrateFor(index).toInt());
        work.pieceGain = piece.gain - result.loudness->gain;
        result.loudness = piece;
    }
    settleKept(index, m_settings.songPictures);
}

void ParallelPreviews::takeRecordedJoin(const PreviewMark::Record &recorded)
{
    m_joined->upToDate = true;
    if (m_settings.loudness)
        m_joined->loudness = PreviewRecord::RecordedLoudness(recorded, *m_settings.loudness);
    writeJoinedWaveform();
}
