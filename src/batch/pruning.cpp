#include "batch/pruning.h"

#include "platform/main.h"
#include "preview/previewfiles.h"

#include <QSet>

Pruning::Pruning(QStringList roots, QString held) : m_roots(std::move(roots)), m_held(std::move(held)) {}

void Pruning::find(const QList<PreviewResult> &results, const QList<PreviewResult> &joins,
                   const PreviewSettings &settings, bool subfolders, bool dryRun)
{
    const QString &outputFolder = settings.outputFolder;
    QSet<QString> current;
    QStringList folders;
    for (const QList<PreviewResult> &list : {results, joins}) {
        for (const PreviewResult &result : list) {
            if (result.made || result.upToDate || (dryRun && result.reason.isEmpty()))
                current.insert(PreviewFiles::FileKey(result.preview));
            if (outputFolder.isEmpty() && !result.source.isEmpty())
                folders.append(Main::FolderOf(result.source));
        }
    }
    if (!outputFolder.isEmpty())
        folders = QStringList{outputFolder};
    folders.removeDuplicates();
    Orphans::Found found = Orphans::Find(folders, !outputFolder.isEmpty() && subfolders, current, m_roots);
    m_orphans = std::move(found.orphans);
    m_doubts = std::move(found.doubts);
    if (settings.prune && m_held.isEmpty())
        remove(outputFolder, dryRun);
}

void Pruning::remove(const QString &outputFolder, bool dryRun)
{
    if (!dryRun) {
        for (Orphans::Orphan &orphan : m_orphans)
            Orphans::Remove(orphan);
    }
    // A withdrawn album leaves no empty folder behind; beside the songs, their folders are not ours.
    if (!outputFolder.isEmpty())
        m_emptiedFolders = Orphans::RemoveEmptied(m_orphans, outputFolder, dryRun);
}
