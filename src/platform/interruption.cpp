#include "platform/interruption.h"

#include <QSocketNotifier>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace {

int pipeEnds[2] = {-1, -1};
volatile sig_atomic_t firstSignal = 0;

extern "C" void writeSignal(int signalNumber)
{
    const int saved = errno;
    if (firstSignal == 0)
        firstSignal = signalNumber;
    const char byte = char(signalNumber);
    [[maybe_unused]] const ssize_t written = ::write(pipeEnds[1], &byte, 1);
    errno = saved;
}

} // namespace

Interruption::Interruption(const QList<int> &signalNumbers, QObject *parent)
    : QObject(parent)
{
    firstSignal = 0;
    if (::pipe2(pipeEnds, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    m_notifier = new QSocketNotifier(pipeEnds[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &Interruption::readPipe);
    struct sigaction action {};
    action.sa_handler = writeSignal;
    sigemptyset(&action.sa_mask);
    for (const int signalNumber : signalNumbers)
        sigaddset(&action.sa_mask, signalNumber); // one handler at a time decides which came first
    action.sa_flags = SA_RESTART;
    for (const int signalNumber : signalNumbers) {
        struct sigaction former {};
        if (sigaction(signalNumber, &action, &former) != 0)
            continue;
        m_signals.append(signalNumber);
        m_former.append(former);
    }
}

Interruption::~Interruption()
{
    for (qsizetype index = 0; index < m_signals.size(); ++index)
        sigaction(m_signals.at(index), &m_former.at(index), nullptr);
    delete m_notifier;
    for (int &end : pipeEnds) {
        if (end >= 0)
            ::close(end);
        end = -1;
    }
}

int Interruption::signalNumber() const
{
    return firstSignal;
}

void Interruption::readPipe()
{
    char byte = 0;
    while (::read(pipeEnds[0], &byte, 1) == 1) {
    }
    if (m_told || firstSignal == 0)
        return;
    m_told = true;
    emit received(firstSignal);
}
