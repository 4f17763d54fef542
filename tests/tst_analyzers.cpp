// The analyzers of one decoding pass, fed with samples made here or decoded from files SoX
// made: the loudness of a preview's stretch against the stretch measured whole, the chorus
// search of MP3 files at low sample rates, and the limit that stops a song decoded for hours.

#include "analysis/chorusanalyzer.h"
#include "analysis/decodedaudio.h"
#include "analysis/pipedecode.h"
#include "analysis/stretchloudness.h"
#include "audiofixtures.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>

#include <cmath>
#include <unistd.h>

namespace {

constexpr int Rate = 48000;

// `seconds` of a 1 kHz sine in `channels`, at -40 dBFS but for [loudFrom, loudTo) at -20.
std::vector<float> tone(double seconds, int channels, double loudFrom, double loudTo)
{
    std::vector<float> samples;
    for (int frame = 0; frame < int(seconds * Rate); ++frame) {
        const double at = double(frame) / Rate;
        const double level = at >= loudFrom && at < loudTo ? 0.1 : 0.01;
        samples.insert(samples.end(), size_t(channels), float(level * std::sin(2 * M_PI * 1000 * at)));
    }
    return samples;
}

// The stretch cut out and faded as SoX would, in stereo, measured in one go.
Loudness::Measurement measuredWhole(const std::vector<float> &samples, int channels, const Analysis::Stretch &stretch)
{
    const size_t frames = samples.size() / size_t(channels);
    const size_t begin = std::min(frames, size_t(stretch.begin * Rate));
    const size_t end = std::min(frames, begin + size_t(stretch.seconds * Rate));
    std::vector<float> cut;
    for (size_t frame = begin; frame < end; ++frame) {
        const double fromStart = double(frame - begin) / Rate;
        const double toEnd = double(end - frame) / Rate;
        // SoX's default fade: 100 dB down at its far end, rising logarithmically.
        const auto fade = [](double seconds, double length) {
            return length > 0 ? std::pow(0.1, (1 - std::min(1.0, seconds / length)) * 5) : 1;
        };
        const double gain = fade(fromStart, stretch.fadeIn) * fade(toEnd, stretch.fadeOut);
        cut.push_back(float(samples[frame * size_t(channels)] * gain));
        cut.push_back(float(samples[frame * size_t(channels) + size_t(channels - 1)] * gain));
    }
    Loudness::Meter meter(2, Rate);
    meter.add(cut.data(), cut.size() / 2);
    return meter.result();
}

// Runs `decode` with standard error caught; returns what was written there.
QByteArray errorOutputOf(const std::function<void()> &decode)
{
    QTemporaryFile caught;
    if (!caught.open())
        return "cannot catch standard error";
    std::fflush(stderr);
    const int saved = ::dup(STDERR_FILENO);
    ::dup2(caught.handle(), STDERR_FILENO);
    decode();
    std::fflush(stderr);
    ::dup2(saved, STDERR_FILENO);
    ::close(saved);
    caught.seek(0);
    return caught.readAll();
}

// Keeps every sample it is handed.
struct Collector : Analysis::Analyzer {
    void initialize(int, int) override {}
    void processSamples(const float *samples, size_t frames) override { kept.insert(kept.end(), samples, samples + frames * 2); }
    bool wantsMore() const override { return true; }
    void finalize() override {}
    std::vector<float> kept;
};

} // namespace

class TestAnalyzers : public QObject {
    Q_OBJECT

private slots:
    void stretchLoudness_data();
    void stretchLoudness();
    void truePeakWhereItMatters_data();
    void truePeakWhereItMatters();
    void mp3Stretch_data();
    void mp3Stretch();
    void lowRateMp3Searched_data();
    void lowRateMp3Searched();
    void decodingStopsAtTheLimit_data();
    void decodingStopsAtTheLimit();
    void hungDecoderIsStopped();
    void pipeBytesMayEndWithinAFrame();
};

void TestAnalyzers::stretchLoudness_data()
{
    QTest::addColumn<int>("channels");
    QTest::addColumn<double>("audioSeconds");
    QTest::addColumn<double>("begin");
    QTest::addColumn<double>("seconds");
    QTest::addColumn<double>("fadeIn");
    QTest::addColumn<double>("fadeOut");
    QTest::addColumn<int>("block"); // frames a decoder hands on at once

    // The loud part lies at 3..8 s throughout.
    QTest::newRow("only the stretch counts") << 2 << 12.0 << 3.0 << 5.0 << 0.0 << 0.0 << 4096;
    QTest::newRow("a mono source plays in both channels") << 1 << 12.0 << 3.0 << 5.0 << 0.0 << 0.0 << 4096;
    QTest::newRow("with fades, blocks across them") << 2 << 12.0 << 2.0 << 7.0 << 1.5 << 2.5 << 1000;
    QTest::newRow("the fade-out ends where the audio ends") << 2 << 8.0 << 3.0 << 10.0 << 0.0 << 3.0 << 48000;
}

void TestAnalyzers::stretchLoudness()
{
    QFETCH(int, channels);
    QFETCH(double, audioSeconds);
    QFETCH(double, begin);
    QFETCH(double, seconds);
    QFETCH(double, fadeIn);
    QFETCH(double, fadeOut);
    QFETCH(int, block);
    const std::vector<float> samples = tone(audioSeconds, channels, 3, 8);
    const Analysis::Stretch stretch{begin, seconds, fadeIn, fadeOut};
    Analysis::StretchLoudness analyzer(stretch);
    Analysis::Pass pass({&analyzer}, 60);
    pass.begin(Rate, channels);
    const size_t frames = samples.size() / size_t(channels);
    size_t fed = 0;
    for (bool wanted = true; wanted && fed < frames; fed += size_t(block))
        wanted = pass.feed(samples.data() + fed * size_t(channels), std::min(size_t(block), frames - fed));
    pass.end();
    const Loudness::Measurement expected = measuredWhole(samples, channels, stretch);
    QVERIFY(analyzer.measured().integrated && expected.integrated);
    QVERIFY2(std::abs(*analyzer.measured().integrated - *expected.integrated) < 0.05,
             qPrintable(QStringLiteral("%1 against %2").arg(*analyzer.measured().integrated).arg(*expected.integrated)));
    // Asked for wherever it lies, the true peak is the whole stretch's.
    QVERIFY(std::abs(analyzer.truePeakAbove(Loudness::LowestTarget) - expected.truePeak) < 0.05);
    // The decoding stops at the stretch's end.
    QVERIFY(fed <= size_t((begin + seconds) * Rate) + size_t(block));
}

void TestAnalyzers::truePeakWhereItMatters_data()
{
    QTest::addColumn<double>("burstFrom"); // seconds of the 4 s where the wave plays; else silence
    QTest::addColumn<double>("burstTo");
    QTest::addColumn<double>("threshold"); // dBTP
    QTest::addColumn<bool>("exact");

    // A quarter of the rate, 45 degrees off: every sample 3 dB below the wave's -6 dBTP.
    QTest::newRow("it could hold the gain back: found") << 0.0 << 4.0 << -7.0 << true;
    QTest::newRow("a burst of 10 ms in silence: found") << 2.0 << 2.01 << -7.0 << true;
    QTest::newRow("far below the threshold: a bound under it") << 0.0 << 4.0 << 0.0 << false;
}

void TestAnalyzers::truePeakWhereItMatters()
{
    QFETCH(double, burstFrom);
    QFETCH(double, burstTo);
    QFETCH(double, threshold);
    QFETCH(bool, exact);
    std::vector<float> samples;
    for (int frame = 0; frame < 4 * Rate; ++frame) {
        const double at = double(frame) / Rate;
        const double value = at >= burstFrom && at < burstTo ? 0.5 * std::sin(M_PI / 2 * frame + M_PI / 4) : 0;
        samples.insert(samples.end(), 2, float(value));
    }
    Analysis::StretchLoudness analyzer({0, 4, 0, 0});
    Analysis::Pass pass({&analyzer}, 60);
    pass.begin(Rate, 2);
    pass.feed(samples.data(), samples.size() / 2);
    pass.end();
    const double peak = analyzer.truePeakAbove(threshold);
    if (exact)
        QVERIFY2(std::abs(peak + 6) < 0.15, qPrintable(QString::number(peak)));
    else
        QVERIFY2(peak >= -6.15 && peak < threshold, qPrintable(QString::number(peak)));
}

void TestAnalyzers::mp3Stretch_data()
{
    QTest::addColumn<QString>("channels");
    QTest::addColumn<QString>("rate");
    QTest::addColumn<int>("highestRate");
    QTest::addColumn<double>("begin");
    QTest::addColumn<double>("tolerance"); // LU

    QTest::newRow("stereo") << "2" << "44100" << 48000 << 20.5 << 0.1;
    QTest::newRow("mono") << "1" << "44100" << 48000 << 20.5 << 0.1;
    // libmpg123 halves the rate with a gentler filter than SoX's, keeping a little more treble.
    QTest::newRow("for a preview at 24 kHz") << "2" << "48000" << 24000 << 7.25 << 0.2;
}

// A stretch read by seeking measures as SoX's decoding of the same stretch does.
void TestAnalyzers::mp3Stretch()
{
    QFETCH(QString, channels);
    QFETCH(QString, rate);
    QFETCH(int, highestRate);
    QFETCH(double, begin);
    QFETCH(double, tolerance);
    QTemporaryDir folder;
    const QString song = folder.filePath(QStringLiteral("song.mp3"));
    // Noise that swells and falls, and a tone that comes in: every second measures differently.
    // The same noise every run (-R), so that a comparison near its tolerance cannot flicker.
    QCOMPARE(QProcess::execute(QStringLiteral("sox"), {QStringLiteral("-R"), QStringLiteral("-n"), QStringLiteral("-r"), rate,
                                                       QStringLiteral("-c"), channels, QStringLiteral("-C"),
                                                       QStringLiteral("128"), song, QStringLiteral("synth"),
                                                       QStringLiteral("40"), QStringLiteral("pinknoise"),
                                                       QStringLiteral("tremolo"), QStringLiteral("0.13"),
                                                       QStringLiteral("90"), QStringLiteral("gain"),
                                                       QStringLiteral("-12")}),
             0);
    const Analysis::Stretch stretch{0, 10, 1, 2};
    Analysis::StretchLoudness analyzer(stretch);
    Analysis::Pass pass({&analyzer}, 900);
    QVERIFY(DecodedAudio::Feed(song, DecodedAudio::Reading{false, highestRate, begin}, pass));

    QProcess sox;
    sox.start(QStringLiteral("sox"), {song, QStringLiteral("-t"), QStringLiteral("f32"), QStringLiteral("-c"),
                                      QStringLiteral("2"), QStringLiteral("-r"), QString::number(std::min(highestRate, rate.toInt())),
                                      QStringLiteral("-"), QStringLiteral("trim"), QString::number(begin),
                                      QStringLiteral("10"), QStringLiteral("fade"), QStringLiteral("1"),
                                      QStringLiteral("-0"), QStringLiteral("2")});
    QVERIFY(sox.waitForFinished());
    const QByteArray bytes = sox.readAllStandardOutput();
    Loudness::Meter meter(2, std::min(highestRate, rate.toInt()));
    meter.add(reinterpret_cast<const float *>(bytes.constData()), size_t(bytes.size()) / (2 * sizeof(float)));
    const Loudness::Measurement expected = meter.result();
    QVERIFY(analyzer.measured().integrated && expected.integrated);
    QVERIFY2(std::abs(*analyzer.measured().integrated - *expected.integrated) < tolerance,
             qPrintable(QStringLiteral("%1 against SoX's %2").arg(*analyzer.measured().integrated).arg(*expected.integrated)));
    QVERIFY(std::abs(analyzer.truePeakAbove(Loudness::LowestTarget) - expected.truePeak) < 0.3);
}

void TestAnalyzers::lowRateMp3Searched_data()
{
    QTest::addColumn<int>("rate");

    QTest::newRow("8 kHz") << 8000;
    QTest::newRow("11.025 kHz") << 11025;
    QTest::newRow("12 kHz") << 12000;
    QTest::newRow("44.1 kHz, read at a quarter") << 44100;
}

// The search decodes at a quarter or half of the file's rate, but never at a part the
// library refuses.
void TestAnalyzers::lowRateMp3Searched()
{
    QFETCH(int, rate);
    QTemporaryDir folder;
    const QString made = folder.filePath(QStringLiteral("made.mp3"));
    const QList<Fixtures::Span> choruses = Fixtures::MakeSong(made, Fixtures::PopSong());
    QVERIFY(!choruses.isEmpty());
    const QString song = folder.filePath(QStringLiteral("song.mp3"));
    QCOMPARE(QProcess::execute(QStringLiteral("sox"), {made, QStringLiteral("-r"), QString::number(rate),
                                                       QStringLiteral("-C"), QStringLiteral("32"), song}),
             0);
    Analysis::ChorusAnalyzer analyzer(30);
    Analysis::Pass pass({&analyzer}, Chorus::LongestSongSeconds);
    bool decoded = false;
    const QByteArray said = errorOutputOf([&] { decoded = DecodedAudio::Feed(song, DecodedAudio::Reading{true, 0, 0}, pass); });
    QVERIFY(decoded);
    QCOMPARE(said, QByteArray());
    QVERIFY(analyzer.start() && analyzer.start()->fromChorus);
    const double start = analyzer.start()->seconds;
    QVERIFY2(std::any_of(choruses.cbegin(), choruses.cend(),
                         [start](const Fixtures::Span &chorus) { return start >= chorus.from - 2 && start < chorus.to; }),
             qPrintable(QString::number(start)));
}

void TestAnalyzers::decodingStopsAtTheLimit_data()
{
    QTest::addColumn<bool>("throughTool");

    QTest::newRow("an MP3 whose length cannot be read") << false;
    QTest::newRow("a source a tool decodes") << true;
}

// Twenty minutes, decoded only up to the limit: a song that long gets the start of a song
// with nothing to look into.
void TestAnalyzers::decodingStopsAtTheLimit()
{
    QFETCH(bool, throughTool);
    QTemporaryDir folder;
    const QString song = folder.filePath(QStringLiteral("long.mp3"));
    QCOMPARE(QProcess::execute(QStringLiteral("sox"), {QStringLiteral("-n"), QStringLiteral("-r"), QStringLiteral("8000"),
                                                       QStringLiteral("-c"), QStringLiteral("1"), QStringLiteral("-C"),
                                                       QStringLiteral("8"), song, QStringLiteral("synth"),
                                                       QStringLiteral("1200"), QStringLiteral("sine"), QStringLiteral("440")}),
             0);
    Analysis::ChorusAnalyzer analyzer(30);
    Analysis::Pass pass({&analyzer}, Chorus::LongestSongSeconds);
    if (throughTool) {
        CommandLine decode(QStringLiteral("sox"));
        decode.quoted(song).plain(QStringLiteral(" -t f32 -c 1 -r 8000 -"));
        const PipeDecode::Ended ended = PipeDecode::Feed(decode, std::nullopt, 8000, 1, pass, [] { return false; });
        QVERIFY(ended.stoppedEarly);
    } else {
        QVERIFY(DecodedAudio::Feed(song, DecodedAudio::Reading{true, 0, 0}, pass));
    }
    QVERIFY(pass.reachedLimit());
    QVERIFY(analyzer.start() && !analyzer.start()->fromChorus);
    QVERIFY(analyzer.start()->seconds < Chorus::LongestSongSeconds / 3);
}

// A decoding tool that hangs (a blocked read) is stopped, not waited on for ever, and its
// run is a failure, not a decoding stopped on purpose.
void TestAnalyzers::hungDecoderIsStopped()
{
    Analysis::ChorusAnalyzer analyzer(30);
    Analysis::Pass pass({&analyzer}, Chorus::LongestSongSeconds);
    const PipeDecode::Ended ended =
        PipeDecode::Feed(CommandLine(QStringLiteral("sleep")).plain(QStringLiteral(" 30")), std::nullopt, 8000, 1, pass,
                         [] { return false; }, 1);
    QVERIFY(ended.reader.stalled);
    QVERIFY(!ended.stoppedEarly);
}


// A pipe hands on bytes in pieces of any size: a frame split between two arrives once, whole.
void TestAnalyzers::pipeBytesMayEndWithinAFrame()
{
    const std::vector<float> samples = tone(0.3, 2, 0, 0.1);
    const QByteArray bytes(reinterpret_cast<const char *>(samples.data()), qsizetype(samples.size() * sizeof(float)));
    Collector collector;
    Analysis::Pass pass({&collector}, 60);
    pass.begin(Rate, 2);
    QByteArray partial;
    for (qsizetype position = 0; position < bytes.size(); position += 4093)
        QVERIFY(PipeDecode::FeedBytes(bytes.mid(position, 4093), partial, 2, pass));
    pass.end();
    QVERIFY(collector.kept == samples);
}

QTEST_GUILESS_MAIN(TestAnalyzers)
#include "tst_analyzers.moc"
