#include "filelist/addfolder.h"

#include "app/prompts.h"

#include <QDir>

namespace AddFolder {

QString BrowseForFolder(Prompts &prompts, const QString &title, const QString &initialFolder)
{
    const QString chosen = prompts.browseForFolder(title, initialFolder);
    return chosen.isEmpty() ? QString() : QDir::cleanPath(chosen);
}

} // namespace AddFolder
