#pragma once
// A preview's stretch made to reach its loudness where its peaks would hold the plain gain
// back: the true-peak limiter takes the peaks down to the ceiling less the gain, and since
// what it takes off lowers the loudness a little, the gain is raised by what the limited
// stretch, measured with its fades, still lacks, and the stretch limited again, a few times.
// The samples it gives are before the gain and the fades, which SoX applies as it does to
// any stretch, so a preview's command line reads as one without the limiter.

#include "analysis/loudness.h"
#include "analysis/decodedaudio.h"

#include <memory>
#include <optional>

namespace LimitedStretch {

// The deepest cut the limiter may make, in dB: deeper, a song's hits would sound squashed, so
// its gain is held back instead.
constexpr double MostCut = 10;

struct Plan {
    Loudness::Measurement measured; // the stretch, with its fades, as the analysis found it
    double target = 0;              // LUFS
    double encodingLoss = 0;        // dB the encoding takes, made up for
    double ceiling = Loudness::PeakCeiling; // dBTP the limited stretch may reach with its gain
    double fadeIn = 0;              // seconds, as SoX fades the preview
    double fadeOut = 0;
    double subsonicCutoff = 0;      // Hz below which the stretch is taken out first (0: nothing)
};

struct Limited {
    std::shared_ptr<const DecodedAudio::Stretch> stretch; // limited, before gain and fades
    double gain = 0;           // dB, to the hundredth, for SoX
    double limiterCeiling = 0; // dBTP the limiter kept the stretch below, to the hundredth
    double deepestCut = 0;     // dB the limiter took off the loudest peak
    std::optional<double> result; // LUFS the preview is planned to measure
    bool heldBack = false;     // it still falls short of the target: MostCut was not enough
};

// The stretch, less its DC offset (and what lies below subsonicCutoff, when given),
// limited to `ceiling` (dBTP) as it will be heard once SoX fades it: its peaks with the fades
// set the gain, applied to the samples before the fades. deepestCut, when given, gets the
// most the limiter took off (dB).
DecodedAudio::Stretch Limit(const DecodedAudio::Stretch &decoded, double ceiling, double fadeIn, double fadeOut,
                            double subsonicCutoff = 0, double *deepestCut = nullptr);
// Its true peak as the limiter hears it: centred, high-passed, with its fades (dBTP, before the gain).
double PeakOf(const DecodedAudio::Stretch &decoded, const Plan &plan);
// Limits and raises the gain until the stretch reaches the target.
Limited ToTarget(const DecodedAudio::Stretch &decoded, const Plan &plan);
// Limits with this gain and this limiter ceiling, for a cut again with a lower ceiling.
Limited At(const DecodedAudio::Stretch &decoded, const Plan &plan, double gain, double limiterCeiling);

} // namespace LimitedStretch
