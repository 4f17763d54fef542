#pragma once
// What the files of ParallelPreviews share inside the batch: the state of one file on its way.

#include "batch/parallelpreviews.h"
#include "preview/previewfile.h"

struct ParallelPreviews::Work {
    Step step = Step::Cut;
    bool analysing = false; // its start is being looked for in its audio
    QString bitrate; // this source's own, once probed
    PreviewFile file; // its way to its preview: its start, loudness, cut, check and mark
    PreviewSteps::DecoderEnd decoder; // how FFmpeg ended, when it decoded the source
    PreviewFiles::EarlierFile earlier; // what the preview's name held when it was named
    // With update, when joining: where a run without the join puts this song's preview.
    QString ownPreview;
    // When joining: dB the join raises or lowers its piece by (its own preview taken as it
    // is was planned for one encoding, a piece for two).
    double pieceGain = 0;
    std::unique_ptr<PreviewFiles::TemporaryOutput> output; // a separate preview being written
    std::optional<Waveform::Data> waveform; // built while the made preview was measured
};
