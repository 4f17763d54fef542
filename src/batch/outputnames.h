#pragma once
// The names a batch gives its previews: which paths are sources of the list, which preview
// names are taken, the next free number per name, and the folders known to be there.

#include <QHash>
#include <QSet>
#include <QString>

class OutputNames {
public:
    // Before any name is given: every source of the list.
    void addSource(const QString &source);
    bool isSource(const QString &path);
    // output, or its first free numbered name: not named yet in this run, not a source, and
    // not held by a file without Lumbrisk's mark (PreviewMark::IsUnmarkedFile).
    QString claimFree(const QString &output);
    // "" when folder is there or was made; else why not. A dry run makes nothing and sets
    // newFolder to the folder instead, the first time it is needed.
    QString prepareFolder(const QString &folder, bool dryRun, QString &newFolder);

private:
    QString previewKey(const QString &path);
    QString folderKey(const QString &folder);

    QSet<QString> m_sourceKeys;
    QSet<QString> m_namedKeys;            // the previews named so far, by previewKey()
    QHash<QString, QString> m_folderKeys; // see folderKey()
    QHash<QString, int> m_freeNumbers;    // per preview name found taken: the number of its last free name
    QSet<QString> m_readyFolders; // known to be there (or, in a dry run, to be made by then)
};
