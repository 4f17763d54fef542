#include "batch/runturn.h"

#include "preview/outputformat.h"

#include <QDirIterator>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>

namespace RunTurn {

namespace {

constexpr useconds_t WaitStep = 100000;

bool sameFile(const struct stat &one, const struct stat &other)
{
    return one.st_dev == other.st_dev && one.st_ino == other.st_ino;
}

} // namespace

std::optional<FilesAtStart::Key> FilesAtStart::keyOf(const QString &path)
{
    struct stat status {};
    if (::lstat(QFile::encodeName(path).constData(), &status) != 0)
        return std::nullopt;
    return Key{quint64(status.st_dev), quint64(status.st_ino), qint64(status.st_ctim.tv_sec), qint64(status.st_ctim.tv_nsec)};
}

void FilesAtStart::add(const QString &folder, bool recursive)
{
    if (!m_files)
        m_files.emplace();
    QDirIterator files(folder, OutputFormat::AllPatterns(), QDir::Files | QDir::Hidden,
                       recursive ? QDirIterator::Subdirectories : QDirIterator::NoIteratorFlags);
    while (files.hasNext()) {
        if (const std::optional<Key> key = keyOf(files.next()))
            m_files->insert(*key);
    }
}

bool FilesAtStart::wasThere(const QString &path) const
{
    if (!m_files)
        return true;
    const std::optional<Key> key = keyOf(path);
    return key && m_files->count(*key) > 0;
}

Turn::~Turn()
{
    release();
}

Turn::Turn(Turn &&other) noexcept
    : m_descriptor(std::exchange(other.m_descriptor, -1)), m_path(std::move(other.m_path)), m_problem(std::move(other.m_problem))
{
}

Turn &Turn::operator=(Turn &&other) noexcept
{
    if (this != &other) {
        release();
        m_descriptor = std::exchange(other.m_descriptor, -1);
        m_path = std::move(other.m_path);
        m_problem = std::move(other.m_problem);
    }
    return *this;
}

// The file goes while still locked: a run waiting on it then finds its name gone, and takes
// the one made after.
void Turn::release()
{
    if (m_descriptor < 0)
        return;
    ::unlink(QFile::encodeName(m_path).constData());
    ::close(m_descriptor);
    m_descriptor = -1;
}

Turn Turn::Take(const QString &folder, const std::function<void()> &waiting, const std::function<bool()> &stopped)
{
    Turn turn;
    const QString path = folder + QLatin1Char('/') + LockFileName;
    const QByteArray name = QFile::encodeName(path);
    bool told = false;
    for (;;) {
        // Read and write: NFS maps flock onto byte-range locks, and an exclusive one needs both.
        // Another user's lock file may be read only; it locks all the same on a local disk.
        int descriptor = ::open(name.constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (descriptor < 0 && errno == EACCES)
            descriptor = ::open(name.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        struct stat opened {};
        if (descriptor < 0 || ::fstat(descriptor, &opened) != 0 || !S_ISREG(opened.st_mode)) {
            turn.m_problem = descriptor < 0 ? QString::fromLocal8Bit(std::strerror(errno))
                                            : QStringLiteral("%1 is not a regular file").arg(path);
            if (descriptor >= 0)
                ::close(descriptor);
            return turn;
        }
        while (::flock(descriptor, LOCK_EX | LOCK_NB) != 0) {
            const int error = errno;
            if (error != EWOULDBLOCK)
                turn.m_problem = QString::fromLocal8Bit(std::strerror(error));
            else if (!std::exchange(told, true))
                waiting();
            if (error != EWOULDBLOCK || stopped()) {
                ::close(descriptor);
                return turn;
            }
            ::usleep(WaitStep);
        }
        struct stat named {};
        if (::lstat(name.constData(), &named) == 0 && sameFile(opened, named)) {
            turn.m_descriptor = descriptor;
            turn.m_path = path;
            return turn;
        }
        ::close(descriptor); // the run before removed it as it ended
    }
}

} // namespace RunTurn
