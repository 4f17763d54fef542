#pragma once
// What a finished run finds of the previews whose songs are gone, in the folders it writes
// into (see Orphans): those proved gone, removed with --prune unless a dry run; those only in
// doubt, kept; and the folders the removed ones left empty.

#include "batch/orphans.h"
#include "preview/previewresult.h"
#include "preview/previewsettings.h"

#include <QList>
#include <QString>
#include <QStringList>

class Pruning {
public:
    // roots: the run's FOLDER arguments (absolute), below which alone a song can be found
    // gone; held, when not "", why --prune removes nothing this time (a folder that could not
    // be read).
    explicit Pruning(QStringList roots = {}, QString held = {});

    // Once the run is finished, of what it made or kept (results, and its joined files):
    // looks in the output folder (and, keeping the folders of the songs, those below it) or
    // else in the songs' folders; with settings.prune, and not held, removes the orphans.
    void find(const QList<PreviewResult> &results, const QList<PreviewResult> &joins,
              const PreviewSettings &settings, bool subfolders, bool dryRun);

    const QList<Orphans::Orphan> &orphans() const { return m_orphans; }
    // The marked files whose songs are not there but were not proved gone: kept.
    const QList<Orphans::Doubt> &doubts() const { return m_doubts; }
    const QString &held() const { return m_held; }
    // With settings.prune: the folders below the output folder that the orphans removed left
    // empty, removed too (in a dry run, that would be).
    const QStringList &emptiedFolders() const { return m_emptiedFolders; }

private:
    void remove(const QString &outputFolder, bool dryRun);

    QStringList m_roots;
    QString m_held;
    QList<Orphans::Orphan> m_orphans;
    QList<Orphans::Doubt> m_doubts;
    QStringList m_emptiedFolders;
};
