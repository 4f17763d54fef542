// What an --update run keeps of a join, once every file is named: each joined file that
// KeptJoins finds up to date, or else each song's own preview that is, as its piece.
#include "batch/parallelpreviews.h"

#include "batch/keptjoins.h"

#include <QHash>

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
        const SongRun &song = m_songs[size_t(index)];
        return KeptJoins::Song{song.file(), m_results[index].source, song.ownPreview()};
    });
    m_keptJoins.resize(m_joinFolders.size());
    for (int number = 0; number < m_joinFolders.size(); ++number) {
        if (songs.at(number).isEmpty())
            continue;
        const QString joined = joinedPath(number);
        m_keptJoins[number] = kept.keptAt(joined, songs.at(number));
        for (const int index : songs.at(number)) {
            if (m_keptJoins.at(number))
                m_songs[size_t(index)].keepForJoin(joined);
            else
                m_songs[size_t(index)].takePieceIfUpToDate(kept);
        }
    }
}
