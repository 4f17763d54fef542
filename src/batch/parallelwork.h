#pragma once
// What the files of ParallelPreviews share inside the batch: the state of one file on its
// way, and the small rules more than one step uses.

#include "batch/parallelpreviews.h"
#include "preview/previewfile.h"

#include <cmath>

struct ParallelPreviews::Work {
    Step step = Step::Cut;
    bool analysing = false; // its start is being looked for in its audio
    QString bitrate; // this source's own, once probed
    PreviewFile file; // its way to its preview: its start, loudness, cut, check and mark
    PreviewSteps::DecoderEnd decoder; // how FFmpeg ended, when it decoded the source
    int recuts = 0;       // cut again, its gain lowered, after its encoding passed the peak ceiling
    PreviewFiles::EarlierFile earlier; // what the preview's name held when it was named
    // With update, when joining: where a run without the join puts this song's preview.
    QString ownPreview;
    // When joining: dB the join raises or lowers its piece by (its own preview taken as it
    // is was planned for one encoding, a piece for two).
    double pieceGain = 0;
    std::unique_ptr<PreviewFiles::TemporaryOutput> output; // a separate preview being written
    std::optional<Waveform::Data> waveform; // built while the made preview was measured
    // With the limiter: the stretch as decoded, which it limits again for a cut again, and
    // the ceiling it was last limited to (dBTP, before the gain).
    std::shared_ptr<const DecodedAudio::Stretch> decoded;
    std::optional<double> limiterCeiling;
};

namespace ParallelWork {

// A file whose encoding passes the peak ceiling is made again, its gain lowered by the excess
// and a step more, as the overshoot changes with the gain; after this many times it fails.
constexpr int MostRecuts = 3;
constexpr double RecutStep = 0.1; // dB

inline double LoweredGain(double gain, double excess)
{
    return std::floor((gain - excess - RecutStep) * 100) / 100;
}

inline QString StillPassesCeiling()
{
    return QStringLiteral("its encoding still passes %1 dBTP with its gain lowered %2 times")
        .arg(Loudness::PeakCeiling)
        .arg(MostRecuts);
}

// Gives the preview its name. When a file that came during the run took the planned one,
// the preview has the next free name, and the result tells both.
inline QString Commit(ParallelPreviews::Result &result, PreviewFiles::TemporaryOutput &output)
{
    const QString problem = output.commit();
    if (problem.isEmpty() && output.finalPath() != result.preview) {
        result.planned = result.preview;
        result.preview = output.finalPath();
    }
    return problem;
}

} // namespace ParallelWork
