#include "platform/watchdog.h"

#include "platform/shell32.h"

#include <QFile>
#include <QProcess>

namespace {

// utime and stime, the 14th and 15th fields of /proc/<pid>/stat, after the name in brackets.
qint64 processorTicks(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray line = stat.readAll();
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    return fields.size() > 12 ? fields.at(11).toLongLong() + fields.at(12).toLongLong() : 0;
}

// rchar and wchar of /proc/<pid>/io: bytes read and written, pipes included.
qint64 bytesMoved(qint64 pid)
{
    QFile io(QStringLiteral("/proc/%1/io").arg(pid));
    if (!io.open(QIODevice::ReadOnly))
        return 0;
    qint64 bytes = 0;
    for (const QByteArray &line : io.readAll().split('\n')) {
        if (line.startsWith("rchar:") || line.startsWith("wchar:"))
            bytes += line.mid(6).trimmed().toLongLong();
    }
    return bytes;
}

} // namespace

Watchdog::Watchdog(const QList<QProcess *> &processes, int stallSeconds, QObject *parent)
    : QObject(parent),
      m_stallMilliseconds(qint64(stallSeconds) * 1000)
{
    for (QProcess *process : processes)
        m_processes.append(process);
    m_quiet.start();
    // A few looks per stall are enough; a stall is told within a quarter of its length.
    m_timer.setInterval(int(qMin<qint64>(5000, m_stallMilliseconds / 4)));
    connect(&m_timer, &QTimer::timeout, this, &Watchdog::check);
    m_timer.start();
}

QString Watchdog::Reason(int stallSeconds)
{
    return QStringLiteral("it read, wrote and computed nothing for %1 s, so it was stopped").arg(stallSeconds);
}

qint64 Watchdog::activity() const
{
    qint64 total = 0;
    for (const QPointer<QProcess> &process : m_processes) {
        if (process && process->processId() > 0)
            total += processorTicks(process->processId()) + bytesMoved(process->processId());
    }
    return total;
}

void Watchdog::check()
{
    const qint64 now = activity();
    if (now != m_lastActivity) {
        m_lastActivity = now;
        m_quiet.start();
        return;
    }
    if (m_quiet.elapsed() < m_stallMilliseconds)
        return;
    m_fired = true;
    m_timer.stop();
    for (const QPointer<QProcess> &process : m_processes) {
        if (process)
            Shell32::Kill(*process);
    }
}
