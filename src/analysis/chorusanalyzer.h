#pragma once
// The chorus search as one analyzer of a decoding pass: it keeps the song in one channel
// (the channels mixed) at the rate it comes in, and looks for the chorus at the end.

#include "analysis/analyzer.h"
#include "analysis/chorus.h"
#include "analysis/waveform.h"

#include <optional>
#include <vector>

namespace Analysis {

class ChorusAnalyzer : public Analyzer {
public:
    // pictured: a picture of the song is drawn from the same samples too.
    explicit ChorusAnalyzer(double previewSeconds, bool pictured = false);

    void initialize(int rate, int channels) override;
    void processSamples(const float *samples, size_t frames) override;
    // The whole song: the pass's limit (Chorus::LongestSongSeconds) ends a longer one, which
    // is then not looked into.
    bool wantsMore() const override;
    void finalize() override;

    // Once finalized; none when no audio came.
    const std::optional<Chorus::Start> &start() const { return m_start; }
    const std::optional<Waveform::Overview> &picture() const { return m_picture; }

private:
    double m_previewSeconds;
    bool m_pictured;
    int m_rate = 0;
    int m_channels = 1;
    std::vector<float> m_mono;
    std::optional<Chorus::Start> m_start;
    std::optional<Waveform::Overview> m_picture;
};

} // namespace Analysis
