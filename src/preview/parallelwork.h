#pragma once
// The state of one file of ParallelPreviews on its way, shared by the files of the batch.

#include "preview/parallelpreviews.h"

struct ParallelPreviews::Work {
    Step step = Step::Cut;
    bool analysing = false; // its start is being looked for in its audio
    QString bitrate; // this source's own, once probed
    QString start;   // as SoX gets it, once settled
    QString decoderWords; // FFmpeg's last words, when it decoded the source
    PreviewFiles::EarlierFile earlier; // what the preview's name held when it was named
    // The source's length, read once, before any tool reads the source (see sourceLength).
    mutable bool measured = false;
    mutable std::optional<Mp3Audio::Length> length;
    std::unique_ptr<PreviewFiles::TemporaryOutput> output; // a separate preview being written
    QProcess *process = nullptr;                           // the tool running for this file
};
