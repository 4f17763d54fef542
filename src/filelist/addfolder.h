#pragma once
// Module AddFolder: the folder browser, the recursive folder scan and the file listing.
// Folder lists hold paths that end in "/"; nothing here sorts: every list keeps the order
// in which the file system gives its entries.

#include <QString>
#include <QStringList>

class Prompts;

namespace AddFolder {

// The attribute word of a path, from the file system's facts: hidden = the name begins
// with "."; system = never; directory = is a directory; archive = is a regular file;
// reparse point = is a symbolic link. 0 when nothing exists at the path.
enum Attribute { Hidden = 2, System = 4, Directory = 16, Archive = 32, ReparsePoint = 1024 };
int AttributeWord(const QString &path);

// The folder browser opened at the initial folder. The chosen folder without a trailing
// "/" (the root stays "/"), or "" when the user cancelled.
QString BrowseForFolder(Prompts &prompts, const QString &title, const QString &initialFolder);

// Appends to the folder list, in place, the folders below its folders, breadth first: the
// list's own folders, then every folder one level below them (grouped by parent), then
// two levels below, and so on. Only one level when recurse is false. Folders that cannot be
// listed (refused or missing) are dropped from the list without a message; each real folder
// is listed once, so a symbolic link back up the tree ends the descent. Pumps window events
// for every folder it examines.
void GetSubDirectories2016(Prompts &prompts, QStringList &folders, bool recurse);

// The names of the regular files (hidden ones too, never folders) in the folder whose names
// match the pattern: "*" any run of characters, "?" any one, case ignored, and "*.*" every
// name, also one without a dot. Empty when the folder cannot be listed.
QStringList GetFilesInFolder(const QString &folder, const QString &pattern);

// True when the path names an existing regular file (through symbolic links).
bool IsExistingFile(const QString &path);

// True when the folder name holds a code point below 32, from 127 to 159, or "?".
bool HasBadChars(const QString &name);

// The rows that adding a folder list gives: for each folder in order, its files matching the
// pattern, without names beginning with "~" and plain hidden files (attribute word 34), each
// path cleaned by Main::CollapseBackslashes.
QStringList FilesOfFolders(const QStringList &folders, const QString &pattern);

// The rows that adding a folder with all folders below it gives (a scan, then FilesOfFolders).
QStringList ScanFolder(Prompts &prompts, const QString &folder, const QString &pattern);

} // namespace AddFolder
