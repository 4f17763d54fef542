#pragma once
// Module AddFolder: the folder browser, the recursive folder scan and the file listing.

#include <QString>
#include <QStringList>

class Prompts;

namespace AddFolder {

// The folder browser opened at the initial folder. The chosen folder without a trailing
// "/" (the root stays "/"), or "" when the user cancelled.
QString BrowseForFolder(Prompts &prompts, const QString &title, const QString &initialFolder);

// The names (without folder) of the regular and hidden files of a folder that match the
// pattern, in listing order; no folders. "*.*" matches every name, with or without a dot.
QStringList GetFilesInFolder(const QString &folder, const QString &pattern);

} // namespace AddFolder
