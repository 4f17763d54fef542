#pragma once
// The files around one preview: the check of a source before a tool reads it, the hidden
// file a tool writes before it takes the preview's name, and the private folder a run
// keeps its pieces and captures in. None needs the window or the job, so any front end
// that runs the tools itself (several at a time, say) uses the same ones.

#include "preview/leftovers.h"

#include <QString>
#include <QTemporaryDir>

#include <sys/types.h>
#include <optional>

namespace PreviewFiles {

// A stable name for a file, so that two spellings of one path compare equal: the canonical
// path of an existing file, else the cleaned absolute path.
QString FileKey(const QString &path);
// FileKey(path) for a path whose folder's key is known (folderKey, ending in "/"): one look
// at the file itself instead of resolving every folder of the path again. Only a regular
// file is named by its folder's key; a link (or anything else) is resolved in full.
QString FileKeyIn(const QString &folderKey, const QString &path);

// "" when a tool may read the source; otherwise why not. Folders, pipes, sockets and
// devices are refused (a tool reading a pipe may wait forever), and so are playlists (.m3u,
// .pls), which SoX would read as the files and addresses they list, the system's own files
// (/proc/self/environ through a link, say) and empty files; a missing file passes, so that
// the tool says in its own words that it is missing.
QString SourceProblem(const QString &sourcePath);

// Makes the folder and its parents, as mkdir -p does, with the mode new folders get (0777
// less the umask). "" when the folder is there; otherwise why it could not be made.
QString MakeFolders(const QString &folder);

// What a preview's name held when the run named the preview: the file the run may replace,
// an earlier run's preview. Whatever else holds the name later came while the run ran,
// from another run writing into the same folder, say.
class EarlierFile {
public:
    // Looks at the name now (one lstat).
    static EarlierFile At(const QString &path);
    // True when the name still holds that very file.
    bool isAt(const QString &path) const;

private:
    bool m_found = false;
    dev_t m_device = 0;
    ino_t m_inode = 0;
};

// A new, empty, hidden file ".lumbrisk-XXXXXX.mp3" (unique, mode 0600, ending as the final
// path does) in the folder of the final path, for a tool to write instead of the final file:
// SoX picks the format from the name's ending, and a rename within one folder replaces the final file in one step, so an
// earlier file of that name stays whole until the new one is known to be good.
// The file is removed when the object goes, unless it was committed; while the object
// lives, its process holds the file locked, so that no other run takes it for a leftover.
class TemporaryOutput {
public:
    // earlier: what the final name held when the run named it, the only file commit() replaces.
    TemporaryOutput(const QString &finalPath, const EarlierFile &earlier);
    ~TemporaryOutput();
    TemporaryOutput(const TemporaryOutput &) = delete;
    TemporaryOutput &operator=(const TemporaryOutput &) = delete;

    bool created() const { return !m_path.isEmpty(); }
    QString problem() const { return m_problem; } // why it could not be created
    QString path() const { return m_path; }       // absolute; "" when not created
    // After a commit, the name the file took.
    QString finalPath() const { return m_finalPath; }

    // Gives the file the mode a new file gets (0666 less the umask) and renames it to the
    // final path, replacing only the earlier file. When anything else holds the name by now,
    // the file takes the next free name ("<name> (2).mp3") instead, never replacing one.
    // "" on success; otherwise the reason, and the file is removed.
    QString commit();
    // Removes the file now (a failed or stopped run).
    void discard();

private:
    // Renames the file to its final name or the next free one; false with errno set.
    bool moveToFinalName();

    QString m_finalPath;
    EarlierFile m_earlier;
    QString m_path;
    QString m_problem;
    Leftovers::Lock m_lock;
};

// A private folder for one run (mode 0700, "lumbrisk-XXXXXX" under $TEMP or the system's
// temporary folder): the pieces of a join and the probe's capture live there, where no
// other user can plant or read a file. Removed with everything in it when the object goes.
// Its lock file is held locked meanwhile, so that no other run takes it for a leftover.
class WorkFolder {
public:
    WorkFolder();

    bool isValid() const { return !m_lock.path().isEmpty(); }
    QString problem() const; // why it could not be made
    QString path() const { return isValid() ? m_folder->path() : QString(); }
    // "<folder>/0001.mp3" for number 1 and MP3: the piece of the join's first entry.
    QString piecePath(int number, const OutputFormat &format) const;
    // Removes the folder now (a stopped run).
    void remove();

private:
    std::optional<QTemporaryDir> m_folder;
    Leftovers::Lock m_lock;
    QString m_problem;
};

} // namespace PreviewFiles
