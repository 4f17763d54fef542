#include "preview/previewsteps.h"

#include "analysis/chorus.h"
#include "analysis/pipedecode.h"
#include "analysis/sourceaudio.h"
#include "platform/shell32.h"
#include "preview/previewcheck.h"
#include "preview/previewcommands.h"
#include "preview/tagcopy.h"

#include <cmath>

namespace PreviewSteps {

using PreviewCommands::SecondsText;

namespace {

// SoX's fade effect, "" without fades; "-0" ends the fade-out at the end of the cut, also
// when the track ends early.
QString fades(double fadeIn, double fadeOut)
{
    if (fadeIn <= 0 && fadeOut <= 0)
        return QString();
    QString fade = QStringLiteral(" fade ") + SecondsText(fadeIn);
    if (fadeOut > 0)
        fade += QStringLiteral(" -0 ") + SecondsText(fadeOut);
    return fade;
}

// SoX reading the stretch, what FFmpeg decodes of the source, or the source itself.
CommandLine soxCut(const QString &sox, const Cut &cut, const QString &writeTo)
{
    if (cut.stretch)
        return PreviewCommands::CutStretch(sox, cut.bitrate, writeTo,
                                           SecondsText(StretchSeconds(*cut.stretch, cut.duration)));
    if (NeedsFfmpeg(cut.source)) {
        const double trim = TrimSeconds(cut.duration, cut.songSeconds, cut.start.toDouble());
        return PreviewCommands::CutDecoded(sox, cut.bitrate, writeTo, cut.start, SecondsText(trim));
    }
    return PreviewCommands::Cut(sox, cut.source, cut.bitrate, writeTo, cut.start, SecondsText(cut.duration));
}

} // namespace

bool NeedsFfmpeg(const QString &source)
{
    return SourceAudio::NeedsDecoder(source);
}

QString ReadingProblem(const Tools::Found &tools, const QString &source)
{
    if (NeedsFfmpeg(source) && tools.ffmpeg.isEmpty())
        return PreviewCheck::WithoutFfmpeg(source, tools.ffmpegProblem);
    return QString();
}

SourceAnalysis::Request AnalysisRequest(const Tools::Found &tools, const QString &source, double duration,
                                        std::optional<AudioLength> length, int stretchRate)
{
    SourceAnalysis::Request request;
    request.source = source;
    request.previewSeconds = duration;
    if (length)
        request.knownSeconds = length->seconds;
    const std::optional<double> songSeconds = length ? std::optional(length->seconds) : std::nullopt;
    request.pipes = AnalysisPipes(tools, source, stretchRate, duration, songSeconds);
    return request;
}

std::optional<SourceAnalysis::Pipes> AnalysisPipes(const Tools::Found &tools, const QString &source, int stretchRate,
                                                   double duration, std::optional<double> songSeconds)
{
    if (DecodedAudio::Decodes(source))
        return std::nullopt;
    const QString sox = tools.sox;
    SourceAnalysis::Pipes pipes;
    if (!NeedsFfmpeg(source)) {
        pipes.search = PreviewCommands::DecodeMono(sox, source, Chorus::DecodingRate);
        pipes.stretch = [sox, source, stretchRate, duration](double start) {
            return PreviewCommands::Decode(sox, source, stretchRate, SecondsText(start), SecondsText(duration));
        };
        return pipes;
    }
    pipes.feeder = PreviewCommands::FfmpegDecode(tools.ffmpeg, source);
    pipes.search = PreviewCommands::DecodeMonoDecoded(sox, Chorus::DecodingRate);
    pipes.stretch = [sox, stretchRate, duration, songSeconds](double start) {
        const double seconds = TrimSeconds(duration, songSeconds, start);
        return PreviewCommands::DecodeDecoded(sox, stretchRate, SecondsText(start), SecondsText(seconds));
    };
    return pipes;
}

QString AnalysisProblem(const SourceAnalysis::Outcome &outcome, const QString &source)
{
    if (outcome.failedRun) {
        const PipeDecode::Ended &ended = *outcome.failedRun;
        const QString byFfmpeg = PreviewCheck::DecoderProblem(ended.decoderOutput, ended.decoderFailure);
        return byFfmpeg.isEmpty() ? PreviewCheck::ToolProblem(ended.reader) : byFfmpeg;
    }
    if (outcome.noAudio)
        return PreviewCheck::NoAudioForChorus(source);
    return QString();
}

QString QuarterInNote(const Chorus::Start &start)
{
    const QString why = start.tooLong
                            ? QStringLiteral("too long to look into (over %1 minutes)").arg(int(Chorus::LongestSongSeconds / 60))
                            : QStringLiteral("nothing repeats in it");
    // Whole seconds, as people say them.
    return why + QStringLiteral(", so its preview starts a quarter in, at ") + PreviewCommands::ClockText(std::floor(start.seconds));
}

double TrimSeconds(double duration, std::optional<double> songSeconds, double start)
{
    const double left = songSeconds ? *songSeconds - start : duration;
    return left > 0 && left < duration ? left : duration;
}

double StretchSeconds(const DecodedAudio::Stretch &stretch, double duration)
{
    return std::min(duration, std::floor(double(stretch.frames()) * 1000 / stretch.rate) / 1000);
}

CutLine CutCommand(const Tools::Found &tools, const Cut &cut, const QString &writeTo)
{
    CutLine line{soxCut(tools.sox, cut, writeTo), std::nullopt,
                 PreviewCommands::Encode(tools.ffmpeg, cut.bitrate, writeTo)};
    // A stretch the process holds is written into SoX by the process itself.
    if (NeedsFfmpeg(cut.source) && !cut.stretch)
        line.decoder = PreviewCommands::FfmpegDecode(tools.ffmpeg, cut.source);
    line.sox.plain(fades(cut.fadeIn, cut.fadeOut));
    if (cut.gain)
        line.sox.plain(QStringLiteral(" gain ") + PreviewCommands::SoxNumber(*cut.gain));
    return line;
}

DecoderEnd EndOf(const Shell32::RunResult &decoder)
{
    const bool failed = decoder.outcome == Shell32::RunResult::Outcome::Exited
                        && PipeDecode::DecoderGaveUp(decoder.exitCode, decoder.errorOutput);
    return {PreviewCheck::DecoderProblem(decoder.errorOutput, failed ? decoder.exitCode : 0), failed,
            PreviewCheck::DecoderMetDamage(decoder.errorOutput)};
}

QString CutProblem(const Shell32::RunResult &run, const DecoderEnd &decoder, const QString &written, const Cut &cut,
                   std::optional<AudioLength> sourceLength, const QString &ffmpeg)
{
    const QString problem = PreviewCheck::CutProblem(run, written, cut.source, sourceLength, cut.start,
                                                     SecondsText(cut.duration), ffmpeg);
    if (decoder.failed || (!problem.isEmpty() && decoder.damaged)
        || (!problem.isEmpty() && !decoder.words.isEmpty() && !PreviewCheck::ToolProblem(run).isEmpty()))
        return decoder.words;
    return problem;
}

QString Tag(bool copyTags, const QString &source, const QString &written, const QString &mark)
{
    return copyTags ? TagCopy::CopyTags(source, written, mark) : TagCopy::MarkOnly(written, mark);
}

QString TagJoined(bool copyTags, const QStringList &sources, const QString &written, const QString &mark)
{
    return copyTags ? TagCopy::CopyCommonTags(sources, written, mark) : TagCopy::MarkOnly(written, mark);
}

} // namespace PreviewSteps
