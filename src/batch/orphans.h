#pragma once
// Previews whose songs are gone: a song withdrawn from a catalogue leaves its preview, its
// waveform file and its place in a joined preview public until someone notices. Only a file
// whose mark says Lumbrisk made it is ever taken for one, so that nothing else is listed or
// removed.

#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

namespace Orphans {

struct Orphan {
    QString preview;      // the marked file
    QString source;       // what its mark says it was made of, now gone
    QStringList besides;  // its waveform files
    bool removed = false; // by --prune
    QString problem;      // why it could not be removed
};

// The marked MP3 files in the folders (and, with recursive, the folders below them; links to
// folders are not followed) whose recorded source is no longer there, in name order.
// `current` holds the keys (PreviewFiles::FileKey) of the files this run made or kept, which
// are never orphans.
QList<Orphan> Find(const QStringList &folders, bool recursive, const QSet<QString> &current);

// Removes the orphan and its waveform files; sets removed, or the problem.
void Remove(Orphan &orphan);

} // namespace Orphans
