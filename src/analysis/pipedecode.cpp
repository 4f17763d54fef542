#include "analysis/pipedecode.h"

#include <QProcess>

#include <memory>

namespace PipeDecode {

namespace {

// How often a stop is looked for while a tool is silent.
constexpr int PollMilliseconds = 100;
// How long the feeding decoder may take to end once the tool has.
constexpr int DecoderEndMilliseconds = 5000;

void end(QProcess &process, int milliseconds)
{
    if (process.state() != QProcess::NotRunning && !process.waitForFinished(milliseconds)) {
        process.kill();
        process.waitForFinished();
    }
}

} // namespace

bool FeedBytes(const QByteArray &bytes, QByteArray &partial, int channels, Analysis::Pass &pass)
{
    partial += bytes;
    const qsizetype frameBytes = qsizetype(sizeof(float)) * channels;
    const qsizetype frames = partial.size() / frameBytes;
    const bool wanted = frames == 0 || pass.feed(reinterpret_cast<const float *>(partial.constData()), size_t(frames));
    partial.remove(0, frames * frameBytes);
    return wanted;
}

Ended Feed(const CommandLine &command, const std::optional<CommandLine> &decoder, int rate, int channels,
           Analysis::Pass &pass, const std::function<bool()> &stopped, int stallSeconds)
{
    Ended ended;
    QProcess reader;
    std::unique_ptr<QProcess> feeding;
    Shell32::Prepare(reader, command);
    if (decoder) {
        feeding = std::make_unique<QProcess>();
        Shell32::Prepare(*feeding, *decoder);
        feeding->setStandardOutputProcess(&reader);
        feeding->start();
    }
    reader.start();
    if (!reader.waitForStarted()) {
        ended.reader = Shell32::FailedStart(reader);
        if (feeding)
            end(*feeding, 0);
        return ended;
    }
    pass.begin(rate, channels);
    QByteArray partial;
    bool wanted = true;
    Watchdog watchdog({&reader, feeding.get()}, stallSeconds);
    while (wanted && !stopped() && !watchdog.fired()) {
        if (reader.waitForReadyRead(PollMilliseconds) || reader.bytesAvailable() > 0)
            wanted = FeedBytes(reader.readAllStandardOutput(), partial, channels, pass);
        else if (reader.state() == QProcess::NotRunning)
            break;
        else
            watchdog.check();
    }
    // A hung tool is a failure, not a decoding stopped on purpose.
    ended.stoppedEarly = !watchdog.fired() && reader.state() != QProcess::NotRunning;
    end(reader, 0);
    pass.end();
    ended.reader = Shell32::FinishedRun(reader);
    ended.reader.stalled = watchdog.fired();
    if (feeding) {
        end(*feeding, ended.stoppedEarly ? 0 : DecoderEndMilliseconds);
        ended.decoderOutput = feeding->readAllStandardError();
    }
    return ended;
}

} // namespace PipeDecode
