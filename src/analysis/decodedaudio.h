#pragma once
// Audio decoded in the process rather than by a tool: a song's MPEG audio read by libmpg123
// and handed block by block to the analyzers of a pass, the measures taken so of a preview
// made (its true peak, its loudness), and the stretch of samples a cut can be made from,
// which the program writes into SoX as a WAVE file. The chorus search needs one channel (both
// mixed) at a quarter of the song's rate (a half, or all of it, for songs of low rates), which
// saves most of the decoding work; a preview's stretch is read by seeking to it, in stereo.

#include "analysis/analyzer.h"
#include "analysis/loudness.h"

#include <QString>

#include <cstddef>
#include <functional>
#include <optional>
#include <vector>

namespace DecodedAudio {

struct Audio {
    std::vector<float> samples; // mono, full scale at +-1
    int rate = 0;               // Hz
};

// The files Feed is for: named .mp3, case ignored. Its decoder takes frames out of any
// bytes, so it is not asked about other files.
bool Decodes(const QString &path);

struct Reading {
    // One channel, at a quarter of the file's rate when that leaves 11 kHz or more (files of
    // 44.1 and 48 kHz), else at half unless that would leave less than 16 kHz (files of 8 to
    // 24 kHz are read at their own rate); else both channels.
    bool mono = false;
    // Both channels at half the file's rate when the file's rate is above this one and the
    // half still has pitches up to 11 kHz: what a preview at this rate keeps. 0: any rate.
    int highestRate = 0;
    double from = 0; // seconds into the audio where the first sample handed on lies
    // At the file's own rate whatever the channels: for what must describe it as it plays.
    bool ownRate = false;
};
// Decodes from reading.from until the audio ends or the pass says stop. A damaged stretch
// ends the decoding; what came before it still counts. False when the file cannot be
// opened or holds no MPEG audio; the pass has then not begun.
bool Feed(const QString &path, const Reading &reading, Analysis::Pass &pass);
// What hands a file's samples to a pass as Feed does an MP3's: the decoder of a preview's
// format, for the measures below.
using Decoder = std::function<bool(const QString &path, const Reading &reading, Analysis::Pass &pass)>;
// The whole file as the chorus search gets it (up to Chorus::LongestSongSeconds and a
// block); none when Feed fails or no sample came.
std::optional<Audio> DecodeMono(const QString &path);
// The same of any decoding: `decode` hands mono samples to the pass, false when it failed.
std::optional<Audio> CollectMono(const std::function<bool(Analysis::Pass &)> &decode);
// The true peak (dBTP) of a file of at most `seconds` as a player hears it: both channels at
// its own rate. `others` get the same samples. None when it cannot be decoded.
std::optional<double> MeasureTruePeak(const QString &path, double seconds, const Decoder &decode,
                                      const std::vector<Analysis::Analyzer *> &others = {});
// The same file's integrated loudness as well as its true peak, as EBU R128 measures them
// (an MP3's unless told otherwise).
std::optional<Loudness::Measurement> MeasureLoudness(const QString &path, double seconds,
                                                     const Decoder &decode = Feed);
// The stretch a cut encodes, as decoded: interleaved frames at the file's own rate, before
// any fade or gain, so that SoX can cut the preview from them instead of decoding it again.
struct Stretch {
    int rate = 0;
    int channels = 0;
    std::vector<float> samples;
    size_t frames() const { return channels > 0 ? samples.size() / size_t(channels) : 0; }
};
// Its integrated loudness and true peak, as MeasureLoudness measures a file.
Loudness::Measurement MeasureStretch(const Stretch &stretch);
// `seconds` from `from` on, both channels at the file's own rate, read as the loudness
// analysis reads them; none when Feed fails.
std::optional<Stretch> DecodeStretch(const QString &path, double from, double seconds);
// The header that makes the stretch's samples a WAVE file of 32-bit floats. SoX reads it
// before it opens its output, so a stretch that never comes leaves an earlier preview as it
// was; raw floats, which need no header, would have it write an empty one.
QByteArray WaveHeaderOf(const Stretch &stretch);

} // namespace DecodedAudio
