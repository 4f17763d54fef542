#include "smalldisk.h"

#include <QFile>
#include <QProcess>

namespace Fixtures {

SmallDisk::SmallDisk(const QString &folder, const QString &size) : m_folder(folder)
{
    m_mounted = QProcess::execute(QStringLiteral("mount"),
                                  {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                                   QStringLiteral("size=") + size, QStringLiteral("tmpfs"), folder})
                == 0;
}

SmallDisk::~SmallDisk()
{
    if (m_mounted)
        QProcess::execute(QStringLiteral("umount"), {m_folder});
}

bool SmallDisk::fill() const
{
    QFile filler(m_folder + QStringLiteral("/filler"));
    if (!filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return false;
    const QByteArray block(4096, 'x');
    qint64 written = 0;
    while (filler.write(block) == block.size())
        written += block.size();
    return written > 0;
}

} // namespace Fixtures
