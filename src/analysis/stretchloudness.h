#pragma once
// The loudness and true peak of a preview's stretch as one analyzer of a decoding pass:
// only the samples of the stretch are measured, with the preview's fades, in two channels
// as the preview plays (a mono source in both).
// The oversampling that finds a true peak costs several times the rest of the measuring,
// so a stretch of a usual length is kept, and its true peak looked for afterwards only
// around the samples loud enough for it to matter (truePeakAbove).

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

// Stereo frames of a whole stretch as SoX's fades leave them.
std::vector<float> Faded(std::vector<float> frames, int rate, double fadeIn, double fadeOut);

class StretchLoudness : public Analyzer {
public:
    // Longer stretches are measured with their true peak as they come, not kept.
    static constexpr double LongestKeptSeconds = 180;

    // PeakOnly spares a kept stretch the loudness filters: measured() then has no
    // integrated loudness, and only truePeakAbove tells anything.
    enum class Measures { LoudnessAndPeak, PeakOnly };

    explicit StretchLoudness(Stretch stretch, Measures measures = Measures::LoudnessAndPeak);
    ~StretchLoudness() override;

    void initialize(int rate, int channels) override;
    void processSamples(const float *samples, size_t frames) override;
    bool wantsMore() const override;
    void finalize() override;

    // Once finalized. Of a kept stretch, truePeak is only its highest sample.
    const Loudness::Measurement &measured() const { return m_measured; }
    // Once finalized: the true peak, exact when it reaches `threshold` (dBTP); below, a
    // bound under the threshold that it cannot pass (Loudness::InterSampleAllowance).
    double truePeakAbove(double threshold) const;
    // Once finalized, of a kept stretch: its stereo frames as they came, without the fades,
    // at rate(). Asks nothing more of the analyzer afterwards.
    std::vector<float> takeFrames();
    int rate() const { return m_rate; }

private:
    void keep(const float *samples, size_t frames, size_t stretchFrame);
    // Measures the frames kept but the last `waiting` ones, which a fade-out may still reach.
    void measureKept(size_t waiting);
    void keepBlockPeaks();

    Stretch m_stretch;
    Measures m_measures;
    bool m_open = false;   // initialized, not finalized yet
    int m_rate = 0;
    int m_channels = 2;    // of the stream
    bool m_kept = true;    // the stretch is kept whole; else measured as it comes
    size_t m_position = 0; // frames of the stream so far
    size_t m_begin = 0;    // the stretch's frames in the stream
    size_t m_end = 0;
    size_t m_fadeInFrames = 0;
    size_t m_fadeOutFrames = 0;
    std::vector<float> m_frames; // stereo frames of the stretch not measured yet, or all kept
    std::vector<float> m_blockPeaks; // of a kept stretch, once finalized: each block's highest sample
    // Of a kept stretch: the frames its fades change, as they came.
    std::vector<float> m_rawFadeIn;
    std::vector<float> m_rawFadeOut;
    std::unique_ptr<Loudness::Meter> m_meter;
    Loudness::Measurement m_measured;
};

} // namespace Analysis
