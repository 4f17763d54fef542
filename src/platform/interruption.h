#pragma once
// Signals that stop a run (Ctrl+C, SIGTERM, a closed terminal or session, a closed pipe)
// turned into an ordinary event: the signal handler only notes the signal and writes its
// number into a pipe, and a QSocketNotifier reads it on the event loop, where the running
// tools can be stopped and their unfinished files removed safely.

#include <QList>
#include <QObject>

#include <csignal>

class QSocketNotifier;

class Interruption : public QObject {
    Q_OBJECT

public:
    // Installs the handlers of the given signals; what was there before comes back when the
    // object goes. Only one Interruption may exist at a time.
    explicit Interruption(const QList<int> &signalNumbers, QObject *parent = nullptr);
    ~Interruption() override;

    // The first signal received, 0 while none came. Set the moment the signal arrives, so
    // it is known also when the event loop ended before received was told.
    int signalNumber() const;

signals:
    void received(int signalNumber);

private:
    void readPipe();

    QList<int> m_signals;
    QList<struct sigaction> m_former;
    QSocketNotifier *m_notifier = nullptr;
    bool m_told = false;
};
