#pragma once
// Module AddFolder: the folder browser, the recursive folder scan and the file listing.

#include <QString>

class Prompts;

namespace AddFolder {

// The folder browser opened at the initial folder. The chosen folder without a trailing
// "/" (the root stays "/"), or "" when the user cancelled.
QString BrowseForFolder(Prompts &prompts, const QString &title, const QString &initialFolder);

} // namespace AddFolder
