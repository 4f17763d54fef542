#pragma once
// How long a source plays, of whatever kind: an MP3 measured by its frames (Mp3Audio), any
// other master by its header (SourceAudio).

struct AudioLength {
    double seconds = 0;      // whole frames times the samples of a frame, over the sample rate
    double frameSeconds = 0; // how long one frame plays (for a master that is no MP3, a typical one)
    int rate = 0;            // samples per second and channel
};
