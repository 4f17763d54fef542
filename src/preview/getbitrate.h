#pragma once
// Module GetBitrate: the bit-rate text placed after -C in the SoX command lines, either
// from the chosen entry ("128 kbps") or read from the source by FFmpeg.

#include "platform/commandline.h"

#include <QString>

class Prompts;

namespace Shell32 {
class Progress;
}

namespace GetBitrate {

// What a probe needs besides the source: where failures are reported, the FFmpeg found
// for this job ("" when missing), and the bar and file count for the runner's feedback.
struct Context {
    Prompts &prompts;
    QString ffmpeg;
    Shell32::Progress *progress = nullptr;
    int count = 1;
};

// "ffmpeg" -i "<source>": FFmpeg describes the source on its error output and exits.
CommandLine ProbeCommand(const QString &ffmpeg, const QString &sourcePath);

// ProbeCommand; its error output goes fresh into "out.txt" in the temporary folder,
// and the last "Audio:" line there gives the bit rate ("192"). A probe that did not run, or
// a description without an audio line, gives "".
QString GetBitrateOfMP3(const QString &sourcePath, const Context &context);
// "128 kbps" gives "128" without running anything; a choice without "kbps" probes an
// existing source; otherwise "128".
QString GetBitrateCombo(const QString &choice, const QString &sourcePath, const Context &context);

// The reading rule for the capture: of the last line containing "Audio:", the
// second-to-last field when split at every single blank, trimmed. "" without such a line.
QString BitrateFromCapture(const QString &capture);
// The capture file's last non-blank line: FFmpeg's own reason when no bit rate was found.
QString CaptureReason();
// The full path of the capture file.
QString CaptureFile();

} // namespace GetBitrate
