#include "preview/previewfiles.h"

#include "platform/main.h"
#include "preview/tools.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <sys/stat.h>

namespace PreviewFiles {

namespace {

mode_t newFileMode()
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

} // namespace

QString FileKey(const QString &path)
{
    const QFileInfo file(path);
    const QString canonical = file.canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(file.absoluteFilePath()) : canonical;
}

QString SourceProblem(const QString &sourcePath)
{
    struct stat status {};
    if (::stat(QFile::encodeName(sourcePath).constData(), &status) != 0 || S_ISREG(status.st_mode))
        return QString();
    if (S_ISDIR(status.st_mode))
        return QStringLiteral("it is a folder, not an MP3 file");
    return QStringLiteral("it is not a regular file (a pipe, socket or device), so it was not read");
}

TemporaryOutput::TemporaryOutput(const QString &finalPath) : m_finalPath(Main::AbsolutePath(finalPath))
{
    const QString folder = Main::FolderOf(m_finalPath);
    m_lock = Leftovers::Claim([&] {
        QTemporaryFile file(folder + Leftovers::TemporaryFileName);
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
        || std::rename(from.constData(), QFile::encodeName(m_finalPath).constData()) != 0) {
        const QString reason = QStringLiteral("cannot save it as %1: %2").arg(m_finalPath, QString::fromLocal8Bit(std::strerror(errno)));
        discard();
        return reason;
    }
    m_path.clear();
    return QString();
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

QString WorkFolder::piecePath(int number) const
{
    return m_folder->filePath(QStringLiteral("%1.mp3").arg(number, 4, 10, QLatin1Char('0')));
}

void WorkFolder::remove()
{
    m_folder->remove();
}

} // namespace PreviewFiles
