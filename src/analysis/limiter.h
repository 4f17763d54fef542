#pragma once
// A true-peak limiter, as broadcast loudness tools put one after their gain: for a preview
// whose few loud peaks would hold back the gain that brings it to its loudness. It finds
// peaks between the samples too, at four times the rate, as a true-peak meter does; it looks
// ahead, so that the gain is down before a peak arrives, in a smooth curve over the
// lookahead; and it lets the gain back up smoothly: quickly after a lone peak, but, where it
// keeps limiting (a beat's every hit), only to the level it has held of late, so that the
// music between the hits does not pump. A signal whose true peak stays below the ceiling
// passes unchanged, sample for sample.

#include <cstddef>
#include <vector>

namespace Limiter {

// How far ahead the limiter looks: its attack.
constexpr double LookaheadSeconds = 0.005;
// How fast the gain comes back after a lone peak, and how long "of late" is for the level
// it comes back to where limiting goes on (time constants).
constexpr double ReleaseSeconds = 0.05;
constexpr double AverageSeconds = 0.5;

class TruePeakLimiter {
public:
    // ceiling: the highest true peak the output may have, in dBTP.
    TruePeakLimiter(int channels, int rate, double ceiling);

    // A whole stretch at once: interleaved floats in, the same limited out. `heard`, when
    // given, is the same stretch as it will be heard (with fades that come later, say): its
    // peaks set the gain, so that what is heard keeps the ceiling.
    std::vector<float> process(const std::vector<float> &samples, const std::vector<float> *heard = nullptr);
    // Of the stretch processed: each frame's gain, 1 where it was left as it was.
    const std::vector<float> &gains() const { return m_gains; }
    // The most the gain was lowered, in dB; 0 when nothing was limited.
    double deepestCut() const;

private:
    // Each frame's gain that keeps the true peak around it at the ceiling; 1 where it is below.
    std::vector<float> neededGains(const std::vector<float> &samples) const;
    // Raises each frame's peak (full scale 1) in the block [first, last) to the highest true
    // peak of the channel (padded by paddedChannel) near it.
    void peaksNear(const std::vector<float> &channel, size_t first, size_t last, std::vector<float> &peaks) const;
    // Down over the lookahead before each peak, held through it, then released.
    void shapeGains(const std::vector<float> &needed);

    int m_channels;
    int m_rate;
    float m_ceiling; // full scale 1
    std::vector<float> m_gains;
};

} // namespace Limiter
