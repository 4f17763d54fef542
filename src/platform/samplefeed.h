#pragma once
// Samples a tool reads on its standard input (SoX reading a WAVE file from "-"), written by
// this program from the event loop as the pipe takes them, so that neither the window nor a
// pool of tools waits on a full pipe.

#include <QByteArray>
#include <QObject>
#include <QSocketNotifier>

#include <memory>
#include <vector>

class QProcess;

class SampleFeed : public QObject {
public:
    // What the tool reads: a header, then raw 32-bit floats.
    struct Input {
        QByteArray header;
        std::shared_ptr<const std::vector<float>> samples;
    };

    // Before the process starts: gives it a pipe for its standard input, fed once it has
    // started, closed after the last sample, when the tool is gone, or with the process.
    // Without a pipe (none could be made) the tool reads nothing.
    static void Attach(QProcess &process, Input input);
    ~SampleFeed() override;

private:
    SampleFeed(int readEnd, int writeEnd, Input input, QProcess &process);
    void begin();
    void writeMore();
    // The bytes from `position` on, of the header or of the samples, as far as that piece goes.
    std::pair<const char *, size_t> piece(size_t position) const;
    void close();

    int m_readEnd;
    int m_pipeEnd;
    Input m_input;
    QSocketNotifier m_writable;
    size_t m_written = 0;
};
