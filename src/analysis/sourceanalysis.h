#pragma once
// All that a preview needs from its source's audio, in one job for a thread of a pool: the
// chorus search over the whole song, then the loudness of the preview's stretch once its
// start is known. An MP3 is decoded in the process, its stretch read by seeking to it; any
// other source by tools into a pipe, whose command lines the caller gives.

#include "analysis/chorus.h"
#include "analysis/loudness.h"
#include "analysis/decodedaudio.h"
#include "analysis/pipedecode.h"
#include "analysis/waveform.h"
#include "platform/commandline.h"

#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace SourceAnalysis {

// The tool runs that decode a source libmpg123 does not read.
struct Pipes {
    std::optional<CommandLine> feeder; // FFmpeg, writing into each run's standard input
    CommandLine search{QString()};     // the whole song, mono floats at Chorus::DecodingRate
    // The stretch from a start on, stereo floats at Request::loudnessRate, no fades.
    std::function<CommandLine(double start)> stretch;
};

struct Request {
    QString source;
    std::optional<Pipes> pipes; // none: an MP3, decoded here
    bool search = false;        // its start is where the chorus begins
    double start = 0;           // else: where the preview begins, in seconds
    std::optional<double> knownSeconds; // the song's length, when it could be read
    double previewSeconds = 0;
    bool songPicture = false; // searched: a picture of the song from the same decoding
    double fadeIn = 0;
    double fadeOut = 0;
    std::optional<int> loudnessRate; // measure the stretch at no more than this rate; none: not at all
    // The gain the stretch is to get: to loudnessTarget (LUFS), encodingLoss made up for, its
    // true peak kept peakMargin below the ceiling. Its true peak is looked for only where it
    // could hold that gain back.
    double loudnessTarget = 0;
    double encodingLoss = 0;
    double peakMargin = 0;
    // The stretch's samples are kept for the cut: an MP3 read at its own rate, or a stretch
    // the limiter may take.
    bool keepStretch = false;
};

struct Outcome {
    std::optional<Chorus::Start> found;            // searched: the start, to the millisecond
    // The stretch's, when asked; its true peak exact where it holds the gain back, else a
    // bound below the level where it would.
    std::optional<Loudness::Measurement> measured;
    std::optional<Waveform::Overview> song;        // searched, with songPicture
    bool noAudio = false;                          // the search got not a sample
    std::optional<PipeDecode::Ended> failedRun;    // a decoding tool that failed
    // With keepStretch, when it gave samples: two channels, at the rate decoded, no fades.
    std::shared_ptr<const DecodedAudio::Stretch> stretch;
};

// Stops between blocks once stopped() is true; the outcome is then incomplete.
Outcome Analyse(const Request &request, const std::function<bool()> &stopped);

} // namespace SourceAnalysis
