#include "batch/outputnames.h"

#include "platform/main.h"
#include "preview/previewcommands.h"
#include "preview/previewfiles.h"
#include "preview/previewmark.h"

void OutputNames::addSource(const QString &source)
{
    m_sourceKeys.insert(PreviewFiles::FileKeyIn(folderKey(Main::FolderOf(source)), source));
}

bool OutputNames::isSource(const QString &path)
{
    return m_sourceKeys.contains(PreviewFiles::FileKeyIn(folderKey(Main::FolderOf(path)), path));
}

QString OutputNames::claimFree(const QString &output)
{
    int number = m_freeNumbers.value(output, 1);
    const QString preview = PreviewCommands::FreePath(output, [this](const QString &path) {
        return m_namedKeys.contains(previewKey(path)) || isSource(path) || PreviewMark::IsUnmarkedFile(path);
    }, &number);
    if (number > 1)
        m_freeNumbers.insert(output, number);
    m_namedKeys.insert(previewKey(preview));
    return preview;
}

QString OutputNames::prepareFolder(const QString &folder, bool dryRun, QString &newFolder)
{
    if (m_readyFolders.contains(folder))
        return QString();
    if (!Main::FolderExists(folder)) {
        const QString problem = dryRun ? QString() : PreviewFiles::MakeFolders(folder);
        if (!problem.isEmpty())
            return problem;
        if (dryRun)
            newFolder = folder;
    }
    // Its parents are there too, once it is.
    for (QString ready = folder; !ready.isEmpty() && !m_readyFolders.contains(ready);
         ready = Main::FolderOf(ready.chopped(1)))
        m_readyFolders.insert(ready);
    return QString();
}

// A preview's key made from its folder's: unlike FileKey, it stays the same when the preview
// appears while the run goes on.
QString OutputNames::previewKey(const QString &path)
{
    return folderKey(Main::FolderOf(path)) + Main::FileNameOf(path);
}

// FileKey of the folder with a "/" at its end, taken once, as the folder was first seen:
// most files share a folder.
QString OutputNames::folderKey(const QString &folder)
{
    auto known = m_folderKeys.constFind(folder);
    if (known == m_folderKeys.cend()) {
        const QString key = PreviewFiles::FileKey(folder);
        known = m_folderKeys.insert(folder, key.endsWith(QLatin1Char('/')) ? key : key + QLatin1Char('/'));
    }
    return *known;
}
