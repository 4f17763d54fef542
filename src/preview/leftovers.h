#pragma once
// What a killed run leaves behind, and how a later run tells it from the work of a run
// still going. The process that writes a hidden temporary file holds it under an advisory
// lock (flock), and one that keeps a private folder holds the lock file inside it; the
// kernel lets go of a lock when its process ends, however it ends. So a file or folder of
// these names that nobody holds locked is a leftover, and any run may remove it.

#include "preview/outputformat.h"

#include <QSet>
#include <QString>

#include <functional>

namespace Leftovers {

// The templates of the names (QTemporaryFile and QTemporaryDir fill in the X's): a hidden
// temporary file beside a preview, named as its format ends (".lumbrisk-XXXXXX.mp3"), a
// private folder under TEMP, and the lock file in it.
QString TemporaryFileName(const OutputFormat &format);
inline const QString WorkFolderName = QStringLiteral("lumbrisk-XXXXXX");
inline const QString LockFileName = QStringLiteral(".lumbrisk.lock");

// An exclusive advisory lock on a regular file, held while the object lives. Not held when
// another process holds it, the path no longer names the file that was locked (a sweep
// removed it meanwhile), or no lock can be had (the file system keeps none, say). The
// descriptor is closed on exec, so tools never hold it.
class Lock {
public:
    Lock() = default;
    explicit Lock(const QString &path);
    ~Lock();
    Lock(Lock &&other) noexcept;
    Lock &operator=(Lock &&other) noexcept;
    Lock(const Lock &) = delete;
    Lock &operator=(const Lock &) = delete;

    bool held() const { return m_descriptor >= 0; }
    // The file while it is this process's to use: held, or unlocked where no lock can be
    // had, as a sweep there leaves it alone too. "" when another process has it or it is gone.
    QString path() const { return m_path; }

private:
    void release();

    int m_descriptor = -1;
    QString m_path;
};

// Locks what make() makes: the path of a new file, or "" when it could not make one. A sweep
// by another run may take the new file for a leftover before it is locked; it is then gone,
// and make() is asked again, a few times.
Lock Claim(const std::function<QString()> &make);

// Removes the leftovers in the folders a run writes into: hidden temporary files and
// private folders that no process holds locked. Each folder is looked through the first time
// it is named, before the run writes there, so the run never takes its own files.
class Sweep {
public:
    void removeFrom(const QString &folder);

private:
    QSet<QString> m_swept; // the folders' names as given, and their keys
};

} // namespace Leftovers
