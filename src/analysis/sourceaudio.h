#pragma once
// Sources of any format a label delivers: SoX reads MP3, FLAC, WAV, AIFF and Ogg Vorbis
// itself; the others (M4A, Opus, WMA, ...) FFmpeg decodes into SoX's standard input.

#include "analysis/mp3audio.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace SourceAudio {

// True for the extensions SoX has no reader for: .m4a .mp4 .aac .alac .opus .wma .webm .mka
// and the like, case ignored. Decided by the name alone, so a dry run shows the same lines.
bool NeedsDecoder(const QString &path);
// The extensions of every audio format read, in lower case: SoX's own and those FFmpeg
// decodes; the containers that mostly hold video (.mp4, .webm) are not among them.
QStringList Extensions();
// How long the source plays: an MP3 by its frames (Mp3Audio::Measure), any other format by
// its header as TagLib reads it. None when neither can tell.
std::optional<AudioLength> Measure(const QString &path);

} // namespace SourceAudio
