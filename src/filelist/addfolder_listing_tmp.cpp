// Stand-in for the folder listing until the folder-scan work lands; delete at that merge.
#include "filelist/addfolder.h"

#include <QDir>
#include <QFileInfo>

namespace AddFolder {

QStringList GetFilesInFolder(const QString &folder, const QString &pattern)
{
    QDir dir(folder);
    const QString filter = pattern == QLatin1String("*.*") ? QStringLiteral("*") : pattern;
    dir.setNameFilters({filter});
    QStringList names;
    for (const QString &name : dir.entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Unsorted)) {
        if (QFileInfo(dir.filePath(name)).isFile())
            names << name;
    }
    return names;
}

} // namespace AddFolder
