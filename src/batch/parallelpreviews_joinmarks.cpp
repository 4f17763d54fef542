// What an --update run keeps of a join, once every file is named: each joined file that
// KeptJoins finds up to date, or else each song's own preview that is, as its piece.
#include "batch/parallelwork.h"

#include "batch/keptjoins.h"

#include <QHash>

namespace {

// Half the hundredth of a decibel a mark records its figures to.
constexpr double RecordedRounding = 0.005;

} // namespace

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
    const KeptJoins kept(m_settings, [this](int index) {
        const Work &work = m_work[size_t(index)];
        return KeptJoins::Song{work.file, m_results[index].source, work.ownPreview};
    });
    m_keptJoins.resize(m_joinFolders.size());
    for (int number = 0; number < m_joinFolders.size(); ++number) {
        if (songs.at(number).isEmpty())
            continue;
        const QString joined = joinedPath(number);
        m_keptJoins[number] = kept.keptAt(joined, songs.at(number));
        for (const int index : songs.at(number)) {
            if (m_keptJoins.at(number))
                keepForJoin(index, joined);
            else
                takePieceIfUpToDate(index, kept);
        }
    }
}

void ParallelPreviews::keepForJoin(int index, const QString &joined)
{
    m_results[index].upToDate = true;
    m_results[index].preview = joined;
    settleKept(index, m_settings.reviewPage);
}

// A join at each song's own bit rate takes the rate of the first song probed, so another
// song's preview cannot stand in for its piece; nor can one that SoX cannot read.
void ParallelPreviews::takePieceIfUpToDate(int index, const KeptJoins &kept)
{
    if (m_settings.kbps == 0 || &m_settings.format->joinPieces() != m_settings.format)
        return;
    const std::optional<PreviewMark::Record> recorded = kept.upToDateOwnPreview(index);
    if (!recorded)
        return;
    Work &work = m_work[size_t(index)];
    Result &result = m_results[index];
    result.upToDate = true;
    result.pieceTaken = true;
    result.preview = work.ownPreview;
    result.takeRecorded(*recorded, m_cuts.duration(index), m_cuts.ownStart(index) != nullptr, m_settings.loudness);
    // Its gain was planned for one encoding; a piece's is for two, and the join makes up the
    // rest. The peak is recorded to the hundredth: one just under where it would hold the
    // piece back may read as on it, so it is taken at the lowest it may have been. A limited
    // preview is at the target already, its peaks at the ceiling: the source's peaks, which
    // the limiter took off, hold it back no more.
    if (result.loudness && !result.loudness->limited) {
        Loudness::Measurement measured = result.loudness->measured;
        measured.truePeak -= RecordedRounding;
        const Loudness::Adjustment piece =
            work.file.gainFor(measured, bitrateFor(index).toInt());
        work.pieceGain = piece.gain - result.loudness->gain;
        result.loudness = piece;
    }
    settleKept(index, m_settings.reviewPage);
}
