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

std::optional<QList<PreviewMark::Record>> ParallelPreviews::wantedSongs(const QList<int> &songs) const
{
    QList<PreviewMark::Record> records;
    for (const int index : songs) {
        const std::optional<PreviewMark::Record> &wanted = m_work[size_t(index)].file.wanted();
        if (!wanted)
            return std::nullopt;
        records.append(*wanted);
    }
    return records;
}

QStringList ParallelPreviews::sourcesOf(const QList<int> &songs) const
{
    QStringList sources;
    for (const int index : songs)
        sources.append(m_results[index].source);
    return sources;
}

std::optional<PreviewMark::Record> ParallelPreviews::wantedJoin(const QList<int> &songs) const
{
    const std::optional<QList<PreviewMark::Record>> records = wantedSongs(songs);
    if (!records)
        return std::nullopt;
    return PreviewRecord::WantedJoin(*records, sourcesOf(songs), m_settings.crossfade, m_settings.loudness);
}

QString ParallelPreviews::joinedMark(const QString &written) const
{
    const std::optional<PreviewMark::Record> record = wantedJoin(m_joinWork.songs);
    if (!record)
        return QString();
    QList<double> starts;
    for (const int index : std::as_const(m_joinWork.songs))
        starts.append(m_results[index].start.value_or(0));
    return PreviewRecord::JoinedMarkText(*record, *wantedSongs(m_joinWork.songs), starts, m_joined->loudness, written);
}

// By its songs and settings; failing that, by where its pieces were cut, once every song's
// start is known before any analysis: a start list that pins the starts a review approved
// remakes no sampler.
bool ParallelPreviews::joinStillMeets(const PreviewMark::Record &recorded, const QList<int> &songs) const
{
    const std::optional<QList<PreviewMark::Record>> records = wantedSongs(songs);
    if (!records)
        return false;
    const QStringList sources = sourcesOf(songs);
    if (recorded.meets(PreviewRecord::WantedJoin(*records, sources, m_settings.crossfade, m_settings.loudness)))
        return true;
    QList<double> starts;
    for (const int index : songs) {
        const std::optional<double> start = knownStart(index);
        if (!start)
            return false;
        starts.append(*start);
    }
    return recorded.meets(
        PreviewRecord::WantedCutJoin(*records, starts, sources, m_settings.crossfade, m_settings.loudness));
}

// The second its start rule asks for, or where its own preview that is up to date was cut.
std::optional<double> ParallelPreviews::knownStart(int index) const
{
    bool seconds = false;
    const double asked = m_work[size_t(index)].file.wanted()->value(QStringLiteral("start")).toDouble(&seconds);
    if (seconds)
        return asked;
    const std::optional<PreviewMark::Record> own = upToDateOwnPreview(index);
    return own ? std::optional(own->value(QStringLiteral("at")).toDouble()) : std::nullopt;
}

std::optional<PreviewMark::Record> ParallelPreviews::upToDateOwnPreview(int index) const
{
    const Work &work = m_work[size_t(index)];
    if (!work.file.wanted() || work.ownPreview.isEmpty())
        return std::nullopt;
    const std::optional<PreviewMark::Record> recorded = recordAt(work.ownPreview);
    if (!recorded || !work.file.keeps(*recorded, work.ownPreview))
        return std::nullopt;
    return recorded;
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
        if (recorded && joinStillMeets(*recorded, songs.at(number)) && PreviewRecord::IsWhole(joined, *recorded))
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
    settleKept(index, m_settings.reviewPage);
}

// A join at each song's own bit rate takes the rate of the first song probed, so another
// song's preview cannot stand in for its piece; nor can one that SoX cannot read.
void ParallelPreviews::takePieceIfUpToDate(int index)
{
    if (m_settings.kbps == 0 || &m_settings.format->joinPieces() != m_settings.format)
        return;
    const std::optional<PreviewMark::Record> recorded = upToDateOwnPreview(index);
    if (!recorded)
        return;
    Work &work = m_work[size_t(index)];
    Result &result = m_results[index];
    result.upToDate = true;
    result.pieceTaken = true;
    result.preview = work.ownPreview;
    takeRecorded(index, *recorded);
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

void ParallelPreviews::takeRecordedJoin(const PreviewMark::Record &recorded)
{
    m_joined->upToDate = true;
    if (m_settings.loudness)
        m_joined->loudness = PreviewRecord::RecordedLoudness(recorded, *m_settings.loudness);
    writeJoinedWaveform();
}
