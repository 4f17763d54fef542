#pragma once
// Previews whose songs are gone: a song withdrawn from a catalogue leaves its preview, its
// waveform file and its place in a joined preview public until someone notices. Only a file
// whose mark says Lumbrisk made it is ever taken for one, so that nothing else is listed or
// removed, and only a song proved gone makes one: a share not mounted, a folder that cannot
// be read or a song recorded elsewhere is a doubt, and a doubt keeps the preview.

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

// A marked file whose song is not there, but not proved gone.
struct Doubt {
    QString preview;
    QString source;
    QString reason;       // why it cannot be told gone
    bool outside = false; // the song was recorded outside the run's FOLDER arguments
};

struct Found {
    QList<Orphan> orphans;
    QList<Doubt> doubts;
};

// The marked files of the preview formats in the folders (and, with recursive, the folders
// below them; links to folders are not followed) whose recorded source is gone, in name
// order. A source is gone only when it lies below one of roots (the run's FOLDER arguments,
// absolute), the nearest folder above it that is there can be read, and it is not there
// (ENOENT, and no link of its name); every other marked file whose source is not there is a
// doubt. `current` holds the keys (PreviewFiles::FileKey) of the files this run made or
// kept, which are neither.
Found Find(const QStringList &folders, bool recursive, const QSet<QString> &current, const QStringList &roots);

// Removes the orphan and its waveform files; sets removed, or the problem.
void Remove(Orphan &orphan);

// The folders below top (never top itself) that the removed orphans left empty, each ending
// in "/", deepest first: removed, and so each folder above that this leaves empty. A dry run
// removes nothing and gives the folders that the orphans' removal would leave empty.
QStringList RemoveEmptied(const QList<Orphan> &orphans, const QString &top, bool dryRun);

} // namespace Orphans
