#include "preview/songstart.h"

#include "analysis/chorus.h"
#include "analysis/mp3decode.h"
#include "analysis/sourceaudio.h"
#include "platform/numbers.h"
#include "platform/shell32.h"
#include "preview/previewcheck.h"
#include "preview/previewcommands.h"

#include <QEventLoop>
#include <QThread>

#include <cmath>
#include <functional>
#include <memory>

namespace SongStart {

namespace {

double toMillisecond(double seconds)
{
    return std::round(seconds * 1000) / 1000;
}

// Runs the work on a thread of its own and lets window events run until it has ended.
void offTheWindowThread(const std::function<void()> &work)
{
    const std::unique_ptr<QThread> thread(QThread::create(work));
    QEventLoop loop;
    QObject::connect(thread.get(), &QThread::finished, &loop, &QEventLoop::quit);
    thread->start();
    loop.exec();
    thread->wait();
}

// The song in one channel at the rate the search asks for: an MP3 in the process, anything
// else from a tool; none with the reason when nothing could be decoded.
std::optional<Mp3Decode::Audio> decoded(const QString &source, const Tools::Found &tools, const ToolRun &runTool,
                                        QString &problem)
{
    if (Mp3Decode::Decodes(source)) {
        std::optional<Mp3Decode::Audio> audio;
        offTheWindowThread([&] { audio = Mp3Decode::DecodeMono(source); });
        return audio;
    }
    const bool byFfmpeg = SourceAudio::NeedsDecoder(source);
    if (byFfmpeg && tools.ffmpeg.isEmpty()) {
        problem = PreviewCheck::WithoutFfmpeg(source, tools.ffmpegProblem);
        return std::nullopt;
    }
    const CommandLine command = byFfmpeg ? PreviewCommands::FfmpegDecodeMono(tools.ffmpeg, source, Chorus::DecodingRate)
                                         : PreviewCommands::DecodeMono(tools.sox, source, Chorus::DecodingRate);
    const Shell32::RunResult run = runTool(command);
    problem = PreviewCheck::ToolProblem(run);
    if (!problem.isEmpty() && byFfmpeg) {
        const QString words = PreviewCheck::DecoderProblem(run.errorOutput);
        problem = words.isEmpty() ? QStringLiteral("it cannot be decoded") : words;
    }
    if (!problem.isEmpty())
        return std::nullopt;
    return Mp3Decode::FromFloats(run.output, Chorus::DecodingRate);
}

Found chorusOf(const QString &source, double previewSeconds, const Tools::Found &tools, const ToolRun &runTool)
{
    const std::optional<Mp3Audio::Length> length = SourceAudio::Measure(source);
    if (length && length->seconds > Chorus::LongestSongSeconds) {
        const Chorus::Start start = Chorus::TooLong(length->seconds);
        return Found{toMillisecond(start.seconds), start.fromChorus, QString()};
    }
    QString problem;
    std::optional<Mp3Decode::Audio> audio = decoded(source, tools, runTool, problem);
    std::optional<Chorus::Start> start;
    if (audio && !audio->samples.empty())
        offTheWindowThread([&] { start = Chorus::ChooseStart(audio->samples, audio->rate, previewSeconds); });
    if (!start)
        return Found{0, false, problem.isEmpty() ? PreviewCheck::NoAudioForChorus(source) : problem};
    return Found{toMillisecond(start->seconds), start->fromChorus, QString()};
}

} // namespace

QString FormsAccepted()
{
    return QStringLiteral("Give seconds (65, 2.5), m:ss (1:05) or h:mm:ss (1:02:03), a share of each song (25%), "
                          "or auto for where each song's chorus begins.");
}

std::optional<StartList::SourceCut> ReadField(const QString &text)
{
    StartList::SourceCut cut;
    if (const std::optional<double> number = Numbers::Read(text)) {
        cut.startSeconds = *number;
        return cut;
    }
    if (StartList::ReadStart(text.trimmed(), cut))
        return cut;
    return std::nullopt;
}

bool BeforeFirstSecond(const StartList::SourceCut &cut)
{
    return (cut.startSeconds && Numbers::RoundHalfEven(*cut.startSeconds) < 1) || cut.startShare == 0.0;
}

StartList::SourceCut ForJob(const QString &text)
{
    if (const std::optional<double> number = Numbers::Read(text))
        Numbers::ToInteger16(*number);
    const std::optional<StartList::SourceCut> cut = ReadField(text);
    if (cut && !BeforeFirstSecond(*cut))
        return *cut;
    StartList::SourceCut fallback;
    fallback.startSeconds = 3;
    return fallback;
}

bool PerSong(const StartList::SourceCut &cut)
{
    return cut.startAtChorus || cut.startShare;
}

Found ForSong(const StartList::SourceCut &cut, const QString &source, double previewSeconds,
              const Tools::Found &tools, const ToolRun &runTool)
{
    if (cut.startAtChorus)
        return chorusOf(source, previewSeconds, tools, runTool);
    const std::optional<Mp3Audio::Length> length = SourceAudio::Measure(source);
    if (!length)
        return Found{0, false, PreviewCheck::NoLengthForShare(source)};
    return Found{toMillisecond(cut.startShare.value_or(0) * length->seconds), false, QString()};
}

} // namespace SongStart
