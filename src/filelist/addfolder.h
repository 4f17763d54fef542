#pragma once
// Module AddFolder: the folder browser, the recursive folder scan and the file listing.
// Folder lists hold paths that end in "/". Every folder is listed in name order, as file
// managers show it (FileNames::NaturalOrder), not in the file system's own (hash) order,
// which would scramble an album.

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

class Prompts;

namespace AddFolder {

// The attribute word of a path, from the file system's facts: hidden = the name begins
// with "."; system = never, except the trash folders, which count as hidden and system;
// directory = is a directory; archive = is a regular file; reparse point = is a symbolic
// link. 0 when nothing exists at the path.
enum Attribute { Hidden = 2, System = 4, Directory = 16, Archive = 32, ReparsePoint = 1024 };
int AttributeWord(const QString &path);

// True for the desktop's trash folders: $XDG_DATA_HOME/Trash, and ".Trash" or
// ".Trash-<uid>" at the top of a mount.
bool IsTrashFolder(const QString &path);

// The folder browser opened at the initial folder. The chosen folder without a trailing
// "/" (the root stays "/"), or "" when the user cancelled.
QString BrowseForFolder(Prompts &prompts, const QString &title, const QString &initialFolder);

// A file as a folder's listing gives it.
struct FileEntry {
    QString name;
    bool plainHidden; // attribute word exactly hidden and archive: a dot-named regular file
};
// Called for each folder of the list in the list's final order, as the scan reaches it,
// with the regular files directly in it (through links), in name order.
using FolderVisit = std::function<void(const QString &folder, const QList<FileEntry> &files)>;
// Called, in name order, for each entry of a listed folder that is left out because its name
// is not valid UTF-8: its files, and its subfolders when the folder is searched.
using NameLeftOut = std::function<void(const QString &folder, const QByteArray &name, bool isFolder)>;
// Asked before each folder is read: true ends the scan there, with what it has so far (a
// front end that was told to stop).
using Stopped = std::function<bool()>;
// Called for each folder of the list that exists but could not be read whole: not listed,
// listed only in part, or not searched (its files cannot be opened), with the error number.
// The lost+found of a mount, which only its system may read, is not told.
using Refused = std::function<void(const QString &folder, int error)>;

// Appends to the folder list, in place, the folders below its folders, breadth first: the
// list's own folders, then every folder one level below them (grouped by parent, each group
// in name order), then two levels below, and so on. Only one level when recurse is false. Folders that cannot be
// listed (refused or missing) are dropped from the list without a message; each real folder
// (by its device and inode) is listed once, so a symbolic link back up the tree ends the
// descent. Left out, with everything below them, given folders too: /proc, /sys, /dev and
// every folder on the kernel's own file systems, however reached (a link to /proc/self, to
// /sys/kernel, or to "/"), trash folders, names that are not valid UTF-8 or hold control
// characters, and paths of 4096 bytes or more, which the system cannot open. Each folder is
// read once; visit, when given, sees its files, and leftOut its names that are not valid
// UTF-8. Lets pending window events run every few milliseconds.
void GetSubDirectories2016(Prompts &prompts, QStringList &folders, bool recurse,
                           const FolderVisit &visit = {}, const NameLeftOut &leftOut = {},
                           const Stopped &stopped = {}, const Refused &refused = {});

// The names of the regular files (hidden ones too, never folders nor pipes or devices) in
// the folder whose names match the pattern: "*" any run of characters, "?" any one, case
// ignored, and "*.*" every name, also one without a dot; in name order. Names that are not
// valid UTF-8 are left out. Empty when the folder cannot be listed.
QStringList GetFilesInFolder(const QString &folder, const QString &pattern);

// True when the path names an existing regular file (through symbolic links).
bool IsExistingFile(const QString &path);

// True when the folder name holds a code point below 32 or from 127 to 159.
bool HasBadChars(const QString &name);

// The extension as the user may type it (" MP3 ", ".mp3", "*.mp3") read as the bare
// extension ("MP3", "mp3"); "*" stays "*", every file. "" when nothing is left.
QString ExtensionOf(const QString &typed);
// A comma list of extensions ("mp3, .flac,m4a"), each read as ExtensionOf reads one; "" for
// an item with nothing left in it.
QStringList ExtensionsOf(const QString &typed);
// The file-name pattern of an extension: "*." followed by it ("*.*" for "*").
QString PatternOf(const QString &extension);
// The pattern of any of several extensions: their patterns joined by "/", which no file name
// holds, so a single extension's pattern means what it always meant.
QString PatternOfAny(const QStringList &extensions);

// Called with the rows of each folder, in order, as soon as the scan has them.
using RowsFound = std::function<void(const QStringList &rows)>;

// The rows that adding a folder with all folders below it gives: for each folder of
// GetSubDirectories2016's list in order, its files matching the pattern, without names
// beginning with "~" and plain hidden files, each path cleaned by Main::CollapseBackslashes.
// Also for a front end without a window: ScanFolder(prompts, "/music", PatternOf("mp3")).
// leftOut, when given, gains the cleaned full path (as bytes) of every file that would have
// been a row and of every folder (ending in "/", not searched) whose name is not valid UTF-8.
QStringList ScanFolder(Prompts &prompts, const QString &folder, const QString &pattern,
                       const RowsFound &rowsFound = {}, QList<QByteArray> *leftOut = nullptr,
                       const Stopped &stopped = {}, const Refused &refused = {});
// The folder of a row of ScanFolder(prompts, folder, ...) below that folder: "" for its own
// files, "Album 1/" for a file in "<folder>/Album 1".
QString FolderBelow(const QString &folder, const QString &row);

} // namespace AddFolder
