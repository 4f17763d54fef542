#pragma once
// The steps that make a preview of one source, the same for the window's job (one tool at a
// time on the window's thread) and for lumbrisk-cli's batch (a pool of tools and threads):
// how the source is read (which decoder, and the analysis of its audio), the command line
// that cuts every kind of master, whether the cut made a good file and in which words it did
// not, and the tags and mark the file gets. Each engine keeps only its own order of work.

#include "analysis/audiolength.h"
#include "analysis/decodedaudio.h"
#include "analysis/sourceanalysis.h"
#include "platform/commandline.h"
#include "preview/tools.h"

#include <QString>

#include <memory>
#include <optional>

namespace Shell32 {
struct RunResult;
}

namespace PreviewSteps {

// -- Reading the source
// True for a master SoX has no reader for, which FFmpeg decodes into SoX's standard input
// (SourceAudio::NeedsDecoder); an MP3 is decoded in the process for its analysis, any other
// master by the tools.
bool NeedsFfmpeg(const QString &source);
// "" when the tools found can read the source; else why not (FFmpeg is missing).
QString ReadingProblem(const Tools::Found &tools, const QString &source);
// What the analysis of the source needs to read it: its path, its length when known, the
// preview's length and, for any source but an MP3, the tool runs that decode it
// (AnalysisPipes). The caller says what to look for.
SourceAnalysis::Request AnalysisRequest(const Tools::Found &tools, const QString &source, double duration,
                                        std::optional<AudioLength> length, int stretchRate = 0);
// How the analysis reads a source that is no MP3: SoX decodes the whole song for the search,
// and the stretch from a start on at `stretchRate`, fed by FFmpeg where it needs to be. A
// stretch FFmpeg feeds ends where the song does (TrimSeconds). None for an MP3.
std::optional<SourceAnalysis::Pipes> AnalysisPipes(const Tools::Found &tools, const QString &source, int stretchRate,
                                                   double duration, std::optional<double> songSeconds);
// Why the analysis gave no start or measure: a tool that failed, in FFmpeg's words where it
// gave any, or no audio for the chorus search; "" when it got what it looked for.
QString AnalysisProblem(const SourceAnalysis::Outcome &outcome, const QString &source);
// Why an automatic start is not a chorus's, for the note after the song's name: "nothing
// repeats in it, so its preview starts a quarter in, at 0:41", or "too long to look into ...".
QString QuarterInNote(const Chorus::Start &start);

// -- Cutting
// How long a cut from start reads. SoX does not know the length of a stream FFmpeg decodes,
// and its fade-out would pad a cut that the song's end makes short with silence up to the
// duration: such a cut ends where the song does.
double TrimSeconds(double duration, std::optional<double> songSeconds, double start);
// The seconds of a kept stretch SoX trims: no more than it holds, so that a fade-out ends with it.
double StretchSeconds(const DecodedAudio::Stretch &stretch, double duration);

// What one cut is made of.
struct Cut {
    QString source;
    QString bitrate;     // kbit/s, as -C takes it
    QString start;       // as SoX gets it
    double duration = 0; // seconds asked
    // The source's length: only a master FFmpeg decodes needs it (NeedsFfmpeg), for its trim.
    std::optional<double> songSeconds;
    double fadeIn = 0;
    double fadeOut = 0;
    std::optional<double> gain; // dB
    // Samples the program writes into SoX itself (as a WAVE file) instead of SoX reading the
    // source: the stretch the analysis decoded, at the source's own rate.
    std::shared_ptr<const DecodedAudio::Stretch> stretch;
};
struct CutLine {
    CommandLine sox;
    std::optional<CommandLine> decoder; // FFmpeg, writing the source into SoX's standard input
    std::optional<CommandLine> encoder; // FFmpeg, writing the preview from SoX's standard output
};
// The SoX run that writes the cut into writeTo: SoX reading the source, or the stretch, or
// what FFmpeg decodes of it.
CutLine CutCommand(const Tools::Found &tools, const Cut &cut, const QString &writeTo);

// -- Checking what was made
// What the decoder feeding a cut left (nothing when none fed it): its words on the source (PreviewCheck::DecoderProblem),
// whether it gave up (PipeDecode::DecoderGaveUp), and whether it found data it could not read
// (PreviewCheck::DecoderMetDamage), at which it may end the stream early without failing.
struct DecoderEnd {
    QString words;
    bool failed = false;
    bool damaged = false;
};
DecoderEnd EndOf(const Shell32::RunResult &decoder);
// "" when the cut written is good; else why not (PreviewCheck::CutProblem). FFmpeg complains
// of the pipe SoX closed when it had enough: only a failed SoX run, FFmpeg's own failure
// (too much of the source damaged), or a cut short of what the source's length promises after
// FFmpeg met damage, is told in FFmpeg's words. sourceLength: measured before
// SoX read the source.
QString CutProblem(const Shell32::RunResult &run, const DecoderEnd &decoder, const QString &written,
                   const Cut &cut, std::optional<AudioLength> sourceLength, const QString &ffmpeg);

// -- Tags
// Gives the preview its song's tags (or, without tags, none) and the mark; "" when done,
// else "tags not copied: <why>".
QString Tag(bool copyTags, const QString &source, const QString &written, const QString &mark);
// The same for a joined preview: what all its songs share.
QString TagJoined(bool copyTags, const QStringList &sources, const QString &written, const QString &mark);

} // namespace PreviewSteps
