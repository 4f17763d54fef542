#pragma once
// Stops a tool that hangs: one that, together with the processes it works with (the
// decoder feeding it), neither reads, writes nor uses processor time for a while, as a read
// of a pipe that nobody writes does. A slow tool that works is never stopped, however long
// it takes.

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QTimer>

class QProcess;

class Watchdog : public QObject {
    Q_OBJECT

public:
    static constexpr int StallSeconds = 60;

    // Watches the processes from now on; they may start later.
    explicit Watchdog(const QList<QProcess *> &processes, int stallSeconds = StallSeconds, QObject *parent = nullptr);

    // True once it has killed the processes.
    bool fired() const { return m_fired; }
    // "it read, wrote and computed nothing for 60 s, so it was stopped"
    static QString Reason(int stallSeconds = StallSeconds);

    // Looks once; the timer does so on an event loop, and a loop that waits on its tools
    // without one (a decoding thread) calls it whenever a wait came back empty.
    void check();

private:
    // Processor ticks and bytes read and written so far, by all processes together.
    qint64 activity() const;

    QList<QPointer<QProcess>> m_processes;
    qint64 m_stallMilliseconds;
    qint64 m_lastActivity = -1;
    QElapsedTimer m_quiet; // since the activity last changed
    QTimer m_timer;
    bool m_fired = false;
};
