#pragma once
// Runs into one output folder take turns: each holds an advisory lock (flock) on a hidden
// file in the folder from its start to its end, and the next waits for it (beside the songs,
// in each folder the run was given). Overlapping
// nightly runs so never make one preview twice, nor prune beside each other. The kernel lets
// go of the lock however a run ends; the file goes with the run that holds it last.
// A run that had to wait knows which files were there when it began: one saved while it
// waited is the other run's, never an earlier run's that it may replace.

#include "preview/previewfiles.h"
#include <QString>

#include <functional>
#include <optional>
#include <set>
#include <tuple>

namespace RunTurn {

// The lock's name in the output folder: hidden, and no name a sweep of leftovers removes.
inline const QString LockFileName = QStringLiteral(".lumbrisk-run.lock");

// The files of the preview formats (OutputFormat) a folder held at a moment, each as the very
// file it was then.
class FilesAtStart {
public:
    // None looked at: every file counts as there at the start.
    FilesAtStart() = default;
    // Looks at those files in the folder, and with recursive below it, now; a folder that is
    // not there holds none.
    void add(const QString &folder, bool recursive);
    bool taken() const { return m_files.has_value(); }
    // True when the path holds a file that was there, unchanged, when this was taken.
    bool wasThere(const QString &path) const;
    // What the path holds now, when that was there: the only file a preview made there replaces.
    PreviewFiles::EarlierFile earlierAt(const QString &path) const
    {
        return wasThere(path) ? PreviewFiles::EarlierFile::At(path) : PreviewFiles::EarlierFile();
    }

private:
    using Key = std::tuple<quint64, quint64, qint64, qint64>; // device, inode, change time
    static std::optional<Key> keyOf(const QString &path);
    std::optional<std::set<Key>> m_files;
};

// The run's turn on a folder, held while the object lives.
class Turn {
public:
    Turn() = default;
    ~Turn();
    Turn(Turn &&other) noexcept;
    Turn &operator=(Turn &&other) noexcept;
    Turn(const Turn &) = delete;
    Turn &operator=(const Turn &) = delete;

    // Takes the turn on the folder, waiting as long as another run holds it: waiting is
    // called once, before the wait; stopped is asked every tenth of a second, and ends the wait.
    static Turn Take(const QString &folder, const std::function<void()> &waiting, const std::function<bool()> &stopped);
    bool held() const { return m_descriptor >= 0; }
    // Why no turn could be taken: the folder keeps no lock (a file system without locks) or
    // its lock file cannot be made; "" when held, or when stopped.
    QString problem() const { return m_problem; }

private:
    void release();

    int m_descriptor = -1;
    QString m_path;
    QString m_problem;
};

} // namespace RunTurn
