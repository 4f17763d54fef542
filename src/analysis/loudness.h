#pragma once
// Even loudness for previews: the integrated loudness and true peak of decoded samples as
// EBU R128 (ITU-R BS.1770) defines them, measured by libebur128, and the plain gain that
// brings a preview to a target without letting its peaks near full scale. Only the level
// changes, unless a limiter is asked for (LimitedStretch).

#include <limits>
#include <memory>
#include <optional>

namespace Loudness {

// The targets a preview can be brought to, in LUFS; -70 is the meter's absolute gate.
constexpr double LowestTarget = -70;
constexpr double HighestTarget = 0;
// The highest true peak a preview may get, in dBTP: room for the overshoot of MP3 encoding.
constexpr double PeakCeiling = -1;
// The most a preview is raised, in dB: more would bring up mostly noise and hum.
constexpr double MaxGain = 30;

struct Measurement {
    std::optional<double> integrated;                           // LUFS; none for silence
    double truePeak = -std::numeric_limits<double>::infinity(); // dBTP, the loudest channel
};

// How far above the highest sample near it a true peak may lie: 3 dB for a tone at a
// quarter of the rate, less than 2 dB in the music and noise measured, 4 dB for tones up to
// 13 kHz at 44100 Hz.
constexpr double InterSampleAllowance = 4;

// Measures interleaved 32-bit float samples as they come.
class Meter {
public:
    enum class Peak {
        True, // oversampled, as EBU R128 asks
        None, // the loudness only: the caller looks for the peak where it matters
    };
    Meter(int channels, int rate, Peak peak = Peak::True);
    ~Meter();
    Meter(const Meter &) = delete;
    Meter &operator=(const Meter &) = delete;

    void add(const float *samples, size_t frames);
    Measurement result() const;

private:
    struct State;
    std::unique_ptr<State> m_state;
};

// The true peaks of runs of one stretch, taken one after another through one oversampling
// filter: setting a filter up costs more than a short run does.
class PeakMeter {
public:
    PeakMeter(int channels, int rate);
    ~PeakMeter();
    PeakMeter(const PeakMeter &) = delete;
    PeakMeter &operator=(const PeakMeter &) = delete;

    // The true peak (dBTP) of `frames` interleaved frames; the `priming` frames before them,
    // which must be there, only prime the filter, so a run is read as in its song. Priming
    // of 32 frames clears what the run before left in the filter (it holds 25 at most);
    // none is right only for a first run at the beginning of its stretch.
    double of(const float *samples, size_t priming, size_t frames);

private:
    struct State;
    std::unique_ptr<State> m_state;
};

// How much quieter LAME's constant bit rate encoding leaves a whole signal, in dB, at a bit
// rate in kbit/s: measured with LAME 3.100 on tones and noise at every level, the same at
// all frequencies. Treble above the encoder's low-pass is lost on top of this.
double EncodingLoss(int kbps);

// How far below PeakCeiling a preview held back by its peaks is aimed at a bit rate in
// kbit/s, in dB, so that LAME's overshoot seldom passes the ceiling and costs a second cut:
// measured on rendered pop songs, where 256 kbit/s and more overshoot by a few hundredths,
// 96 to 224 stay below, and 16 to 80 overshoot by 0.4 dB at most in all but a few.
double PeakMargin(int kbps);
// The most LAME's encoding at a bit rate in kbit/s was seen to raise a true peak, with room
// to spare (dB): a preview planned further below the ceiling than this cannot pass it, so it
// need not be decoded and measured once made. Square waves overshoot by 3 dB at 32 kbit/s and
// 0.7 dB at 96; from 128 kbit/s up, rendered songs by 0.1 dB at most, a 55 Hz square by
// 0.8 dB at 128 and a sine sweep by 0.5 dB at 320.
double OvershootAllowance(int kbps);

struct Adjustment {
    Measurement measured;
    double gain = 0;              // dB, to the hundredth, for SoX's gain effect
    std::optional<double> result; // LUFS the preview is planned to measure; none for silence
    std::optional<double> truePeak; // dBTP the encoded preview measures, once made
    bool heldBack = false;        // the peaks allowed less gain than the target asked for
    bool capped = false;          // too quiet: raised by MaxGain only
    std::optional<double> limited; // dB a true-peak limiter took off the loudest peak, when one did
    double target = 0;            // LUFS asked for
};
// The gain that makes the measured samples, once encoded with the given loss, measure the
// target, lowered where it would lift the true peak above PeakCeiling less peakMargin, and
// never above MaxGain. Silence (below the meter's gate at -70 LUFS) gets none.
Adjustment GainFor(const Measurement &measured, double target, double encodingLoss = 0, double peakMargin = 0);
// The loudness (LUFS) the measured samples reach with `gain`, once encoded with that loss;
// none for silence.
std::optional<double> PlannedResult(const Measurement &measured, double gain, double encodingLoss = 0);
// The lowest true peak that would hold GainFor's gain back (dBTP).
double PeakThatHoldsBack(double integrated, double target, double encodingLoss = 0, double peakMargin = 0);

} // namespace Loudness
