#include "platform/main.h"

#include "platform/apperror.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include <sys/stat.h>

namespace Main {

bool PathExists(const QString &path)
{
    if (path.isEmpty())
        return false;
    const QFileInfo info(path);
    return info.exists() && info.lastModified().isValid();
}

bool FolderExists(const QString &path)
{
    return !path.isEmpty() && QFileInfo(path).isDir();
}

QString FileNameOf(const QString &path)
{
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

QString FolderOf(const QString &path)
{
    return path.left(path.lastIndexOf(QLatin1Char('/')) + 1);
}

QString StripExtension(const QString &path)
{
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    return dot > 0 ? path.left(dot) : path;
}

static QString collapsePairs(const QString &text)
{
    QString result = text;
    result.replace(QStringLiteral("//"), QStringLiteral("/"));
    return result;
}

QString CollapseBackslashes(const QString &path)
{
    if (!path.startsWith(QLatin1Char('/')))
        return collapsePairs(path);
    // Linux has no network-path form, so a leading run keeps one separator.
    qsizetype firstOther = 0;
    while (firstOther < path.size() && path.at(firstOther) == QLatin1Char('/'))
        ++firstOther;
    return QLatin1Char('/') + collapsePairs(path.mid(firstOther));
}

QString AbsolutePath(const QString &path)
{
    if (path.startsWith(QLatin1Char('/')))
        return path;
    return QDir::currentPath() + QLatin1Char('/') + path;
}

bool IsRegularFile(const QString &path)
{
    struct stat status {};
    return !path.isEmpty() && ::stat(QFile::encodeName(path).constData(), &status) == 0 && S_ISREG(status.st_mode);
}

void RemoveFile(const QString &path)
{
    QCoreApplication::processEvents();
    // On Linux a file's own read-only mode never blocks its deletion, so one try is all;
    // a file that cannot go stays as it is, mode included.
    if (!path.isEmpty())
        QFile::remove(path);
}

// Opens the file in the mode and writes the bytes through to the disk: a failure to open,
// to write or to flush what was buffered (a full disk) throws AppError.
static void writeFile(const QString &path, QIODevice::OpenMode mode, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(mode) || file.write(bytes) != bytes.size() || !file.flush())
        throw AppError(QStringLiteral("Cannot write the file %1: %2").arg(path, file.errorString()));
}

void WriteTextFile(const QString &text, const QString &path)
{
    WriteBytes(text.toUtf8() + '\n', path);
}

void WriteBytes(const QByteArray &bytes, const QString &path)
{
    writeFile(path, QIODevice::WriteOnly | QIODevice::Truncate, bytes);
}

void WriteBytesIfMissing(const QByteArray &bytes, const QString &path)
{
    QCoreApplication::processEvents();
    if (PathExists(path))
        return;
    writeFile(path, QIODevice::NewOnly, bytes);
}

void WaitSeconds(double seconds)
{
    // An event loop that a single-shot timer ends: events run, the processor sleeps.
    QEventLoop loop;
    QTimer::singleShot(qMax(0, qRound(seconds * 1000)), Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace Main
