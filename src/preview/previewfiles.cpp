#include "preview/previewfiles.h"

#include "platform/main.h"
#include "platform/safefiles.h"
#include "preview/previewcommands.h"
#include "preview/tools.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace PreviewFiles {

namespace {

mode_t newFileMode()
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// 0 when renamed; EEXIST when anything holds the name, else the error. NFS takes no flags
// for a rename, and there a hard link, which never replaces either, does the same.
int renameWithoutReplacing(const QByteArray &from, const QByteArray &to)
{
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
    if (::link(from.constData(), to.constData()) != 0)
        return errno;
    ::unlink(from.constData());
    return 0;
}

} // namespace

QString FileKey(const QString &path)
{
    const QFileInfo file(path);
    const QString canonical = file.canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(file.absoluteFilePath()) : canonical;
}

QString FileKeyIn(const QString &folderKey, const QString &path)
{
    struct stat status {};
    if (::lstat(QFile::encodeName(path).constData(), &status) != 0)
        return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    return S_ISREG(status.st_mode) ? folderKey + Main::FileNameOf(path) : FileKey(path);
}

QString SourceProblem(const QString &sourcePath)
{
    // SoX reads these by their names alone, whatever they hold, as lists of other files or
    // addresses, and fetches the addresses through a shell.
    for (const QLatin1String playlist : {QLatin1String(".m3u"), QLatin1String(".pls")}) {
        if (sourcePath.endsWith(playlist, Qt::CaseInsensitive))
            return QStringLiteral("it is a playlist (%1), not an audio file, so it was not read").arg(playlist);
    }
    const QByteArray path = QFile::encodeName(sourcePath);
    struct stat status {};
    if (::stat(path.constData(), &status) != 0)
        return QString();
    if (S_ISREG(status.st_mode) && SafeFiles::OnSystemFileSystem(path))
        return QStringLiteral("it is one of the system's own files (/proc, /sys), not audio, so it was not read");
    // Every tool has its own words for an empty file, none of them these.
    if (S_ISREG(status.st_mode) && status.st_size == 0)
        return QStringLiteral("the file is empty");
    if (S_ISREG(status.st_mode))
        return QString();
    if (S_ISDIR(status.st_mode))
        return QStringLiteral("it is a folder, not an MP3 file");
    return QStringLiteral("it is not a regular file (a pipe, socket or device), so it was not read");
}

QString MakeFolders(const QString &folder)
{
    const QByteArray path = QFile::encodeName(QDir::cleanPath(Main::AbsolutePath(folder)));
    int error = 0;
    for (qsizetype slash = path.indexOf('/', 1); error == 0; slash = path.indexOf('/', slash + 1)) {
        if (::mkdir((slash < 0 ? path : path.left(slash)).constData(), 0777) != 0 && errno != EEXIST)
            error = errno;
        if (slash < 0)
            break;
    }
    if (error == 0 && !Main::FolderExists(folder))
        error = EEXIST; // a file of that name
    return error == 0 ? QString() : QStringLiteral("cannot make the folder %1: %2").arg(folder, systemError(error));
}

EarlierFile EarlierFile::At(const QString &path)
{
    EarlierFile earlier;
    struct stat status {};
    if (::lstat(QFile::encodeName(path).constData(), &status) == 0) {
        earlier.m_found = true;
        earlier.m_device = status.st_dev;
        earlier.m_inode = status.st_ino;
    }
    return earlier;
}

bool EarlierFile::isAt(const QString &path) const
{
    const EarlierFile now = At(path);
    return m_found && now.m_found && now.m_device == m_device && now.m_inode == m_inode;
}

TemporaryOutput::TemporaryOutput(const QString &finalPath, const EarlierFile &earlier)
    : m_finalPath(Main::AbsolutePath(finalPath)), m_earlier(earlier)
{
    const QString folder = Main::FolderOf(m_finalPath);
    m_lock = Leftovers::Claim([&] {
        QTemporaryFile file(folder + Leftovers::TemporaryFileName(OutputFormat::OfPreview(m_finalPath)));
        file.setAutoRemove(false);
        if (file.open())
            return file.fileName();
        m_problem = QStringLiteral("cannot create a file in %1: %2").arg(folder, file.errorString());
        return QString();
    });
    m_path = m_lock.path();
    if (m_path.isEmpty() && m_problem.isEmpty())
        m_problem = QStringLiteral("cannot create a file in %1: other runs took every one it made").arg(folder);
}

TemporaryOutput::~TemporaryOutput()
{
    discard();
}

QString TemporaryOutput::commit()
{
    if (!created())
        return m_problem;
    const QByteArray from = QFile::encodeName(m_path);
    if (::chmod(from.constData(), newFileMode()) != 0
        || !moveToFinalName()) {
        const QString reason = QStringLiteral("cannot save it as %1: %2").arg(m_finalPath, systemError(errno));
        discard();
        return reason;
    }
    m_path.clear();
    return QString();
}

bool TemporaryOutput::moveToFinalName()
{
    const QByteArray from = QFile::encodeName(m_path);
    if (m_earlier.isAt(m_finalPath))
        return std::rename(from.constData(), QFile::encodeName(m_finalPath).constData()) == 0;
    // Each name is tried by the rename itself, so no other run can take it in between.
    int error = 0;
    const QString saved = PreviewCommands::FreePath(m_finalPath, [&](const QString &candidate) {
        error = renameWithoutReplacing(from, QFile::encodeName(candidate));
        return error == EEXIST;
    });
    errno = error;
    if (error != 0)
        return false;
    m_finalPath = saved;
    return true;
}

void TemporaryOutput::discard()
{
    if (!m_path.isEmpty())
        QFile::remove(m_path);
    m_path.clear();
}

WorkFolder::WorkFolder()
{
    m_lock = Leftovers::Claim([this] {
        m_folder.emplace(Tools::TemporaryFolder() + QLatin1Char('/') + Leftovers::WorkFolderName);
        if (!m_folder->isValid()) {
            m_problem = m_folder->errorString();
            return QString();
        }
        QFile lockFile(m_folder->filePath(Leftovers::LockFileName));
        if (!lockFile.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            m_problem = lockFile.errorString();
            return QString();
        }
        m_problem = QStringLiteral("other runs took every one it made");
        return lockFile.fileName();
    });
}

QString WorkFolder::problem() const
{
    return QStringLiteral("cannot make a private working folder in %1: %2").arg(Tools::TemporaryFolder(), m_problem);
}

QString WorkFolder::piecePath(int number, const OutputFormat &format) const
{
    const QString name = QStringLiteral("%1.").arg(number, 4, 10, QLatin1Char('0')) + format.extension();
    return m_folder->filePath(name);
}

void WorkFolder::remove()
{
    m_folder->remove();
}

} // namespace PreviewFiles
