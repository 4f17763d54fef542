#include "preview/leftovers.h"

#include "preview/previewfiles.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>

namespace Leftovers {

namespace {

constexpr int ClaimAttempts = 3;

bool sameFile(const struct stat &one, const struct stat &other)
{
    return one.st_dev == other.st_dev && one.st_ino == other.st_ino;
}

// The name as a sweep matches it: each X stands for any one character.
QString patternOf(const QString &name)
{
    return QString(name).replace(QLatin1Char('X'), QLatin1Char('?'));
}

} // namespace

QString TemporaryFileName(const OutputFormat &format)
{
    return QStringLiteral(".lumbrisk-XXXXXX.") + format.extension();
}

Lock::Lock(const QString &path)
{
    enum class Outcome { Held, Taken, NoLock };
    const QByteArray name = QFile::encodeName(path);
    // Read and write: NFS maps flock onto byte-range locks, and an exclusive one needs both.
    const int descriptor = ::open(name.constData(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    struct stat opened {};
    struct stat named {};
    Outcome outcome = Outcome::NoLock;
    if (descriptor < 0)
        outcome = errno == ENOENT ? Outcome::Taken : Outcome::NoLock;
    else if (::fstat(descriptor, &opened) != 0 || !S_ISREG(opened.st_mode))
        outcome = Outcome::NoLock;
    else if (::flock(descriptor, LOCK_EX | LOCK_NB) != 0)
        outcome = errno == EWOULDBLOCK ? Outcome::Taken : Outcome::NoLock;
    else
        outcome = ::lstat(name.constData(), &named) == 0 && sameFile(opened, named) ? Outcome::Held : Outcome::Taken;
    if (outcome == Outcome::Held)
        m_descriptor = descriptor;
    else if (descriptor >= 0)
        ::close(descriptor);
    if (outcome != Outcome::Taken)
        m_path = path;
}

Lock::~Lock()
{
    release();
}

Lock::Lock(Lock &&other) noexcept : m_descriptor(std::exchange(other.m_descriptor, -1)), m_path(std::move(other.m_path))
{
}

Lock &Lock::operator=(Lock &&other) noexcept
{
    if (this != &other) {
        release();
        m_descriptor = std::exchange(other.m_descriptor, -1);
        m_path = std::move(other.m_path);
    }
    return *this;
}

void Lock::release()
{
    if (m_descriptor >= 0)
        ::close(m_descriptor);
    m_descriptor = -1;
    m_path.clear();
}

Lock Claim(const std::function<QString()> &make)
{
    for (int attempt = 0; attempt < ClaimAttempts; ++attempt) {
        const QString path = make();
        if (path.isEmpty())
            break;
        Lock lock(path);
        if (!lock.path().isEmpty())
            return lock;
    }
    return Lock();
}

void Sweep::removeFrom(const QString &folder)
{
    // Known by the name given, or else by its key: another spelling of a swept folder.
    if (folder.isEmpty() || m_swept.contains(folder))
        return;
    const QString key = PreviewFiles::FileKey(folder);
    const bool known = m_swept.contains(key);
    m_swept.insert(folder);
    m_swept.insert(key);
    if (known)
        return;
    QStringList filePatterns;
    for (const OutputFormat *format : OutputFormat::All())
        filePatterns.append(patternOf(TemporaryFileName(*format)));
    const QString folderPattern = patternOf(WorkFolderName);
    QDirIterator entries(folder, filePatterns + QStringList{folderPattern},
                         QDir::Files | QDir::Dirs | QDir::Hidden | QDir::NoSymLinks | QDir::NoDotAndDotDot
                             | QDir::CaseSensitive);
    while (entries.hasNext()) {
        const QString path = entries.next();
        // A file of a folder's name is not ours, nor a folder without its lock file: the
        // user's own things may happen to have such names.
        const bool isFolder = entries.fileInfo().isDir();
        if (!QDir::match(isFolder ? QStringList{folderPattern} : filePatterns, entries.fileName()))
            continue;
        const Lock lock(isFolder ? path + QLatin1Char('/') + LockFileName : path);
        if (!lock.held())
            continue;
        if (isFolder)
            QDir(path).removeRecursively();
        else
            QFile::remove(path);
    }
}

} // namespace Leftovers
