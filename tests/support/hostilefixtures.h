#pragma once
// Files made to hurt: what a hostile or badly broken upload holds, made at test time from
// tones that SoX and FFmpeg make.

#include <QString>

namespace Fixtures {

// An ADTS AAC stream of a stereo sine tone (FFmpeg's encoder), every nth frame of which has
// bytes of its audio overwritten (the same bytes each time): FFmpeg warns of each one.
// every = 1 damages them all, which FFmpeg gives up on.
bool MakeDamagedAac(const QString &path, double seconds, int every);

// An AAC M4A of a stereo sine tone, its index (moov) first, whose audio data (mdat) is cut
// off after `kept` of it, as an interrupted upload leaves it: the container still says
// `seconds`, FFmpeg decodes the part that is there and says "Invalid data found".
bool MakeCutOffM4a(const QString &path, double seconds, double kept);

// The MP3 behind an ID3v2.3 tag of `frames` user text (TXXX) frames of distinct
// descriptions, as a tagger gone wrong writes them.
bool WriteWithTextFrames(const QString &mp3, const QString &path, int frames);

} // namespace Fixtures
