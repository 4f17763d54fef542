#pragma once
// Whether a SoX run made what it should. SoX may end with status 0 after a failed write (a
// full disk): it then says so in a "FAIL" line and leaves a cut-off file. So a run counts
// as made only when SoX ended with 0, wrote no "FAIL" line, and the file holds audio of the
// expected length, within a few MP3 frames.

#include "platform/shell32.h"
#include "analysis/audiolength.h"

#include <QStringList>

#include <optional>

namespace PreviewCheck {

// How long a written file should play, and by how much less it may: SoX drops a little at
// the end of a source (its decoder's delay and padding) and at every seam of a join.
struct Expected {
    double seconds = 0;
    double slack = 0;
};
// A cut: the duration, or what is left of the source after the start (0 when the start lies
// beyond its end). None when the source's length is unknown.
std::optional<Expected> ExpectedCut(double start, double duration, std::optional<AudioLength> source);
// A join: the pieces' lengths together, less the overlap of each seam when they crossfade.
Expected ExpectedJoin(const QStringList &pieces, double overlap);

// "" when SoX ended with status 0 and wrote no "FAIL" line; else the reason, in SoX's words
// where it gave any ("SoX failed: can't open input file ...").
QString ToolProblem(const Shell32::RunResult &run);

// "" when the cut written to the file is good; else the reason, naming what is wrong in a
// person's words where it is known: "it holds no audio that SoX can read (...)", "the disk
// is full: ...", "the track is only 0:30 long, so a preview from 1:00:00 has nothing in it",
// a cut too short to hold audio; else SoX's own words (an empty source is refused before
// any tool reads it: PreviewFiles::SourceProblem). A cut that
// failed or came out short while the source's length changed (it was truncated in place,
// say) is told as such. sourceLength is the source's length measured before SoX read it;
// start and duration are the texts SoX was given (PreviewCommands::SecondsText). For a
// source SoX cannot read, FFmpeg ("" when missing) is asked which format it is.
QString CutProblem(const Shell32::RunResult &run, const QString &writtenPath, const QString &sourcePath,
                   std::optional<AudioLength> sourceLength, const QString &start, const QString &duration,
                   const QString &ffmpeg);
// The same for a join of the pieces: the written file must last as long as they together.
QString JoinProblem(const Shell32::RunResult &run, const QString &writtenPath, const QStringList &pieces,
                    double overlap);
// Why a joined file is not made when its name is a file of the list.
QString ListedJoinProblem();
// "" when every piece is longer than twice the overlap of a crossfade, so that its fade-in
// and fade-out do not meet; else which one is too short. pieceSeconds are the pieces'
// lengths as SoX reads them, in the order of sources.
QString CrossfadeProblem(const QList<double> &pieceSeconds, const QStringList &sources, double overlap);
// "FFmpeg reads it as concat, ..." when FFmpeg's error output tells that it refused the
// source's format (PreviewCommands::FfmpegInput) as a list of other files; else "".
QString RefusedByFfmpeg(const QByteArray &errorOutput);
// "the song ends at 0:20: the preview is 15.0 s" when the preview made from start lasts
// less than the duration asked because its source ends; else "".
QString EndsEarly(double start, double duration, std::optional<AudioLength> sourceLength,
                  const QString &previewPath);
// Why FFmpeg could not decode a source, from its error output: a refused format, no audio
// stream ("it holds no audio stream (a video file?)"), damaged audio ("it cannot be decoded:
// its audio is damaged (FFmpeg: <its last words>)"), else "it cannot be decoded (FFmpeg: <its
// last words>)", without the addresses and paths FFmpeg puts before them; "" when it said
// nothing.
// exitCode: FFmpeg's exit status when it failed, for one that said nothing; 0 when unknown.
QString DecoderProblem(const QByteArray &errorOutput, int exitCode = 0);
// True when FFmpeg's error output tells of data it could not read ("Invalid data found when
// processing input"): at a cut-off or overwritten stretch of an M4A it ends the stream there,
// with status 0, so the song seems to end early.
bool DecoderMetDamage(const QByteArray &errorOutput);
// Why FFmpeg's description of the source (GetBitrate::ProbeCommand) held no audio stream to
// take the bit rate from, in the same words.
QString ProbeProblem(const QString &sourcePath, const Shell32::RunResult &probe);

// Why a song has no start of its own: the length a share is taken of cannot be read, or no
// audio to look for its chorus in could be decoded.
QString NoLengthForShare(const QString &sourcePath);
QString NoAudioForChorus(const QString &sourcePath);
// Why a source only FFmpeg decodes cannot be read while FFmpeg is missing (ffmpegProblem).
QString WithoutFfmpeg(const QString &sourcePath, const QString &ffmpegProblem);

} // namespace PreviewCheck
