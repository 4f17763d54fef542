// What an --update run keeps of a join, once every song is named: each joined file that
// KeptJoins finds up to date, or else each song's own preview that is, as its piece.
#include "batch/joinschedule.h"

#include "batch/keptjoins.h"

#include <QHash>

void JoinSchedule::keepUpToDate()
{
    QHash<QString, int> numbers;
    for (int number = 0; number < m_folders.size(); ++number)
        numbers.insert(m_folders.at(number), number);
    // One pass over the list, not one per folder: a catalogue has thousands of albums.
    QList<QList<int>> songs(m_folders.size());
    for (int index = 0; index < m_batch.results.size(); ++index) {
        if (m_batch.results.at(index).reason.isEmpty())
            songs[m_folders.size() == 1 ? 0 : numbers.value(m_batch.subfolders.value(index))].append(index);
    }
    const KeptJoins kept(m_batch.settings, [this](int index) {
        const SongRun &song = m_songs[size_t(index)];
        return KeptJoins::Song{song.file(), m_batch.results.at(index).source, song.ownPreview()};
    });
    m_kept.resize(m_folders.size());
    for (int number = 0; number < m_folders.size(); ++number) {
        if (songs.at(number).isEmpty())
            continue;
        const QString joined = joinedPath(number);
        m_kept[number] = kept.keptAt(joined, songs.at(number));
        for (const int index : songs.at(number)) {
            if (m_kept.at(number))
                m_songs[size_t(index)].keepForJoin(joined);
            else
                m_songs[size_t(index)].takePieceIfUpToDate(kept);
        }
    }
}
