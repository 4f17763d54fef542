#pragma once
// The loudness and true peak of a preview's stretch as one analyzer of a decoding pass:
// only the samples of the stretch are measured, with the preview's fades, in two channels
// as the preview plays (a mono source in both).

#include "analysis/analyzer.h"
#include "analysis/loudness.h"

#include <memory>
#include <vector>

namespace Analysis {

struct Stretch {
    double begin = 0;   // seconds after the first sample the analyzer gets
    double seconds = 0; // how long; it ends early when the audio does
    double fadeIn = 0;  // seconds of SoX's (logarithmic) fade at its start
    double fadeOut = 0; // ... and at its end, wherever the audio ends
};

class StretchLoudness : public Analyzer {
public:
    explicit StretchLoudness(Stretch stretch);
    ~StretchLoudness() override;

    void initialize(int rate, int channels) override;
    void processSamples(const float *samples, size_t frames) override;
    bool wantsMore() const override;
    void finalize() override;

    // Once finalized.
    const Loudness::Measurement &measured() const { return m_measured; }

private:
    void keep(const float *samples, size_t frames, size_t stretchFrame);
    // Measures the frames kept but the last `waiting` ones, which a fade-out may still reach.
    void measureKept(size_t waiting);

    Stretch m_stretch;
    int m_channels = 2;   // of the stream
    size_t m_position = 0; // frames of the stream so far
    size_t m_begin = 0;    // the stretch's frames in the stream
    size_t m_end = 0;
    size_t m_fadeInFrames = 0;
    size_t m_fadeOutFrames = 0;
    size_t m_secondFrames = 0;
    std::vector<float> m_kept; // stereo frames of the stretch not measured yet
    std::unique_ptr<Loudness::Meter> m_meter;
    Loudness::Measurement m_measured;
};

} // namespace Analysis
