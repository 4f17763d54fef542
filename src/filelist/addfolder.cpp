#include "filelist/addfolder.h"

#include "platform/errorreport.h"
#include "platform/filenames.h"
#include "platform/main.h"
#include "platform/prompts.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace AddFolder {

namespace {

// Linux's own limit: a path the system can open is shorter than 4096 bytes (its limit of
// 255 bytes per name holds for every name a listing gives).
constexpr qsizetype MaxPathBytes = 4096;
// Pending window events run this often during a scan, and at its start.
constexpr qint64 PumpEveryMs = 15;

using FolderId = QPair<quint64, quint64>;

FolderId idOf(const struct stat &info)
{
    return {quint64(info.st_dev), quint64(info.st_ino)};
}

QString withoutTrailingSeparators(QString path)
{
    while (path.size() > 1 && path.endsWith(QLatin1Char('/')))
        path.chop(1);
    return path;
}

bool isRoot(const QString &folder)
{
    return !folder.isEmpty() && folder.count(QLatin1Char('/')) == folder.size();
}

// Hidden system folders (the trash) are neither searched nor added; a root always is.
bool isLeftOut(const QString &folder)
{
    if (isRoot(folder))
        return false;
    const int word = AttributeWord(folder);
    return word == (Hidden | System | Directory) || word == (Hidden | System | Directory | ReparsePoint);
}

bool isRefusedOrMissing(int failure)
{
    return failure == EACCES || failure == EPERM || failure == ENOENT || failure == ENOTDIR;
}

bool isTrashName(QStringView name)
{
    if (name == u".Trash")
        return true;
    if (!name.startsWith(u".Trash-") || name.size() == 7)
        return false;
    for (const QChar c : name.mid(7)) {
        if (!c.isDigit())
            return false;
    }
    return true;
}

// The user's own trash, $XDG_DATA_HOME/Trash; none when it does not exist.
std::optional<FolderId> homeTrash()
{
    const QString trash = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/Trash");
    struct stat info {};
    if (stat(QFile::encodeName(trash).constData(), &info) != 0)
        return std::nullopt;
    return idOf(info);
}

// True when the folder open as fd is the top of a mount: its parent lies on another
// device, or it is its own parent (the root).
bool isMountTop(int fd)
{
    struct stat self {}, parent {};
    if (fstat(fd, &self) != 0 || fstatat(fd, "..", &parent, 0) != 0)
        return false;
    return self.st_dev != parent.st_dev || self.st_ino == parent.st_ino;
}

// Wildcards of file names: "*" any run, "?" any one character, case ignored; "*.*" is "*";
// "/" between patterns matches a name that any of them matches.
class Wildcard {
public:
    explicit Wildcard(const QString &pattern)
    {
        QStringList alternatives;
        for (const QString &part : pattern.split(QLatin1Char('/'))) {
            const QString effective = part == QLatin1String("*.*") ? QStringLiteral("*") : part;
            m_everything = m_everything || effective == QLatin1String("*");
            QString expression;
            for (const QChar c : effective) {
                if (c == QLatin1Char('*'))
                    expression += QStringLiteral(".*");
                else if (c == QLatin1Char('?'))
                    expression += QLatin1Char('.');
                else
                    expression += QRegularExpression::escape(QString(c));
            }
            alternatives.append(expression);
        }
        m_expression.setPattern(QRegularExpression::anchoredPattern(alternatives.join(QLatin1Char('|'))));
        m_expression.setPatternOptions(QRegularExpression::CaseInsensitiveOption
                                       | QRegularExpression::DotMatchesEverythingOption);
    }
    bool matches(const QString &name) const { return m_everything || m_expression.match(name).hasMatch(); }

private:
    bool m_everything = false;
    QRegularExpression m_expression;
};

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
    QList<FileEntry> files;
    QList<FolderEntry> folders;
    QList<UndecodableEntry> undecodable;
    bool mountTop = false;
    int failure = 0;
};

// Sorts the entries by the names that name gives, as file managers show them.
template <typename Entry, typename Name>
void sortByName(QList<Entry> &entries, const Name &name)
{
    QStringList names;
    names.reserve(entries.size());
    for (const Entry &entry : std::as_const(entries))
        names.append(name(entry));
    QList<Entry> sorted;
    sorted.reserve(entries.size());
    for (const qsizetype index : FileNames::NaturalOrder(names))
        sorted.append(std::move(entries[index]));
    entries = std::move(sorted);
}

void sortByName(Listing &listing)
{
    sortByName(listing.files, [](const FileEntry &entry) { return entry.name; });
    sortByName(listing.folders, [](const FolderEntry &entry) { return entry.name; });
    sortByName(listing.undecodable, [](const UndecodableEntry &entry) { return QString::fromUtf8(entry.name); });
}

Listing readFolder(const QByteArray &folder)
{
    Listing listing;
    const int fd = open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR *dir = fd < 0 ? nullptr : fdopendir(fd);
    if (!dir) {
        listing.failure = errno;
        if (fd >= 0)
            close(fd);
        return listing;
    }
    std::optional<bool> mountTop;
    for (;;) {
        errno = 0;
        const dirent *entry = readdir(dir);
        if (!entry) {
            listing.failure = errno;
            break;
        }
        const QByteArrayView bytes(entry->d_name);
        if (bytes == ".." || bytes == "." || folder.size() + bytes.size() >= MaxPathBytes)
            continue;
        // The entry's type comes with the listing; only links and unknown types cost a lookup.
        struct stat info {};
        bool link = entry->d_type == DT_LNK;
        unsigned char type = entry->d_type;
        if (type == DT_UNKNOWN) {
            if (fstatat(fd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0)
                continue;
            link = S_ISLNK(info.st_mode);
            type = S_ISREG(info.st_mode) ? DT_REG : S_ISDIR(info.st_mode) ? DT_DIR : DT_UNKNOWN;
        }
        if (link || type == DT_DIR) {
            if (fstatat(fd, entry->d_name, &info, 0) != 0)
                continue; // a broken link
            type = S_ISREG(info.st_mode) ? DT_REG : S_ISDIR(info.st_mode) ? DT_DIR : DT_UNKNOWN;
        }
        const QString name = FileNames::Decoded(bytes);
        if (name.isNull() && (type == DT_REG || type == DT_DIR)) {
            listing.undecodable.append({bytes.toByteArray(), type == DT_DIR});
        } else if (type == DT_REG) {
            listing.files.append({name, !link && name.startsWith(QLatin1Char('.'))});
        } else if (type == DT_DIR) {
            if (isTrashName(name) && !mountTop)
                mountTop = isMountTop(fd);
            listing.folders.append({name, idOf(info)});
        }
    }
    closedir(dir);
    listing.mountTop = mountTop.value_or(false);
    sortByName(listing);
    return listing;
}

// The breadth-first walk of GetSubDirectories2016: the folder list itself is the queue.
class FolderWalk {
public:
    FolderWalk(Prompts &prompts, QStringList &folders, bool recurse, const FolderVisit &visit,
               const NameLeftOut &leftOut, const Stopped &stopped)
        : m_steps(prompts, QStringLiteral("AddFolder.GetSubDirectories2016"), ErrorReport::Hollenbrim),
          m_folders(folders),
          m_recurse(recurse),
          m_visit(visit),
          m_leftOut(leftOut),
          m_stopped(stopped),
          m_trash(homeTrash())
    {
        for (const QString &folder : std::as_const(folders)) {
            struct stat info {};
            if (stat(QFile::encodeName(folder).constData(), &info) == 0)
                m_seen.insert(idOf(info));
        }
    }

    void run()
    {
        const qsizetype given = m_folders.size();
        // The list grows while it is walked: each folder's subfolders go to its end.
        for (qsizetype index = 0; index < m_folders.size() && !(m_stopped && m_stopped()); ++index) {
            const QString folder = m_folders.at(index);
            const bool search = index < given || m_recurse;
            m_steps.run(100, [&] {
                if (!examine(folder, search && (index >= given || !isLeftOut(folder))))
                    m_folders[index].clear();
            });
        }
        // The folders that cannot be listed go in one pass: one by one, each would cost a
        // search of the whole list.
        m_folders.removeAll(QString());
    }

private:
    // Reads one folder, hands its files to the visit and, when searched, appends its
    // subfolders to the list. False when the folder cannot be listed at all.
    bool examine(const QString &folder, bool search)
    {
        letEventsRun();
        const Listing listing = readFolder(QFile::encodeName(folder));
        const bool listed = !isRefusedOrMissing(listing.failure);
        if (listed && m_visit)
            m_visit(folder, listing.files);
        if (listed && m_leftOut) {
            for (const UndecodableEntry &entry : listing.undecodable) {
                if (search || !entry.isFolder)
                    m_leftOut(folder, entry.name, entry.isFolder);
            }
        }
        if (search) {
            for (const FolderEntry &entry : listing.folders) {
                if (isTaken(entry, listing.mountTop))
                    m_folders.append(folder + entry.name + QLatin1Char('/'));
            }
        }
        return listed;
    }

    bool isTaken(const FolderEntry &entry, bool inMountTop)
    {
        if (HasBadChars(entry.name))
            return false;
        if (entry.id == m_trash || (inMountTop && isTrashName(entry.name)))
            return false;
        if (m_seen.contains(entry.id))
            return false;
        m_seen.insert(entry.id);
        return true;
    }

    void letEventsRun()
    {
        if (m_pumped.isValid() && m_pumped.elapsed() < PumpEveryMs)
            return;
        QCoreApplication::processEvents();
        m_pumped.start();
    }

    GuardedSteps m_steps;
    QStringList &m_folders;
    bool m_recurse;
    const FolderVisit &m_visit;
    const NameLeftOut &m_leftOut;
    const Stopped &m_stopped;
    std::optional<FolderId> m_trash;
    QSet<FolderId> m_seen;
    QElapsedTimer m_pumped;
};

// The folder list a scan of the folder starts from.
QString scanRoot(const QString &folder)
{
    return folder + QLatin1Char('/');
}

} // namespace

int AttributeWord(const QString &path)
{
    const QString trimmed = withoutTrailingSeparators(path);
    const QFileInfo info(trimmed);
    if (!info.exists() && !info.isSymLink())
        return 0;
    int word = 0;
    if (Main::FileNameOf(trimmed).startsWith(QLatin1Char('.')))
        word |= Hidden;
    if (info.isDir())
        word |= Directory;
    if (info.isDir() && IsTrashFolder(trimmed))
        word |= Hidden | System;
    if (info.isFile())
        word |= Archive;
    if (info.isSymLink())
        word |= ReparsePoint;
    return word;
}

bool IsTrashFolder(const QString &path)
{
    struct stat info {};
    if (stat(QFile::encodeName(path).constData(), &info) != 0 || !S_ISDIR(info.st_mode))
        return false;
    if (idOf(info) == homeTrash())
        return true;
    const QString trimmed = withoutTrailingSeparators(path);
    if (!isTrashName(Main::FileNameOf(trimmed)))
        return false;
    const int parent = open(QFile::encodeName(Main::FolderOf(trimmed)).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (parent < 0)
        return false;
    const bool top = isMountTop(parent);
    close(parent);
    return top;
}

QString BrowseForFolder(Prompts &prompts, const QString &title, const QString &initialFolder)
{
    const QString chosen = prompts.browseForFolder(title, initialFolder);
    return chosen.isEmpty() ? QString() : QDir::cleanPath(chosen);
}

void GetSubDirectories2016(Prompts &prompts, QStringList &folders, bool recurse, const FolderVisit &visit,
                           const NameLeftOut &leftOut, const Stopped &stopped)
{
    FolderWalk(prompts, folders, recurse, visit, leftOut, stopped).run();
}

QStringList GetFilesInFolder(const QString &folder, const QString &pattern)
{
    const QString base = folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
    const Wildcard matcher(pattern);
    QStringList names;
    for (const FileEntry &file : readFolder(QFile::encodeName(base)).files) {
        if (matcher.matches(file.name))
            names.append(file.name);
    }
    return names;
}

bool IsExistingFile(const QString &path)
{
    return !path.isEmpty() && QFileInfo(path).isFile();
}

bool HasBadChars(const QString &name)
{
    for (const char32_t code : name.toUcs4()) {
        if (code < 32 || (code >= 127 && code <= 159))
            return true;
    }
    return false;
}

QString ExtensionOf(const QString &typed)
{
    QString extension = typed.trimmed();
    if (extension.startsWith(QLatin1String("*.")))
        extension.remove(0, 2);
    else if (extension.startsWith(QLatin1Char('.')))
        extension.remove(0, 1);
    return extension.trimmed();
}

QStringList ExtensionsOf(const QString &typed)
{
    QStringList extensions;
    for (const QString &item : typed.split(QLatin1Char(',')))
        extensions.append(ExtensionOf(item));
    return extensions;
}

QString PatternOf(const QString &extension)
{
    return QStringLiteral("*.") + extension;
}

QString PatternOfAny(const QStringList &extensions)
{
    QStringList patterns;
    for (const QString &extension : extensions)
        patterns.append(PatternOf(extension));
    return patterns.join(QLatin1Char('/'));
}

QStringList ScanFolder(Prompts &prompts, const QString &folder, const QString &pattern, const RowsFound &rowsFound,
                       QList<QByteArray> *leftOut, const Stopped &stopped)
{
    const Wildcard matcher(pattern);
    const auto isRow = [&matcher](const QString &name, bool plainHidden) {
        return !plainHidden && !name.startsWith(QLatin1Char('~')) && matcher.matches(name);
    };
    QStringList all;
    QStringList folders{scanRoot(folder)};
    const FolderVisit visit = [&](const QString &listed, const QList<FileEntry> &files) {
        // The folder's own path is cleaned once (a chosen root enters the list as "//").
        const QString prefix = Main::CollapseBackslashes(listed);
        QStringList rows;
        for (const FileEntry &file : files) {
            if (isRow(file.name, file.plainHidden))
                rows.append(prefix + file.name);
        }
        if (rows.isEmpty())
            return;
        all += rows;
        if (rowsFound)
            rowsFound(rows);
    };
    const NameLeftOut nameLeftOut = [&](const QString &listed, const QByteArray &name, bool isFolder) {
        // Read with stand-ins for its bad bytes only to tell whether it would have been a row.
        const QString readable = QString::fromUtf8(name);
        if (isFolder || isRow(readable, readable.startsWith(QLatin1Char('.'))))
            leftOut->append(QFile::encodeName(Main::CollapseBackslashes(listed)) + name + (isFolder ? "/" : ""));
    };
    GetSubDirectories2016(prompts, folders, true, visit, leftOut ? nameLeftOut : NameLeftOut(), stopped);
    return all;
}

QString FolderBelow(const QString &folder, const QString &row)
{
    const QString root = Main::CollapseBackslashes(scanRoot(folder));
    const QString rowFolder = Main::FolderOf(row);
    return rowFolder.startsWith(root) ? rowFolder.mid(root.size()) : QString();
}

} // namespace AddFolder
