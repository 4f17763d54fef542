#include "filelist/addfolder.h"

#include "filelist/folderlisting.h"
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

#include <cerrno>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace AddFolder {

namespace {

// Pending window events run this often during a scan, and at its start.
constexpr qint64 PumpEveryMs = 15;

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

// The breadth-first walk of GetSubDirectories2016: the folder list itself is the queue.
class FolderWalk {
public:
    FolderWalk(Prompts &prompts, QStringList &folders, bool recurse, const FolderVisit &visit,
               const NameLeftOut &leftOut, const Stopped &stopped, const Refused &refused)
        : m_steps(prompts, QStringLiteral("AddFolder.GetSubDirectories2016"), ErrorReport::Hollenbrim),
          m_folders(folders),
          m_recurse(recurse),
          m_visit(visit),
          m_leftOut(leftOut),
          m_stopped(stopped),
          m_refused(refused),
          m_trash(FolderListing::HomeTrash())
    {
        for (QString &folder : folders) {
            struct stat info {};
            const QByteArray path = QFile::encodeName(folder);
            if (stat(path.constData(), &info) != 0)
                continue;
            m_seen.insert(FolderListing::IdOf(info));
            if (m_system.contains(path, FolderListing::IdOf(info)))
                folder.clear(); // not read at all, as it would be when reached from below
        }
    }

    void run()
    {
        const qsizetype given = m_folders.size();
        // The list grows while it is walked: each folder's subfolders go to its end.
        for (qsizetype index = 0; index < m_folders.size() && !(m_stopped && m_stopped()); ++index) {
            const QString folder = m_folders.at(index);
            if (folder.isEmpty())
                continue;
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
        const FolderListing::Listing listing = FolderListing::Read(QFile::encodeName(folder));
        const bool listed = !FolderListing::IsRefusedOrMissing(listing.failure);
        if (m_refused) {
            if (const int error = readFailure(folder, listing); error != 0)
                m_refused(folder, error);
        }
        if (listed && m_visit)
            m_visit(folder, listing.files);
        if (listed && m_leftOut) {
            for (const FolderListing::UndecodableEntry &entry : listing.undecodable) {
                if (search || !entry.isFolder)
                    m_leftOut(folder, entry.name, entry.isFolder);
            }
        }
        if (search) {
            for (const FolderListing::FolderEntry &entry : listing.folders) {
                if (isTaken(folder, entry, listing.mountTop))
                    m_folders.append(folder + entry.name + QLatin1Char('/'));
            }
        }
        return listed;
    }

    // The error that kept part of the folder unread; 0 when it was read whole, or is gone.
    static int readFailure(const QString &folder, const FolderListing::Listing &listing)
    {
        if (listing.failure == ENOENT || listing.failure == ENOTDIR)
            return 0;
        int error = listing.failure != 0 ? listing.failure : listing.lookupFailure;
        if (error == 0 && faccessat(AT_FDCWD, QFile::encodeName(folder).constData(), X_OK, AT_EACCESS) != 0)
            error = errno;
        const QString trimmed = withoutTrailingSeparators(folder);
        if (error != 0 && Main::FileNameOf(trimmed) == QLatin1String("lost+found")) {
            const int parent = open(QFile::encodeName(Main::FolderOf(trimmed)).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            const bool mountTop = parent >= 0 && FolderListing::IsMountTop(parent);
            if (parent >= 0)
                close(parent);
            return mountTop ? 0 : error;
        }
        return error;
    }

    bool isTaken(const QString &folder, const FolderListing::FolderEntry &entry, bool inMountTop)
    {
        if (HasBadChars(entry.name))
            return false;
        if (entry.id == m_trash || (inMountTop && FolderListing::IsTrashName(entry.name)))
            return false;
        if (m_seen.contains(entry.id) || m_system.contains(QFile::encodeName(folder + entry.name), entry.id))
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
    const Refused &m_refused;
    std::optional<FolderListing::FolderId> m_trash;
    QSet<FolderListing::FolderId> m_seen;
    FolderListing::SystemFolders m_system;
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
    if (FolderListing::IdOf(info) == FolderListing::HomeTrash())
        return true;
    const QString trimmed = withoutTrailingSeparators(path);
    if (!FolderListing::IsTrashName(Main::FileNameOf(trimmed)))
        return false;
    const int parent = open(QFile::encodeName(Main::FolderOf(trimmed)).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (parent < 0)
        return false;
    const bool top = FolderListing::IsMountTop(parent);
    close(parent);
    return top;
}

QString BrowseForFolder(Prompts &prompts, const QString &title, const QString &initialFolder)
{
    const QString chosen = prompts.browseForFolder(title, initialFolder);
    return chosen.isEmpty() ? QString() : QDir::cleanPath(chosen);
}

void GetSubDirectories2016(Prompts &prompts, QStringList &folders, bool recurse, const FolderVisit &visit,
                           const NameLeftOut &leftOut, const Stopped &stopped, const Refused &refused)
{
    FolderWalk(prompts, folders, recurse, visit, leftOut, stopped, refused).run();
}

QStringList GetFilesInFolder(const QString &folder, const QString &pattern)
{
    const QString base = folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
    const Wildcard matcher(pattern);
    QStringList names;
    for (const FileEntry &file : FolderListing::Read(QFile::encodeName(base)).files) {
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
                       QList<QByteArray> *leftOut, const Stopped &stopped, const Refused &refused)
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
    GetSubDirectories2016(prompts, folders, true, visit, leftOut ? nameLeftOut : NameLeftOut(), stopped, refused);
    return all;
}

QString FolderBelow(const QString &folder, const QString &row)
{
    const QString root = Main::CollapseBackslashes(scanRoot(folder));
    const QString rowFolder = Main::FolderOf(row);
    return rowFolder.startsWith(root) ? rowFolder.mid(root.size()) : QString();
}

} // namespace AddFolder
