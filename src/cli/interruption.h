#pragma once
// Ctrl+C (SIGINT) and SIGTERM turned into an ordinary event: the signal handler only
// writes the signal's number into a pipe, and a QSocketNotifier reads it on the event loop,
// where the running tools can be stopped and their unfinished files removed safely.

#include <QObject>

class QSocketNotifier;

class Interruption : public QObject {
    Q_OBJECT

public:
    // Installs the handlers; only one Interruption may exist at a time.
    explicit Interruption(QObject *parent = nullptr);
    ~Interruption() override;

    // The first signal received, 0 while none came.
    int signalNumber() const { return m_signal; }

signals:
    void received(int signalNumber);

private:
    void readPipe();

    QSocketNotifier *m_notifier = nullptr;
    int m_signal = 0;
};
