#include "analysis/pipedecode.h"

#include <QProcess>

#include <memory>

namespace PipeDecode {

namespace {

// How often a stop is looked for while a tool is silent.
constexpr int PollMilliseconds = 100;

// Takes what the feeding decoder wrote to its error output, waiting up to `milliseconds` for
// some; true when there was some. Unread, a decoder with much to say (a warning per frame of a
// damaged file) would fill its pipe and stop, and hold up the tool it feeds.
bool drainErrors(QProcess &decoder, int milliseconds, Shell32::OutputTail &tail)
{
    const bool spoke = decoder.waitForReadyRead(milliseconds) || decoder.bytesAvailable() > 0;
    tail.append(decoder.readAllStandardError());
    return spoke;
}

} // namespace

bool DecoderGaveUp(int exitCode, const QByteArray &errorOutput)
{
    return exitCode != 0 && !errorOutput.contains("Broken pipe");
}

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
        feeding->setReadChannel(QProcess::StandardError);
        feeding->start();
    }
    reader.start();
    if (!reader.waitForStarted()) {
        ended.reader = Shell32::FailedStart(reader);
        if (feeding)
            Shell32::EndWithin(*feeding, 0);
        return ended;
    }
    pass.begin(rate, channels);
    QByteArray partial;
    bool wanted = true;
    Shell32::OutputTail decoderErrors;
    bool decoderSpoke = false;
    Watchdog watchdog({&reader, feeding.get()}, stallSeconds);
    // Both tools are waited for in turn: the reader's samples, else the decoder's words. One
    // that has more to give is asked again at once.
    while (wanted && !stopped() && !watchdog.fired()) {
        const bool samples = reader.waitForReadyRead(decoderSpoke ? 0 : PollMilliseconds) || reader.bytesAvailable() > 0;
        if (samples)
            wanted = FeedBytes(reader.readAllStandardOutput(), partial, channels, pass);
        else if (reader.state() == QProcess::NotRunning)
            break;
        decoderSpoke = feeding && drainErrors(*feeding, samples ? 0 : PollMilliseconds, decoderErrors);
        if (!samples && !decoderSpoke)
            watchdog.check();
    }
    // A hung tool is a failure, not a decoding stopped on purpose.
    ended.stoppedEarly = !watchdog.fired() && reader.state() != QProcess::NotRunning;
    Shell32::EndWithin(reader, 0);
    pass.end();
    ended.reader = Shell32::FinishedRun(reader);
    ended.reader.stalled = watchdog.fired();
    if (feeding) {
        const Shell32::RunResult fed =
            Shell32::EndFeeder(*feeding, decoderErrors, ended.stoppedEarly ? 0 : Shell32::FeederEndMilliseconds);
        ended.decoderOutput = fed.errorOutput;
        if (fed.outcome == Shell32::RunResult::Outcome::Exited && DecoderGaveUp(fed.exitCode, ended.decoderOutput))
            ended.decoderFailure = fed.exitCode;
    }
    return ended;
}

} // namespace PipeDecode
