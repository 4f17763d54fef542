#pragma once
// The rules of a preview run that need no window and no tool: the start and duration
// texts, the output names, and the SoX command lines for cutting and joining.

#include "platform/commandline.h"
#include "preview/outputformat.h"

#include <functional>
#include <optional>

namespace PreviewCommands {

// Start or duration as SoX gets it: the shortest plain decimal of the number the text reads
// as ("1e1" gives "10", "1." gives "1", "2.5" stays "2.5") when its nearest whole number
// (halves to even) is above 0, else "3". Throws AppError("Overflow") for numbers beyond the
// 16-bit range; the job then reports it and uses "3".
QString SecondsText(const QString &typed);
// A number as SoX reads it: the shortest plain C-locale decimal (10, 2.5, 0.125).
QString SoxNumber(double value);
// Seconds to the millisecond, as SoX gets a start, a length or a fade.
QString SecondsText(double seconds);
// A time as people read it: 65 as "1:05", 3600 as "1:00:00", 2.5 as "0:02.5".
QString ClockText(double seconds);
// Whole seconds as "m:ss", the minutes uncapped (3725 as "62:05"): elapsed times, and the
// starts of the review page, which its script writes alike.
QString MinutesText(double seconds);

// <folder>/<source's base name>_Preview.<format's extension>, with doubled separators
// collapsed. The window's previews are MP3s.
QString OutputPath(const QString &folder, const QString &sourcePath,
                   const OutputFormat &format = OutputFormat::Mp3());
// <folder>/Joined_Preview.<format's extension>, with doubled separators collapsed.
QString JoinedPath(const QString &folder, const OutputFormat &format = OutputFormat::Mp3());
// The path itself when it is not taken; else the first free "<path without .ext> (N).ext",
// N counting from 2 ("Track 01_Preview (2).mp3"). number, when given, says where the search
// begins (1: the path itself), for a caller that knows the names before it are taken, and
// gets the number of the name found: naming thousands of sources of one name stays linear.
QString FreePath(const QString &path, const std::function<bool(const QString &)> &taken, int *number = nullptr);

// Every preview is stereo.
constexpr int Channels = 2;

// "sox" --no-glob "<source>"  -c 2 -r <rate> -C <bit rate> --no-glob "<output>" trim <start> <duration>,
// the rate and the encoder's options (-C) as the output's name's format has them.
// Both paths are made absolute, so SoX never reads one as a pipe or an option, and each
// follows --no-glob, so SoX never reads one as a pattern of other names. Every builder
// below names its files so.
CommandLine Cut(const QString &sox, const QString &sourcePath, const QString &bitrate,
                const QString &outputPath, const QString &start, const QString &duration);
// The same cut of a source FFmpeg decodes: SoX reads its native stream from standard input
// ("sox" -t sox -  -c 2 ...), which FfmpegDecode writes.
CommandLine CutDecoded(const QString &sox, const QString &bitrate, const QString &outputPath, const QString &start,
                       const QString &duration);
// The same cut of an MP3's stretch the program writes into SoX's standard input as a WAVE
// file of 32-bit floats (DecodedAudio::WaveHeaderOf): "sox" -t wav -  -c 2 ... trim 0 <duration>.
CommandLine CutStretch(const QString &sox, const QString &bitrate, const QString &outputPath, const QString &duration);
// What lumbrisk-cli takes to write that file itself, for command lines run later:
// "lumbrisk-cli" --decoded-stretch <start> <seconds> "<source>".
inline constexpr char DecodedStretchOption[] = "--decoded-stretch";
// The lines of versions 1.2.2 and 1.2.3 have it write raw 32-bit floats instead, and so do
// the lines that limit the stretch.
inline constexpr char StretchFloatsOption[] = "--stretch-floats";
CommandLine DecodedStretch(const QString &program, const QString &sourcePath, const QString &start,
                           const QString &seconds, const char *option = DecodedStretchOption);
// What lumbrisk-cli takes to limit a stretch's raw stereo floats at `rate` from its standard
// input to `ceiling` (dBTP) as heard with the fades the cut gives it, as a run limits them,
// and write them as the WAVE file CutStretch reads, high-passed first as the encoder will
// when it filters below a cutoff (Hz, LimitedStretch::Plan):
// "lumbrisk-cli" --limited-stretch <rate> <ceiling> <fade-in> <fade-out>[ <cutoff>].
inline constexpr char LimitedStretchOption[] = "--limited-stretch";
CommandLine LimitedStretch(const QString &program, int rate, double ceiling, const QString &fadeIn,
                           const QString &fadeOut, double subsonicCutoff);
// "ffmpeg"<options> -protocol_whitelist file,pipe -format_whitelist <audio formats> -i "<source>":
// FFmpeg reads the file named and nothing that file names, and only as audio. A concat list,
// playlist or image sequence under an audio name would have it read other files, or wait
// forever on a pipe, so those formats are refused.
CommandLine FfmpegInput(const QString &ffmpeg, const QString &options, const QString &sourcePath);
// FfmpegInput with " -nostdin -v error", then -vn -f sox -
CommandLine FfmpegDecode(const QString &ffmpeg, const QString &sourcePath);
// For an output whose format FFmpeg encodes, the cut's and join's SoX writes raw floats on
// its standard output (-t f32 -) in place of the output's name, and this run writes the file:
// "ffmpeg" -nostdin -v error -f f32le -ar <rate> -ac 2 -i - -abort_on empty_output <format's options>
// -y "<output>": it fails when SoX gave it no sample.
// None for a format SoX writes itself.
std::optional<CommandLine> Encode(const QString &ffmpeg, const QString &bitrate, const QString &outputPath);
// "sox" --no-glob "<source>"  -t f32 -c 2 -r <rate> - trim <start> <duration>: the stretch Cut encodes,
// as raw 32-bit floats on standard output for measuring.
CommandLine Decode(const QString &sox, const QString &sourcePath, int rate, const QString &start,
                   const QString &duration);
// The same of a source FFmpeg decodes, read from standard input as CutDecoded reads it.
CommandLine DecodeDecoded(const QString &sox, int rate, const QString &start, const QString &duration);
// "sox" --no-glob "<source>"  -t f32 -c 1 -r <rate> -: the whole source in one channel, as raw 32-bit
// floats on standard output for looking into it.
CommandLine DecodeMono(const QString &sox, const QString &sourcePath, int rate);
// The same of a source FFmpeg decodes, read from standard input.
CommandLine DecodeMonoDecoded(const QString &sox, int rate);
// "sox"  --combine sequence --no-glob "<entry>" ...  -c 2 -r <rate> -C <bit rate> --no-glob
// "<joined>", with absolute paths as above. gains: dB each entry is raised or lowered by
// (SoX's -v before it), none for 0 or a missing one.
CommandLine Join(const QString &sox, const QStringList &entries, const QString &bitrate,
                 const QString &joinedPath, const QList<double> &gains = {});
// The same join as raw 32-bit floats at `rate` on standard output, for the limiter:
// "sox"  --combine sequence ... -t f32 -c 2 -r <rate> -
CommandLine JoinFloats(const QString &sox, const QStringList &entries, int rate, const QList<double> &gains = {});
// " splice -q <end of piece 1>,<half the overlap>,0 <end of piece 2>,..." for pieces of the
// given lengths as SoX reads them: each piece overlaps the next by `overlap` seconds, the
// one fading out as the other fades in with equal power. SoX takes each position on the
// joined pieces as they were before any splice; no leeway, so the length is exact.
QString CrossfadeSplices(const QList<double> &pieceSeconds, double overlap);

} // namespace PreviewCommands
