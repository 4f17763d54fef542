#pragma once
// The analyses of one source share one decoding: a decoder hands the same blocks of
// samples to every analyzer it was given, so a song is read once however many results are
// asked of it. Each analyzer is a plain class that a test can feed with samples it made.

#include <cstddef>
#include <vector>

namespace Analysis {

class Analyzer {
public:
    virtual ~Analyzer() = default;
    // Before the first block: the samples per second and channel, and the channels.
    virtual void initialize(int rate, int channels) = 0;
    // Interleaved samples, full scale at +-1, in the order they play.
    virtual void processSamples(const float *samples, size_t frames) = 0;
    // False once it has all it needs: the decoding stops when no analyzer wants more.
    virtual bool wantsMore() const = 0;
    // After the last block, also when the decoding stopped early.
    virtual void finalize() = 0;
};

// One decoding pass: the analyzers, and the limit past which no song is decoded, so that a
// file whose length could not be read first (or whose header lies) is not decoded for hours.
class Pass {
public:
    Pass(std::vector<Analyzer *> analyzers, double limitSeconds);

    void begin(int rate, int channels);
    // Hands the block on; false when the decoding should stop here.
    bool feed(const float *samples, size_t frames);
    void end();
    // The decoding was stopped at the limit, not at the end of the audio.
    bool reachedLimit() const { return m_reachedLimit; }
    int channels() const { return m_channels; }

private:
    std::vector<Analyzer *> m_analyzers;
    double m_limitSeconds;
    size_t m_limitFrames = 0;
    size_t m_frames = 0;
    int m_channels = 0;
    bool m_reachedLimit = false;
};

} // namespace Analysis
