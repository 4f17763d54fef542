#pragma once
// Module SafeFiles: what a name holds before the program writes there or reads from it, and
// a write that replaces the name instead of writing through it. A name another user can
// point elsewhere (a link planted in a shared output folder, a FIFO, a device) must never
// make the program write over a file it did not mean to, nor read the system's own files.

#include <QByteArray>
#include <QString>

namespace SafeFiles {

// "" when the path names a regular file (through links) or nothing; else what it is, as a
// person reads it: "a folder", "a pipe (FIFO)", "a socket", "a device", or "a link to
// nothing" for a symbolic link whose target is not there, which a write would create.
QString OtherThanRegularFile(const QString &path);

// Writes the bytes to a new hidden file beside the path, then gives it the path's name in one
// rename: a symbolic link (or anything else) at the name is replaced, never written through,
// and a reader finds the earlier file or the new one whole. The file gets a new file's mode
// (0666 less the umask). "" when done; else why not ("the disk is full: ..." as
// OrFullDisk says), and nothing is left.
QString WriteReplacing(const QString &path, const QByteArray &bytes);

// "the disk is full: <folder> has N KB free" in place of the words of a failed write when the
// folder has almost no space left (under 1 MB); else the words. A write that fails on a full
// disk often comes back with no reason of its own ("Unknown error").
QString OrFullDisk(const QString &words, const QString &folder);

// True when the folder (or file) lies on one of the kernel's own file systems, /proc, /sys
// and their kind (devpts, debugfs, tracefs, cgroup, securityfs, ...), however it is reached:
// no user's files live there, and /proc/self/root leads back to the whole file system.
bool OnSystemFileSystem(const QByteArray &path);

} // namespace SafeFiles
