#include "filelist/addfolder.h"

#include "platform/errorreport.h"
#include "platform/prompts.h"
#include "platform/main.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>

#include <cerrno>
#include <dirent.h>

namespace AddFolder {

namespace {

// Paths and names this long are neither searched nor added.
constexpr int MaxPath = 260;

bool isRoot(const QString &folder)
{
    return !folder.isEmpty() && folder.count(QLatin1Char('/')) == folder.size();
}

// Hidden system folders (such as junctions) are neither searched nor added; a root always is.
bool isLeftOut(const QString &folder)
{
    if (isRoot(folder))
        return false;
    const int word = AttributeWord(folder);
    return word == (Hidden | System | Directory) || word == (Hidden | System | Directory | ReparsePoint);
}

// The names of a folder's entries in the order the file system gives them, "." and ".."
// included. Returns 0, or the error number of the failure; names read before it stay.
int readFolderNames(const QString &folder, QStringList &names)
{
    DIR *dir = opendir(QFile::encodeName(folder).constData());
    if (!dir)
        return errno;
    int failure = 0;
    for (;;) {
        errno = 0;
        const dirent *entry = readdir(dir);
        if (!entry) {
            failure = errno;
            break;
        }
        names << QFile::decodeName(entry->d_name);
    }
    closedir(dir);
    return failure;
}

bool isRefusedOrMissing(int failure)
{
    return failure == EACCES || failure == EPERM || failure == ENOENT || failure == ENOTDIR;
}

// True the first time a real folder is met; links lead back to folders already listed.
bool firstVisit(const QString &folder, QSet<QString> &seen)
{
    const QString real = QFileInfo(folder).canonicalFilePath();
    if (real.isEmpty())
        return true;
    if (seen.contains(real))
        return false;
    seen.insert(real);
    return true;
}

// Appends to found the subfolders of one folder; drops the folder from folders when it
// cannot be listed.
void listSubfolders(const QString &folder, QStringList &folders, QStringList &found, QSet<QString> &seen)
{
    if (!Main::FolderExists(folder) || folder.size() >= MaxPath)
        return;
    QCoreApplication::processEvents();
    if (isLeftOut(folder))
        return;
    QStringList names;
    const int failure = readFolderNames(folder, names);
    for (const QString &name : std::as_const(names)) {
        if (name == QLatin1String(".") || name == QLatin1String("..") || name.size() >= MaxPath
            || HasBadChars(name))
            continue;
        const QString path = folder + name;
        if (!QFileInfo(path).isDir())
            continue;
        QCoreApplication::processEvents();
        if (firstVisit(path, seen))
            found.append(path + QLatin1Char('/'));
    }
    if (isRefusedOrMissing(failure))
        folders.removeOne(folder);
}

void collectSubfolders(GuardedSteps &steps, QStringList &folders, bool recurse, QSet<QString> &seen)
{
    QStringList found;
    // Walk a copy: a folder that cannot be listed leaves the list on the way.
    const QStringList examined = folders;
    for (const QString &folder : examined)
        steps.run(100, [&] { listSubfolders(folder, folders, found, seen); });
    if (recurse && !found.isEmpty())
        steps.run(102, [&] { collectSubfolders(steps, found, true, seen); });
    for (const QString &folder : std::as_const(found)) {
        steps.run(104, [&] {
            if (!Main::FolderExists(folder))
                return;
            QCoreApplication::processEvents();
            if (!isLeftOut(folder))
                folders.append(folder);
        });
    }
}

// Wildcards of file names: "*" any run, "?" any one character, case ignored; "*.*" is "*".
QRegularExpression wildcard(const QString &pattern)
{
    const QString effective = pattern == QLatin1String("*.*") ? QStringLiteral("*") : pattern;
    QString expression;
    for (const QChar c : effective) {
        if (c == QLatin1Char('*'))
            expression += QStringLiteral(".*");
        else if (c == QLatin1Char('?'))
            expression += QLatin1Char('.');
        else
            expression += QRegularExpression::escape(QString(c));
    }
    return QRegularExpression(QRegularExpression::anchoredPattern(expression),
                              QRegularExpression::CaseInsensitiveOption
                                  | QRegularExpression::DotMatchesEverythingOption);
}

} // namespace

int AttributeWord(const QString &path)
{
    QString trimmed = path;
    while (trimmed.size() > 1 && trimmed.endsWith(QLatin1Char('/')))
        trimmed.chop(1);
    const QFileInfo info(trimmed);
    if (!info.exists() && !info.isSymLink())
        return 0;
    int word = 0;
    if (Main::FileNameOf(trimmed).startsWith(QLatin1Char('.')))
        word |= Hidden;
    if (info.isDir())
        word |= Directory;
    if (info.isFile())
        word |= Archive;
    if (info.isSymLink())
        word |= ReparsePoint;
    return word;
}

QString BrowseForFolder(Prompts &prompts, const QString &title, const QString &initialFolder)
{
    const QString chosen = prompts.browseForFolder(title, initialFolder);
    return chosen.isEmpty() ? QString() : QDir::cleanPath(chosen);
}

void GetSubDirectories2016(Prompts &prompts, QStringList &folders, bool recurse)
{
    GuardedSteps steps(prompts, QStringLiteral("AddFolder.GetSubDirectories2016"), ErrorReport::Hollenbrim);
    QSet<QString> seen;
    for (const QString &folder : std::as_const(folders))
        firstVisit(folder, seen);
    collectSubfolders(steps, folders, recurse, seen);
}

QStringList GetFilesInFolder(const QString &folder, const QString &pattern)
{
    const QString base = folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
    const QRegularExpression matcher = wildcard(pattern);
    QStringList names;
    readFolderNames(base, names);
    QStringList result;
    for (const QString &name : std::as_const(names)) {
        if (matcher.match(name).hasMatch() && IsExistingFile(base + name))
            result.append(name);
    }
    return result;
}

bool IsExistingFile(const QString &path)
{
    return !path.isEmpty() && QFileInfo(path).isFile();
}

bool HasBadChars(const QString &name)
{
    for (const char32_t code : name.toUcs4()) {
        if (code < 32 || (code >= 127 && code <= 159) || code == U'?')
            return true;
    }
    return false;
}

QStringList FilesOfFolders(const QStringList &folders, const QString &pattern)
{
    QStringList rows;
    for (const QString &listed : folders) {
        const QString folder = listed.chopped(1);
        for (const QString &name : GetFilesInFolder(folder, pattern)) {
            if (name.startsWith(QLatin1Char('~')))
                continue;
            const QString path = folder + QLatin1Char('/') + name;
            if (IsExistingFile(path) && AttributeWord(path) != (Hidden | Archive))
                rows.append(Main::CollapseBackslashes(path));
        }
    }
    return rows;
}

QStringList ScanFolder(Prompts &prompts, const QString &folder, const QString &pattern)
{
    QStringList folders{folder + QLatin1Char('/')};
    GetSubDirectories2016(prompts, folders, true);
    return FilesOfFolders(folders, pattern);
}

} // namespace AddFolder
