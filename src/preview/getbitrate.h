#pragma once
// Module GetBitrate: the bit-rate text placed after -C in the SoX command lines, either
// from the chosen entry ("128 kbps") or read from the source by FFmpeg.

#include "platform/commandline.h"
#include "preview/outputformat.h"

#include <QString>

class Prompts;

namespace Shell32 {
class Progress;
struct RunResult;
}

namespace GetBitrate {

// What a probe needs besides the source: where failures are reported, the FFmpeg found
// for this job ("" when missing), the bar and file count for the runner's feedback, the
// run's private folder that keeps a copy of FFmpeg's words as "out.txt" ("" keeps none),
// and where the probe's run goes when no bit rate was found, for its reason (may be null).
struct Context {
    Prompts &prompts;
    QString ffmpeg;
    Shell32::Progress *progress = nullptr;
    int count = 1;
    QString captureFolder;
    Shell32::RunResult *failedProbe = nullptr;
};

// ffmpeg -i "<source>" (PreviewCommands::FfmpegInput: the file named, only as audio), the
// source made absolute. FFmpeg describes its input on its error output and exits.
CommandLine ProbeCommand(const QString &ffmpeg, const QString &sourcePath);
// Runs the probe and reads the bit rate ("192") from FFmpeg's description, in memory. A
// probe that did not run, or a description without an audio line, gives "".
QString GetBitrateOfMP3(const QString &sourcePath, const Context &context);
// "128 kbps" gives "128" without running anything; a choice without "kbps" probes an
// existing source; otherwise "128".
QString GetBitrateCombo(const QString &choice, const QString &sourcePath, const Context &context);

// The reading rule for the capture: the last line containing "Audio:" describes the stream;
// its number before "kb/s" is the bit rate ("192"). A stream without one (lossless FLAC) or
// above the format's highest (WAV's 1411) gives that highest rate, an MP3's "320"; one below
// its lowest (an Opus source of 6 kbit/s for AAC) its lowest. "" without
// such a line: the source holds no audio stream.
QString BitrateFromCapture(const QString &capture, const OutputFormat &format = OutputFormat::Mp3());
// What -b same could not keep of a lossy source's rate, which the format has not: "its 320
// kbit/s is more than Opus takes: its preview has 256 kbit/s"; "" when it is kept, or when the
// source is lossless or states none.
QString UnkeptRateNote(const QString &capture, const OutputFormat &format);
// The format FFmpeg recognised in the source, from its "Input #0, <format>, from" line
// ("mov,mp4,m4a,3gp,3g2,mj2", "mp3"); "" when it recognised none.
QString FormatFromCapture(const QString &capture);
// Keeps FFmpeg's description as "out.txt" in the folder for a look afterwards; never
// follows a symbolic link there. Best effort: false when it cannot be written.
bool SaveCapture(const QByteArray &capture, const QString &folder);

} // namespace GetBitrate
