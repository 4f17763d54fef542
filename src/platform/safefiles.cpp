#include "platform/safefiles.h"

#include "platform/main.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/vfs.h>

namespace SafeFiles {

namespace {

// Not in every kernel's <linux/magic.h>.
constexpr unsigned long ConfigFsMagic = 0x62656570;
constexpr unsigned long FuseControlMagic = 0x65735543;
constexpr unsigned long MessageQueueMagic = 0x19800202;

// Less space than this left after a failed or cut-off write: the disk was full. SoX writes
// in pieces of a few kilobytes, so the last one that did not fit leaves less than that.
constexpr qint64 FullDiskBytes = 1024 * 1024;

mode_t newFileMode()
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

} // namespace

QString OtherThanRegularFile(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat status {};
    if (::stat(name.constData(), &status) != 0) {
        struct stat link {};
        return ::lstat(name.constData(), &link) == 0 && S_ISLNK(link.st_mode) ? QStringLiteral("a link to nothing")
                                                                               : QString();
    }
    if (S_ISREG(status.st_mode))
        return QString();
    if (S_ISDIR(status.st_mode))
        return QStringLiteral("a folder");
    if (S_ISFIFO(status.st_mode))
        return QStringLiteral("a pipe (FIFO)");
    if (S_ISSOCK(status.st_mode))
        return QStringLiteral("a socket");
    return QStringLiteral("a device");
}

QString WriteReplacing(const QString &path, const QByteArray &bytes)
{
    const QString absolute = Main::AbsolutePath(path);
    QTemporaryFile file(Main::FolderOf(absolute) + QStringLiteral(".") + Main::FileNameOf(absolute)
                        + QStringLiteral(".XXXXXX"));
    const QString folder = QFileInfo(absolute).absolutePath();
    if (!file.open())
        return OrFullDisk(file.errorString(), folder);
    if (file.write(bytes) != bytes.size() || !file.flush())
        return OrFullDisk(file.errorString(), folder);
    // A rename never follows a link at its target's name: it replaces the link itself.
    const QByteArray from = QFile::encodeName(file.fileName());
    if (::chmod(from.constData(), newFileMode()) != 0
        || std::rename(from.constData(), QFile::encodeName(absolute).constData()) != 0)
        return QString::fromLocal8Bit(std::strerror(errno));
    file.setAutoRemove(false); // it has the final name now
    return QString();
}

QString OrFullDisk(const QString &words, const QString &folder)
{
    struct statvfs disk {};
    if (::statvfs(QFile::encodeName(folder).constData(), &disk) != 0)
        return words;
    const qint64 free = qint64(disk.f_bavail) * qint64(disk.f_frsize);
    return free < FullDiskBytes ? QStringLiteral("the disk is full: %1 has %2 KB free").arg(folder).arg(free / 1024) : words;
}

bool OnSystemFileSystem(const QByteArray &path)
{
    struct statfs facts {};
    if (::statfs(path.constData(), &facts) != 0)
        return false;
    switch (static_cast<unsigned long>(facts.f_type)) {
    case PROC_SUPER_MAGIC:
    case SYSFS_MAGIC:
    case DEVPTS_SUPER_MAGIC:
    case DEBUGFS_MAGIC:
    case TRACEFS_MAGIC:
    case CGROUP_SUPER_MAGIC:
    case CGROUP2_SUPER_MAGIC:
    case SECURITYFS_MAGIC:
    case SELINUX_MAGIC:
    case SMACK_MAGIC:
    case PSTOREFS_MAGIC:
    case EFIVARFS_MAGIC:
    case BINFMTFS_MAGIC:
    case USBDEVICE_SUPER_MAGIC:
    case NSFS_MAGIC:
    case BPF_FS_MAGIC:
    case ConfigFsMagic:
    case FuseControlMagic:
    case MessageQueueMagic:
        return true;
    default:
        return false;
    }
}

} // namespace SafeFiles
