// The loudness meter (and a stretch in memory measured), the gain of a preview and the
// true-peak limiter, on samples made here: sines of known level, silence, a sine whose peaks
// fall between its samples, and bursts.

#include "analysis/decodedaudio.h"
#include "analysis/limitedstretch.h"
#include "analysis/limiter.h"
#include "analysis/loudness.h"
#include "analysis/stretchloudness.h"
#include "preview/previewfile.h"

#include <QTest>

#include <cmath>
#include <limits>
#include <vector>

namespace {

constexpr double Silent = std::numeric_limits<double>::quiet_NaN(); // no integrated loudness
constexpr double Pi = 3.14159265358979323846;

// Interleaved, the same in every channel: `seconds` of a sine peaking at `dbfs`.
std::vector<float> sine(double frequency, double dbfs, int channels, int rate, double phase = 0, double seconds = 3)
{
    const double amplitude = std::pow(10, dbfs / 20);
    std::vector<float> samples;
    for (int frame = 0; frame < int(seconds * rate); ++frame) {
        const float value = float(amplitude * std::sin(2 * Pi * frequency * frame / rate + phase));
        samples.insert(samples.end(), size_t(channels), value);
    }
    return samples;
}

Loudness::Measurement measure(const std::vector<float> &samples, int channels, int rate)
{
    Loudness::Meter meter(channels, rate);
    meter.add(samples.data(), samples.size() / size_t(channels));
    return meter.result();
}

} // namespace

class TestLoudness : public QObject {
    Q_OBJECT

private slots:
    void measures_data();
    void measures();
    void gainFor_data();
    void gainFor();
    void peakMeterForgetsTheRunBefore();
    void limiterKeepsTheCeiling_data();
    void limiterKeepsTheCeiling();
    void limitedStretchReachesTheTarget_data();
    void limitedStretchReachesTheTarget();
    void encodedPeakOverTheCeilingIsCutAgainLower_data();
    void encodedPeakOverTheCeilingIsCutAgainLower();
};

void TestLoudness::measures_data()
{
    QTest::addColumn<double>("frequency");
    QTest::addColumn<double>("dbfs"); // peak of the sine; below -200: silence
    QTest::addColumn<double>("phase");
    QTest::addColumn<int>("channels");
    QTest::addColumn<int>("rate");
    QTest::addColumn<double>("integrated"); // LUFS
    QTest::addColumn<double>("truePeak");   // dBTP

    // BS.1770 calibrates its weighting so that a 1 kHz sine in one channel reads 3.01 dB
    // below its peak; in both channels of a stereo pair it reads its peak.
    QTest::newRow("1 kHz stereo at -20 dBFS") << 1000.0 << -20.0 << 0.0 << 2 << 48000 << -20.0 << -20.0;
    QTest::newRow("1 kHz mono at -20 dBFS") << 1000.0 << -20.0 << 0.0 << 1 << 48000 << -23.0 << -20.0;
    QTest::newRow("at the rate of low bit rates") << 1000.0 << -20.0 << 0.0 << 2 << 24000 << -20.0 << -20.0;
    // A quarter of the rate, 45 degrees off: every sample lies 3 dB below the wave's peak,
    // which only an oversampling meter sees. The weighting counts treble 3.4 dB up.
    QTest::newRow("peaks between the samples") << 12000.0 << -6.0 << Pi / 4 << 2 << 48000 << -2.6 << -6.0;
    QTest::newRow("silence") << 1000.0 << -300.0 << 0.0 << 2 << 48000 << Silent
                             << -std::numeric_limits<double>::infinity();
}

void TestLoudness::measures()
{
    QFETCH(double, frequency);
    QFETCH(double, dbfs);
    QFETCH(double, phase);
    QFETCH(int, channels);
    QFETCH(int, rate);
    QFETCH(double, integrated);
    QFETCH(double, truePeak);
    const std::vector<float> samples = dbfs < -200 ? std::vector<float>(size_t(3 * rate * channels), 0.0f)
                                                   : sine(frequency, dbfs, channels, rate, phase);
    std::vector<Loudness::Measurement> measurements{measure(samples, channels, rate)};
    // A stereo stretch in memory, as a sampler's joined samples are measured, reads the same.
    if (channels == 2)
        measurements.push_back(DecodedAudio::MeasureStretch({rate, channels, samples}));
    for (const Loudness::Measurement &measured : measurements) {
        QCOMPARE(measured.integrated.has_value(), !std::isnan(integrated));
        if (measured.integrated)
            QVERIFY2(std::abs(*measured.integrated - integrated) < 0.15, qPrintable(QString::number(*measured.integrated)));
        if (std::isinf(truePeak))
            QCOMPARE(measured.truePeak, truePeak);
        else
            QVERIFY2(std::abs(measured.truePeak - truePeak) < 0.15, qPrintable(QString::number(measured.truePeak)));
    }
}

void TestLoudness::gainFor_data()
{
    QTest::addColumn<double>("integrated"); // LUFS
    QTest::addColumn<double>("truePeak");   // dBTP
    QTest::addColumn<double>("loss");       // of the encoding, dB
    QTest::addColumn<double>("margin");     // below the ceiling, dB
    QTest::addColumn<double>("gain");
    QTest::addColumn<double>("result");
    QTest::addColumn<bool>("heldBack");

    // Targets -16 LUFS throughout.
    QTest::newRow("quiet, brought up") << -30.0 << -20.0 << 0.0 << 0.0 << 14.0 << -16.0 << false;
    QTest::newRow("loud, brought down past its overs") << -8.0 << 0.5 << 0.0 << 0.0 << -8.0 << -16.0 << false;
    QTest::newRow("the encoder's loss made up for") << -20.0 << -10.0 << 0.46 << 0.0 << 4.46 << -16.0 << false;
    QTest::newRow("peaks hold it back") << -30.0 << -6.0 << 0.0 << 0.0 << 5.0 << -25.0 << true;
    // Rounded to the nearest hundredth, 4.01 dB would lift the peak to -0.997 dBTP.
    QTest::newRow("held back, rounded down") << -20.5 << -5.007 << 0.0 << 0.0 << 4.0 << -16.5 << true;
    QTest::newRow("held back below the ceiling by a margin") << -30.0 << -6.0 << 0.0 << 0.3 << 4.7 << -25.3 << true;
    QTest::newRow("very quiet: raised by 30 dB at most") << -58.5 << -40.0 << 0.0 << 0.0 << 30.0 << -28.5 << false;
    QTest::newRow("silence is left alone") << Silent << -std::numeric_limits<double>::infinity() << 0.46 << 0.0 << 0.0
                                           << Silent << false;
}

void TestLoudness::gainFor()
{
    QFETCH(double, integrated);
    QFETCH(double, truePeak);
    QFETCH(double, loss);
    QFETCH(double, margin);
    QFETCH(double, gain);
    QFETCH(double, result);
    QFETCH(bool, heldBack);
    Loudness::Measurement measured;
    if (!std::isnan(integrated))
        measured.integrated = integrated;
    measured.truePeak = truePeak;
    const Loudness::Adjustment adjustment = Loudness::GainFor(measured, -16, loss, margin);
    QVERIFY2(std::abs(adjustment.gain - gain) < 1e-9, qPrintable(QString::number(adjustment.gain, 'g', 17)));
    QCOMPARE(adjustment.heldBack, heldBack);
    QCOMPARE(adjustment.result.has_value(), !std::isnan(result));
    if (adjustment.result)
        QVERIFY(std::abs(*adjustment.result - result) < 0.01);
    QVERIFY(truePeak + adjustment.gain <= Loudness::PeakCeiling - margin + 1e-9);
}

// One filter serves all the loud runs of a stretch: a quiet run read after a full-scale one
// must not carry what that one left in the filter.
void TestLoudness::peakMeterForgetsTheRunBefore()
{
    constexpr int Rate = 48000;
    constexpr size_t Priming = 32;
    std::vector<float> stretch = sine(12000, -1, 2, Rate, Pi / 4, 0.05);
    const size_t loudFrames = stretch.size() / 2;
    const std::vector<float> quiet = sine(1000, -30, 2, Rate, 0, 0.05);
    stretch.insert(stretch.end(), quiet.begin(), quiet.end());
    const float *quietRun = &stretch[(loudFrames + 2 * Priming) * 2];
    const size_t quietFrames = loudFrames - 2 * Priming;

    Loudness::PeakMeter reused(2, Rate);
    QVERIFY(reused.of(stretch.data(), 0, loudFrames) > -1.5);
    const double afterTheLoudRun = reused.of(quietRun, Priming, quietFrames);
    const double alone = Loudness::PeakMeter(2, Rate).of(quietRun, Priming, quietFrames);
    QVERIFY2(std::abs(afterTheLoudRun - alone) < 0.01 && alone < -29, qPrintable(QString::number(afterTheLoudRun)));
}

void TestLoudness::limiterKeepsTheCeiling_data()
{
    QTest::addColumn<double>("frequency");
    QTest::addColumn<double>("phase");
    QTest::addColumn<double>("burst");   // peak of the burst's wave, dBFS
    QTest::addColumn<double>("begins");  // seconds; the burst lasts 0.2 s, the stretch 3.5 s
    QTest::addColumn<int>("rate");
    QTest::addColumn<double>("deepest"); // the cut it needs at least, dB; 0: none

    // Stereo throughout, a -30 dBFS sine of the same frequency around the burst, -1 dBTP.
    QTest::newRow("a loud sine burst") << 1000.0 << 0.0 << 6.0 << 1.0 << 48000 << 7.0;
    // Its samples lie 3 dB below its peaks, under the ceiling; only between them does the
    // wave pass it.
    QTest::newRow("treble peaking between the samples") << 12000.0 << Pi / 4 << 1.0 << 1.0 << 48000 << 1.9;
    QTest::newRow("at the rate of low bit rates") << 1000.0 << 0.0 << 6.0 << 1.0 << 24000 << 7.0;
    // No lookahead before the first sample: the gain must be down from the start.
    QTest::newRow("a burst at the very start") << 1000.0 << 0.0 << 6.0 << 0.0 << 48000 << 7.0;
    QTest::newRow("a quiet signal passes unchanged") << 1000.0 << 0.0 << -1.2 << 1.0 << 48000 << 0.0;
}

// The burst comes out at or below the ceiling as libebur128 measures it, the gain moves
// smoothly, and the sine before the lookahead and after the release is as it came.
void TestLoudness::limiterKeepsTheCeiling()
{
    QFETCH(double, frequency);
    QFETCH(double, phase);
    QFETCH(double, burst);
    QFETCH(double, begins);
    QFETCH(int, rate);
    QFETCH(double, deepest);
    constexpr double Ceiling = -1;
    std::vector<float> samples = sine(frequency, -30, 2, rate, phase, begins);
    for (const auto &[dbfs, seconds] : {std::pair{burst, 0.2}, std::pair{-30.0, 3.3 - begins}}) {
        const std::vector<float> part = sine(frequency, dbfs, 2, rate, phase + 2 * Pi * frequency * double(samples.size() / 2) / rate, seconds);
        samples.insert(samples.end(), part.begin(), part.end());
    }
    Limiter::TruePeakLimiter limiter(2, rate, Ceiling);
    const std::vector<float> limited = limiter.process(samples);
    QCOMPARE(limited.size(), samples.size());
    const double truePeak = measure(limited, 2, rate).truePeak;
    QVERIFY2(truePeak <= Ceiling + 0.01, qPrintable(QString::number(truePeak)));
    QVERIFY2(limiter.deepestCut() >= deepest && limiter.deepestCut() <= deepest + 1.5, qPrintable(QString::number(limiter.deepestCut())));
    if (deepest == 0)
        QVERIFY(limited == samples);

    // A 1 % step between two samples would click; the slope over 5 ms needs far less.
    const std::vector<float> &gains = limiter.gains();
    float steepest = 0;
    for (size_t frame = 1; frame < gains.size(); ++frame)
        steepest = std::max(steepest, std::abs(gains[frame] - gains[frame - 1]));
    QVERIFY2(steepest < 0.01f, qPrintable(QString::number(double(steepest))));
    const auto frameAt = [rate](double seconds) { return size_t(std::max(0.0, seconds) * rate); };
    for (size_t frame = 0; frame < frameAt(begins - 0.01); ++frame)
        QCOMPARE(gains[frame], 1.0f);
    for (size_t frame = frameAt(begins + 2.2); frame < gains.size(); ++frame)
        QVERIFY2(gains[frame] > 0.995f, qPrintable(QStringLiteral("%1 at frame %2").arg(double(gains[frame])).arg(frame)));
}

void TestLoudness::limitedStretchReachesTheTarget_data()
{
    QTest::addColumn<double>("bed");      // dBFS of the sine the hits lie on; below -200: none
    QTest::addColumn<bool>("heldBack");
    QTest::addColumn<double>("subsonicCutoff"); // Hz, as for Opus; 0: none
    // Hits of a 2 kHz sine at full scale, 5 ms every second, over a 200 Hz sine.
    QTest::newRow("hits over a quieter bed") << -20.0 << false << 0.0;
    // The hits are all there is to hear: what the limiter takes off them the gain cannot
    // bring back, so the cut stops at its deepest.
    QTest::newRow("hits alone") << -300.0 << true << 0.0;
    // What lies below 20 Hz taken out first, with a rumble at 5 Hz as loud as the hits.
    QTest::newRow("hits over a bed and a rumble, for Opus") << -20.0 << false << 20.0;
}

// Measured as the preview will be, with its gain: at the target within a tenth of an LU and
// its true peak at the ceiling or below; or held back with the deepest cut allowed.
void TestLoudness::limitedStretchReachesTheTarget()
{
    QFETCH(double, bed);
    QFETCH(bool, heldBack);
    QFETCH(double, subsonicCutoff);
    constexpr int Rate = 48000;
    std::vector<float> samples = bed < -200 ? std::vector<float>(size_t(6 * Rate * 2), 0.0f) : sine(200, bed, 2, Rate, 0, 6);
    if (subsonicCutoff > 0) {
        const std::vector<float> rumble = sine(5, 0, 2, Rate, 0, 6);
        std::transform(rumble.begin(), rumble.end(), samples.begin(), samples.begin(), std::plus<float>());
    }
    const std::vector<float> hit = sine(2000, 0, 2, Rate, 0, 0.005);
    for (size_t at = 0; at + hit.size() <= samples.size(); at += size_t(2 * Rate))
        std::transform(hit.begin(), hit.end(), samples.begin() + long(at), samples.begin() + long(at), std::plus<float>());
    const DecodedAudio::Stretch decoded{Rate, 2, samples};
    LimitedStretch::Plan plan;
    plan.measured = measure(samples, 2, Rate);
    plan.target = -14;
    plan.fadeOut = 1;
    plan.subsonicCutoff = subsonicCutoff;
    QVERIFY(Loudness::GainFor(plan.measured, plan.target).heldBack);

    const LimitedStretch::Limited limited = LimitedStretch::ToTarget(decoded, plan);
    QCOMPARE(limited.heldBack, heldBack);
    // As SoX makes the preview: the fade-out, then the gain.
    std::vector<float> heard = Analysis::Faded(limited.stretch->samples, Rate, 0, plan.fadeOut);
    for (float &sample : heard)
        sample *= float(std::pow(10, limited.gain / 20));
    const Loudness::Measurement result = measure(heard, 2, Rate);
    QVERIFY2(result.truePeak <= Loudness::PeakCeiling + 0.01, qPrintable(QString::number(result.truePeak)));
    if (heldBack) {
        QVERIFY2(std::abs(limited.deepestCut - LimitedStretch::MostCut) < 0.3, qPrintable(QString::number(limited.deepestCut)));
        return;
    }
    QVERIFY2(std::abs(*result.integrated + 14) < 0.1 && limited.deepestCut > 3, qPrintable(QString::number(*result.integrated)));
    QVERIFY2(std::abs(*limited.result + 14) < 0.1, qPrintable(QString::number(*limited.result)));
}

void TestLoudness::encodedPeakOverTheCeilingIsCutAgainLower_data()
{
    QTest::addColumn<bool>("limited");
    QTest::addColumn<QList<double>>("truePeaks"); // of each encoding, dBTP
    QTest::addColumn<int>("lastOutcome");         // PreviewFile::Encoded of the last
    QTest::addColumn<double>("gain");             // then
    QTest::addColumn<double>("ceiling");          // the limiter's then

    using Encoded = PreviewFile::Encoded;
    // Gain 6 dB, and with the limiter its ceiling at -1.5 dBTP.
    QTest::newRow("within the ceiling") << false << QList<double>{-1.0} << int(Encoded::Kept) << 6.0 << Silent;
    QTest::newRow("over it: the gain lowered by the excess and a step")
        << false << QList<double>{-0.6} << int(Encoded::CutAgain) << 5.5 << Silent;
    QTest::newRow("again, from the gain lowered") << false << QList<double>{-0.6, -0.8} << int(Encoded::CutAgain) << 5.2
                                                  << Silent;
    QTest::newRow("still over after the last cut again")
        << false << QList<double>{-0.5, -0.5, -0.5, -0.5} << int(Encoded::Failed) << 4.2 << Silent;
    QTest::newRow("limited: its ceiling lowered by twice the excess, its gain kept")
        << true << QList<double>{-0.6} << int(Encoded::CutAgain) << 6.0 << -2.4;
    QTest::newRow("limited, within the ceiling") << true << QList<double>{-1.2} << int(Encoded::Kept) << 6.0 << -1.5;
}

void TestLoudness::encodedPeakOverTheCeilingIsCutAgainLower()
{
    QFETCH(bool, limited);
    QFETCH(QList<double>, truePeaks);
    QFETCH(int, lastOutcome);
    QFETCH(double, gain);
    QFETCH(double, ceiling);
    PreviewFile file;
    file.loudness() = Loudness::GainFor(Loudness::Measurement{-22, -10}, -16);
    QCOMPARE(file.loudness()->gain, 6.0);
    if (limited) {
        const auto decoded = std::make_shared<const DecodedAudio::Stretch>(DecodedAudio::Stretch{48000, 2, {}});
        file.setDecoded(decoded);
        LimitedStretch::Limited outcome;
        outcome.stretch = decoded;
        outcome.gain = 6;
        outcome.limiterCeiling = -1.5;
        file.takeLimited(outcome);
    }
    PreviewFile::Encoded encoded = PreviewFile::Encoded::Kept;
    for (const double truePeak : std::as_const(truePeaks))
        encoded = file.takeTruePeak(truePeak, 0);
    QCOMPARE(int(encoded), lastOutcome);
    // What a mark of the next encoding would record: only a peak of its own.
    const bool cutAgain = encoded == PreviewFile::Encoded::CutAgain;
    QVERIFY(file.loudness()->truePeak == (cutAgain ? std::nullopt : std::optional(truePeaks.constLast())));
    QCOMPARE(file.loudness()->gain, gain);
    QCOMPARE(file.loudness()->heldBack, !limited && gain < 6);
    if (limited)
        QCOMPARE(*file.limiterCeiling(), ceiling);
}

QTEST_GUILESS_MAIN(TestLoudness)
#include "tst_loudness.moc"
