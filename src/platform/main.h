#pragma once
// Module Main: the small path and file routines every subsystem shares.
// Paths use "/" as separator; the routines keep their historic names.

#include <QByteArray>
#include <QString>

namespace Main {

// True when the path's modification time can be read (files and folders); false for "".
bool PathExists(const QString &path);
// True only for an existing directory; false when the path cannot be examined.
bool FolderExists(const QString &path);
// Text after the last "/"; the whole text when there is none.
QString FileNameOf(const QString &path);
// Text up to and including the last "/"; "" when there is none.
QString FolderOf(const QString &path);
// Text before the last dot when that dot stands after the first character; else unchanged.
QString StripExtension(const QString &path);
// Collapses "//" pairs left to right; a leading run of "/" becomes a single "/".
QString CollapseBackslashes(const QString &path);
// The path made absolute against the current folder; an absolute path stays as it is. A tool
// reads a name that begins with "|" as a command and one with "-" as an option, so every
// path handed to a tool goes through here first.
QString AbsolutePath(const QString &path);
// True for a regular file, also when reached through symbolic links; false for folders,
// pipes, sockets, devices and missing paths. A tool reading a pipe or device may wait forever.
bool IsRegularFile(const QString &path);
// Deletes a file, read-only ones too. Never fails, never reports; pumps events first.
void RemoveFile(const QString &path);
// Creates or empties the file and writes the text as its one line. Throws AppError on failure.
void WriteTextFile(const QString &text, const QString &path);
// Creates or empties the file and writes the bytes through to the disk. Throws AppError on failure.
void WriteBytes(const QByteArray &bytes, const QString &path);
// Writes the bytes unless something (even a folder) exists at the path. Throws AppError on failure.
void WriteBytesIfMissing(const QByteArray &bytes, const QString &path);
// Waits the given seconds on a monotonic clock while the window keeps handling events.
void WaitSeconds(double seconds);

} // namespace Main
