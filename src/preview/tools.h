#pragma once
// The two audio tools the previews are made with, found once per job: SoX cuts, joins and
// encodes; FFmpeg describes a source so that its bit rate can be read, and decodes into SoX
// the masters SoX has no reader for (M4A, Opus, WMA, ...). The distribution's packages
// provide them, so nothing is copied into or removed from the temporary folder.

#include <QString>

namespace Tools {

// The folder the run's private folder is made in: $TEMP when set, else the system's own.
QString TemporaryFolder();

struct Found {
    QString sox;           // full path, "" when unusable
    QString ffmpeg;        // full path, "" when missing
    QString soxProblem;    // why SoX cannot be used, naming the package to install; "" when fine
    QString ffmpegProblem; // the same for FFmpeg
};

// Looks beside the program first, then along PATH, and asks SoX once whether it can
// write MP3 (Debian splits that into libsox-fmt-mp3).
Found Find(const QString &programFolder);

// FFmpeg beside the running program, else along PATH; "" when missing. For decoding a made
// preview of a format FFmpeg writes.
QString FindFfmpeg();
// "" when the FFmpeg found lists the encoder among its encoders (ffmpeg -encoders), else why
// not, naming the Debian package to install.
QString EncoderProblem(const QString &ffmpeg, const QString &encoder);

// Exposed for the tests: does "sox -h" output list mp3 among its audio file formats?
bool ListsMp3Format(const QString &soxHelp);

} // namespace Tools
