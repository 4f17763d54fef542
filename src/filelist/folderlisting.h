#pragma once
// One read of a folder for the folder scan (AddFolder), and the facts about folders that the
// scan decides by: their identity (device and inode), the trash, the tops of mounts, and
// the system's own folders.

#include "filelist/addfolder.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QPair>
#include <QString>

#include <optional>

#include <sys/stat.h>

namespace FolderListing {

// A folder's device and inode: the same folder however it is reached.
using FolderId = QPair<quint64, quint64>;
FolderId IdOf(const struct stat &info);

// A subfolder as a listing finds it, before the walk decides whether to take it.
struct FolderEntry {
    QString name;
    FolderId id;
};

// A file or subfolder whose name is not valid UTF-8: it cannot be taken, only told of.
struct UndecodableEntry {
    QByteArray name;
    bool isFolder;
};

// One read of a folder: its regular files and its subfolders (through links), and apart
// from them those whose names are not valid UTF-8, each list in name order; without paths
// too long to open. Failure is 0 or the error number that ended the read (what was read
// before it stays).
struct Listing {
    QList<AddFolder::FileEntry> files;
    QList<FolderEntry> folders;
    QList<UndecodableEntry> undecodable;
    bool mountTop = false;
    int failure = 0;
    // The error number of the first entry that could not be looked up (a folder that may be
    // listed but not searched), other than a link to nothing or a loop of links; else 0.
    int lookupFailure = 0;
};

// Reads the folder; names in name order, as file managers show them.
Listing Read(const QByteArray &folder);

// A read that failed because the folder is not there or may not be read.
bool IsRefusedOrMissing(int failure);
// ".Trash" or ".Trash-<uid>".
bool IsTrashName(QStringView name);
// The user's own trash, $XDG_DATA_HOME/Trash; none when it does not exist.
std::optional<FolderId> HomeTrash();
// True when the folder open as fd is the top of a mount: its parent lies on another
// device, or it is its own parent (the root).
bool IsMountTop(int fd);
// The system's view of itself, not files of the user's, and endless to walk: /proc, /sys
// and /dev themselves, anything on /dev's own device, and anything on one of the kernel's
// own file systems (SafeFiles::OnSystemFileSystem), however reached: /proc/self, /proc/1
// or /sys/kernel through a link. Each device's file system is looked at once.
class SystemFolders {
public:
    // path: the folder's path, through links; id: its device and inode.
    bool contains(const QByteArray &path, const FolderId &id);

private:
    QHash<quint64, bool> m_devices; // whether each device seen holds a system file system
};

} // namespace FolderListing
