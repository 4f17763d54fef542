#include "foldertree.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <sys/fsuid.h>
#include <unistd.h>

namespace {

constexpr uid_t Nobody = 65534;

bool canList(const QString &folder)
{
    DIR *dir = opendir(QFile::encodeName(folder).constData());
    if (dir)
        closedir(dir);
    return dir != nullptr;
}

// Another user must be able to walk down to the folders and read their neighbours.
void openAncestorsToOthers(const QString &folder)
{
    for (QDir dir(QFileInfo(folder).absolutePath()); !dir.isRoot(); dir.cdUp()) {
        const QFile::Permissions permissions = QFile::permissions(dir.path());
        if (!(permissions & QFile::ExeOther))
            QFile::setPermissions(dir.path(), permissions | QFile::ExeOther | QFile::ReadOther);
    }
}

} // namespace

FolderTree::FolderTree(const QString &root)
    : m_root(root)
{
    QDir().mkpath(m_root);
}

QString FolderTree::path(const QString &relative) const
{
    return m_root + QLatin1Char('/') + relative;
}

void FolderTree::folder(const QString &relative) const
{
    if (!QDir().mkpath(path(relative)))
        qFatal("cannot make folder %s", qPrintable(path(relative)));
}

void FolderTree::file(const QString &relative) const
{
    QDir().mkpath(QFileInfo(path(relative)).absolutePath());
    QFile file(path(relative));
    if (!file.open(QIODevice::WriteOnly))
        qFatal("cannot make file %s", qPrintable(path(relative)));
}

void FolderTree::withBytes(const QByteArray &relative, bool isFolder) const
{
    const QByteArray full = QFile::encodeName(m_root) + '/' + relative;
    for (qsizetype slash = full.indexOf('/', 1); slash > 0; slash = full.indexOf('/', slash + 1))
        mkdir(full.left(slash).constData(), 0755); // the folders above, whatever their bytes
    const int made = isFolder ? mkdir(full.constData(), 0755) : open(full.constData(), O_CREAT | O_WRONLY, 0644);
    if (made < 0)
        qFatal("cannot make %s", full.constData());
    if (!isFolder)
        close(made);
}

void FolderTree::removeAll() const
{
    const auto removeEntry = [](const char *path, const struct stat *, int, FTW *) { return remove(path); };
    nftw(QFile::encodeName(m_root).constData(), removeEntry, 16, FTW_DEPTH | FTW_PHYS);
}

void FolderTree::link(const QString &relative, const QString &target) const
{
    if (symlink(QFile::encodeName(target).constData(), QFile::encodeName(path(relative)).constData()) != 0)
        qFatal("cannot make link %s", qPrintable(path(relative)));
}

UnreadableFolders::UnreadableFolders(const QStringList &folders)
    : m_folders(folders)
{
    for (const QString &folder : m_folders) {
        openAncestorsToOthers(folder);
        QFile::setPermissions(folder, QFile::Permissions());
    }
    if (geteuid() == 0) {
        // The group too: root's group would otherwise decide by the group's mode bits.
        m_formerGroup = setfsgid(Nobody);
        setfsuid(Nobody);
        m_droppedRoot = setfsuid(uid_t(-1)) == Nobody;
    }
}

UnreadableFolders::~UnreadableFolders()
{
    if (m_droppedRoot) {
        setfsuid(0);
        setfsgid(m_formerGroup);
    }
    for (const QString &folder : m_folders)
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner
                                          | QFile::ReadOther | QFile::ExeOther);
}

bool UnreadableFolders::inEffect() const
{
    for (const QString &folder : m_folders) {
        if (canList(folder))
            return false;
    }
    return true;
}
